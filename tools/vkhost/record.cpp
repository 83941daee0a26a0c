// The filter record as a host fills it before the first selector of a run.
#include <cstring>

#include "tools/vkhost/host_internal.h"

namespace {

constexpr Fixed kScreenResolution = 72 << 16;

uint8_t ToByte(uint16_t component) { return static_cast<uint8_t>(component >> 8); }

// The colour in the image's own mode, as the 4-byte backColor/foreColor.
void ModeColor(const RGBColor& color, bool gray, unsigned char out[4]) {
  std::memset(out, 0, 4);
  if (gray) {
    out[0] = static_cast<uint8_t>((299u * ToByte(color.red) + 587u * ToByte(color.green) +
                                   114u * ToByte(color.blue) + 500u) / 1000u);
  } else {
    out[0] = ToByte(color.red);
    out[1] = ToByte(color.green);
    out[2] = ToByte(color.blue);
  }
}

// The colour as some partial hosts give it: bytes in the 16-bit fields, and
// the same bytes, at the same indexes, in the 8-bit ones, whatever the mode.
void EightBitColor(const RGBColor& color, RGBColor* wide, unsigned char bytes[4]) {
  *wide = {ToByte(color.red), ToByte(color.green), ToByte(color.blue)};
  bytes[0] = ToByte(color.red);
  bytes[1] = ToByte(color.green);
  bytes[2] = ToByte(color.blue);
  bytes[3] = 0;
}

void FillImageFields(const HostSession& session, FilterRecord* record) {
  const HostImage& image = *session.image;
  const bool alpha = image.hasAlpha;
  const bool counted = session.options.alphaReport == AlphaReport::CountedInPlanes;
  const HostOptions& options = session.options;
  record->imageSize = {static_cast<int16_t>(image.height), static_cast<int16_t>(image.width)};
  if (options.forceImageSize) record->imageSize = options.forcedImageSize;
  if (!options.wholeSizeZero) record->wholeSize = record->imageSize;
  record->planes = static_cast<int16_t>(image.colorPlanes + (alpha && counted ? 1 : 0));
  if (options.planesOverride != kImagePlanes) record->planes = options.planesOverride;
  record->filterRect = options.forceFilterRect ? options.forcedFilterRect : session.filterRect;
  record->imageMode = options.imageModeOverride >= 0 ? options.imageModeOverride : ImageModeOf(image);
  record->depth = image.depth;
  record->imageHRes = kScreenResolution;
  record->imageVRes = kScreenResolution;
  record->filterCase = alpha ? 4 : 1;  // editable transparency / flat image, no selection
  record->haveMask = session.options.selectionMask ? 1 : 0;
  record->isFloating = session.options.floatingSelection ? 1 : 0;
  if (session.options.floatingSelection) record->filterCase = 3;
  else if (session.options.selectionMask) record->filterCase = alpha ? 5 : 2;
  const int16_t colour = static_cast<int16_t>(image.colorPlanes);
  record->inLayerPlanes = record->outLayerPlanes = record->absLayerPlanes = alpha ? colour : 0;
  record->inNonLayerPlanes = record->outNonLayerPlanes = record->absNonLayerPlanes = alpha ? 0 : colour;
  record->inTransparencyMask = record->outTransparencyMask = record->absTransparencyMask = alpha ? 1 : 0;
  record->inTileHeight = record->outTileHeight = record->maskTileHeight = record->absTileHeight = record->imageSize.v;
  record->inTileWidth = record->outTileWidth = record->maskTileWidth = record->absTileWidth = record->imageSize.h;
}

void FillHostFields(HostSession& session, FilterRecord* record) {
  const HostOptions& options = session.options;
  HostInternals* internals = session.internals;
  record->serialNumber = options.serialNumber;
  record->abortProc = options.noAbortProc ? nullptr : HostAbortProc;
  record->progressProc = options.noProgressProc ? nullptr : HostProgressProc;
  record->advanceState = options.noAdvanceState ? nullptr : HostAdvanceState;
  record->displayPixels = options.noDisplayPixels ? nullptr : HostDisplayPixels;
  record->handleProcs = options.handles.absent ? nullptr : &internals->offeredProcs;
  record->parameters = session.parameters;
  if (options.eightBitColors) {
    EightBitColor(options.background, &record->background, record->backColor);
    EightBitColor(options.foreground, &record->foreground, record->foreColor);
  } else {
    record->background = options.background;
    record->foreground = options.foreground;
    ModeColor(options.background, session.image->colorPlanes == 1, record->backColor);
    ModeColor(options.foreground, session.image->colorPlanes == 1, record->foreColor);
  }
  record->maxSpace = options.maxSpace;
  record->bufferSpace = options.maxSpace;
  record->hostSig = options.hostSig;
  record->platformData = options.noPlatformData ? nullptr : &internals->platform;
  record->supportsPadding = options.supportsPadding ? 1 : 0;
  record->inputPadding = record->outputPadding = record->maskPadding = -3;  // error on bounds exception
  record->inputRate = record->maskRate = kFixedOne;
  record->dummyPlaneValue = -1;
  record->errorString = session.errorString;
  record->descriptorParameters = BeginRunDescriptors(&session);
  record->monitor.gamma = 0x00023333;  // 2.2
}

}  // namespace

// Built in a full-size local record, then copied: with the short layout
// nothing past its end is ever written, by us or anyone.
bool AllocateRecord(HostSession* session) {
  const size_t size = session->options.shortRecord ? kShortFilterRecordSize : sizeof(FilterRecord);
  HostInternals* internals = session->internals;
  if (!AllocGuarded(size, "filter record", &internals->recordBlock)) return false;
  FilterRecord full;
  std::memset(&full, 0, sizeof full);
  FillImageFields(*session, &full);
  FillHostFields(*session, &full);
  full.bufferSpace64 = full.bufferSpace;
  full.maxSpace64 = full.maxSpace;
  std::memcpy(internals->recordBlock.data, &full, size);
  session->record = reinterpret_cast<FilterRecord*>(internals->recordBlock.data);
  return true;
}

void FreeRecord(HostSession* session) {
  FreeGuarded(&session->internals->recordBlock);
  session->record = nullptr;
}
