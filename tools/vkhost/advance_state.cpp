// Delivering the pixels a plug-in asks for, and taking its output back.
// Every request is checked against the image before a byte is copied; a bad
// one is refused with a result code and the data pointers are cleared.
#include <chrono>
#include <cstring>

#include "tools/vkhost/host_internal.h"

namespace {

constexpr int64_t kMaxBufferBytes = int64_t(1) << 30;

bool Inverted(const Rect& rect) { return rect.top > rect.bottom || rect.left > rect.right; }

bool Empty(const Rect& rect) { return rect.top >= rect.bottom || rect.left >= rect.right; }

bool Inside(const Rect& rect, const HostImage& image) {
  return rect.top >= 0 && rect.left >= 0 && rect.bottom <= image.height && rect.right <= image.width;
}

bool SameRequest(const PlaneRequest& a, const PlaneRequest& b) {
  return std::memcmp(&a.rect, &b.rect, sizeof a.rect) == 0 && a.loPlane == b.loPlane && a.hiPlane == b.hiPlane &&
         a.padding == b.padding;
}

PlaneRequest InputRequest(const FilterRecord* record) {
  return {record->inRect, record->inLoPlane, record->inHiPlane, record->inputPadding};
}

PlaneRequest OutputRequest(const FilterRecord* record) {
  return {record->outRect, record->outLoPlane, record->outHiPlane, record->outputPadding};
}

// The image's planes, and the extra channels a host may offer after them.
int32_t OfferedPlanes(const HostSession& session) {
  const int32_t own = ImagePlanes(*session.image);
  return session.options.planesOverride > own ? session.options.planesOverride : own;
}

OSErr CheckRequest(const HostSession& session, const PlaneRequest& request) {
  if (Inverted(request.rect)) return filterBadParameters;
  if (Empty(request.rect)) return noErr;
  if (request.loPlane < 0 || request.hiPlane < request.loPlane || request.hiPlane >= OfferedPlanes(session))
    return filterBadParameters;
  if (Inside(request.rect, *session.image)) return noErr;
  // Outside the image only with padding the plug-in asked for.
  bool padded = session.options.supportsPadding && request.padding >= -2 && request.padding <= 255;
  return padded ? noErr : filterBadParameters;
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) { return value < low ? low : (value > high ? high : value); }

uint16_t PaddedSample(const HostImage& image, int32_t x, int32_t y, int32_t plane, int16_t padding) {
  if (plane >= ImagePlanes(image)) return ExtraPlaneSample(x, y, plane);
  if (x >= 0 && y >= 0 && x < image.width && y < image.height) return GetSample(image, x, y, plane);
  if (padding == -1) return GetSample(image, Clamp(x, 0, image.width - 1), Clamp(y, 0, image.height - 1), plane);
  if (padding < 0) return 0;
  if (image.depth == 8) return static_cast<uint16_t>(padding);
  return static_cast<uint16_t>((padding * kHostSampleMax16 + 127) / 255);
}

void StoreSample(uint8_t* at, int32_t bytesPerSample, uint16_t value) {
  if (bytesPerSample == 1) {
    *at = static_cast<uint8_t>(value);
  } else {
    std::memcpy(at, &value, sizeof value);
  }
}

uint16_t LoadSample(const uint8_t* at, int32_t bytesPerSample) {
  if (bytesPerSample == 1) return *at;
  uint16_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Where the request's first plane of pixel (x, y) lies in the image.
size_t ImageOffset(const HostImage& image, const PlaneRequest& request, int32_t x, int32_t y) {
  const int32_t bps = ImageBytesPerSample(image);
  return static_cast<size_t>(y) * static_cast<size_t>(ImageRowBytes(image)) +
         static_cast<size_t>(x) * static_cast<size_t>(ImagePlanes(image) * bps) +
         static_cast<size_t>(request.loPlane * bps);
}

// Copies `pixels` pixels' requested planes between the image (pixel after
// pixel, all planes) and a buffer (the requested planes only): one block when
// every plane is requested, otherwise a pixel at a time.
void CopySpan(const HostImage& image, const PlaneRequest& request, int32_t pixels, const uint8_t* from,
              uint8_t* to, bool intoBuffer) {
  const size_t imagePixel = static_cast<size_t>(ImagePlanes(image) * ImageBytesPerSample(image));
  const size_t bufferPixel = static_cast<size_t>((request.hiPlane - request.loPlane + 1) * ImageBytesPerSample(image));
  if (imagePixel == bufferPixel) {
    std::memcpy(to, from, imagePixel * static_cast<size_t>(pixels));
    return;
  }
  const size_t fromStep = intoBuffer ? imagePixel : bufferPixel;
  const size_t toStep = intoBuffer ? bufferPixel : imagePixel;
  for (int32_t x = 0; x < pixels; ++x, from += fromStep, to += toStep) std::memcpy(to, from, bufferPixel);
}

void CopyRows(const HostSession& session, DeliveredBuffer* buffer) {
  const HostImage& image = *session.image;
  const PlaneRequest& request = buffer->request;
  const int32_t bps = ImageBytesPerSample(image);
  const int32_t planes = request.hiPlane - request.loPlane + 1;
  // Columns inside the image are copied a row span at a time; padding, if any, sample by sample.
  const int32_t insideLeft = request.rect.left < 0 ? 0 : request.rect.left;
  const int32_t insideRight = request.rect.right > image.width ? image.width : request.rect.right;
  for (int32_t y = request.rect.top; y < request.rect.bottom; ++y) {
    uint8_t* row = buffer->block.data + static_cast<size_t>(y - request.rect.top) * buffer->rowBytes;
    const bool rowInside =
        y >= 0 && y < image.height && insideLeft < insideRight && request.hiPlane < ImagePlanes(image);
    uint8_t* at = row;
    for (int32_t x = request.rect.left; x < request.rect.right; ++x) {
      if (rowInside && x == insideLeft) {
        CopySpan(image, request, insideRight - insideLeft, image.pixels.data() + ImageOffset(image, request, x, y),
                 at, true);
        at += static_cast<size_t>(insideRight - insideLeft) * planes * bps;
        x = insideRight - 1;
        continue;
      }
      for (int32_t p = request.loPlane; p <= request.hiPlane; ++p, at += bps)
        StoreSample(at, bps, PaddedSample(image, x, y, p, request.padding));
    }
    std::memset(row + buffer->rowDataBytes, kRowGuardByte, static_cast<size_t>(buffer->rowBytes - buffer->rowDataBytes));
  }
}

OSErr FillBuffer(const HostSession& session, const PlaneRequest& request, const char* label, bool readOnly,
                 DeliveredBuffer* buffer) {
  FreeGuarded(&buffer->block);
  buffer->request = request;
  buffer->rowBytes = buffer->rowDataBytes = 0;
  if (Empty(request.rect)) return noErr;
  const int64_t width = request.rect.right - request.rect.left;
  const int64_t height = request.rect.bottom - request.rect.top;
  const int64_t planes = request.hiPlane - request.loPlane + 1;
  const int64_t rowData = width * planes * ImageBytesPerSample(*session.image);
  const int64_t rowBytes = rowData + session.options.rowPaddingBytes;
  if (rowBytes * height > kMaxBufferBytes) return memFullErr;
  if (!AllocGuarded(static_cast<size_t>(rowBytes * height), label, &buffer->block)) return memFullErr;
  buffer->rowDataBytes = static_cast<int32_t>(rowData);
  buffer->rowBytes = static_cast<int32_t>(rowBytes);
  CopyRows(session, buffer);
  if (readOnly) ProtectGuarded(buffer->block, true);
  return noErr;
}

OSErr FillMask(const HostSession& session, const Rect& rect, DeliveredBuffer* buffer) {
  FreeGuarded(&buffer->block);
  *buffer = DeliveredBuffer();
  if (!session.options.selectionMask || Empty(rect)) return noErr;
  const int64_t width = rect.right - rect.left;
  const int64_t height = rect.bottom - rect.top;
  if (width * height > kMaxBufferBytes) return memFullErr;
  if (!AllocGuarded(static_cast<size_t>(width * height), "mask buffer", &buffer->block)) return memFullErr;
  buffer->request = {rect, 0, 0, 0};
  buffer->rowBytes = buffer->rowDataBytes = static_cast<int32_t>(width);
  for (int32_t y = rect.top; y < rect.bottom; ++y)
    for (int32_t x = rect.left; x < rect.right; ++x)
      buffer->block.data[static_cast<size_t>(y - rect.top) * width + (x - rect.left)] = SelectionMaskValue(x, y);
  ProtectGuarded(buffer->block, true);
  return noErr;
}

int32_t ColumnBytes(const HostSession& session, const DeliveredBuffer& buffer) {
  if (session.options.zeroColumnBytes || buffer.block.data == nullptr) return 0;
  return (buffer.request.hiPlane - buffer.request.loPlane + 1) * ImageBytesPerSample(*session.image);
}

void PublishBuffers(HostSession* session) {
  FilterRecord* record = session->record;
  HostInternals* internals = session->internals;
  const bool zero = session->options.zeroColumnBytes;
  record->inData = internals->in.block.data;
  record->inRowBytes = internals->in.rowBytes;
  record->outData = internals->out.block.data;
  record->outRowBytes = internals->out.rowBytes;
  record->maskData = internals->mask.block.data;  // a selection only when the options ask for one
  record->maskRowBytes = internals->mask.rowBytes;
  record->inColumnBytes = ColumnBytes(*session, internals->in);
  record->outColumnBytes = ColumnBytes(*session, internals->out);
  record->inPlaneBytes = zero ? 0 : ImageBytesPerSample(*session->image);
  record->outPlaneBytes = record->inPlaneBytes;
}

OSErr Refuse(HostSession* session, OSErr error) {
  ReleaseBuffers(session);
  PublishBuffers(session);
  return error;
}

bool RowGuardIntact(const DeliveredBuffer& buffer, int32_t row) {
  const uint8_t* guard = buffer.block.data + static_cast<size_t>(row) * buffer.rowBytes + buffer.rowDataBytes;
  for (int32_t i = 0; i < buffer.rowBytes - buffer.rowDataBytes; ++i)
    if (guard[i] != kRowGuardByte) return false;
  return true;
}

}  // namespace

bool RequestPending(const FilterRecord* record) {
  return !Empty(record->inRect) || !Empty(record->outRect) || !Empty(record->maskRect);
}

AdvanceCall SnapshotRequest(const FilterRecord* record) {
  AdvanceCall call = {};
  call.inRect = record->inRect;
  call.outRect = record->outRect;
  call.maskRect = record->maskRect;
  call.inLoPlane = record->inLoPlane;
  call.inHiPlane = record->inHiPlane;
  call.outLoPlane = record->outLoPlane;
  call.outHiPlane = record->outHiPlane;
  call.inputPadding = record->inputPadding;
  call.outputPadding = record->outputPadding;
  call.maskPadding = record->maskPadding;
  call.inputRate = record->inputRate;
  call.maskRate = record->maskRate;
  return call;
}

OSErr DeliverRequest(HostSession* session) {
  HostInternals* internals = session->internals;
  const FilterRecord* record = session->record;
  if (internals->outputPending) WriteBackOutput(session);
  if (session->options.deliversNothing) return Refuse(session, noErr);
  const PlaneRequest input = InputRequest(record);
  const PlaneRequest output = OutputRequest(record);
  OSErr error = CheckRequest(*session, input);
  if (error == noErr) error = CheckRequest(*session, output);
  if (error == noErr && !Empty(input.rect) && record->inputRate != kFixedOne) error = filterBadParameters;
  if (error != noErr) return Refuse(session, error);
  error = FillBuffer(*session, input, "input buffer", true, &internals->in);
  if (error == noErr) error = FillBuffer(*session, output, "output buffer", false, &internals->out);
  if (error == noErr) error = FillMask(*session, record->maskRect, &internals->mask);
  if (error != noErr) return Refuse(session, error);
  PublishBuffers(session);
  internals->delivered = true;
  internals->outputPending = internals->out.block.data != nullptr;
  return noErr;
}

bool RequestDelivered(const HostSession* session) {
  const HostInternals* internals = session->internals;
  return internals->delivered && SameRequest(internals->in.request, InputRequest(session->record)) &&
         SameRequest(internals->out.request, OutputRequest(session->record));
}

OSErr PI_CALL HostAdvanceState() {
  HostSession* session = CurrentSession();
  if (session == nullptr || session->record == nullptr) return filterBadParameters;
  AdvanceCall call = SnapshotRequest(session->record);
  const HostOptions& options = session->options;
  const int32_t n = ++session->log.advanceStateCalls;
  if (options.failAdvanceAt > 0 && n >= options.failAdvanceAt && n < options.failAdvanceAt + options.failAdvanceCount) {
    // A failed call delivers nothing the plug-in may read.
    call.result = Refuse(session, options.advanceFailure);
  } else {
    const auto start = std::chrono::steady_clock::now();
    call.result = DeliverRequest(session);
    const std::chrono::duration<double> copying = std::chrono::steady_clock::now() - start;
    session->internals->hostSeconds += copying.count();
  }
  call.byHost = false;
  session->log.advances.push_back(call);
  return call.result;
}

void WriteBackOutput(HostSession* session) {
  HostInternals* internals = session->internals;
  if (!internals->outputPending) return;
  internals->outputPending = false;
  const DeliveredBuffer& out = internals->out;
  HostImage* image = session->image;
  const int32_t bps = ImageBytesPerSample(*image);
  const Rect& rect = out.request.rect;
  const int32_t planes = out.request.hiPlane - out.request.loPlane + 1;
  const int32_t left = rect.left < 0 ? 0 : rect.left;
  const int32_t right = rect.right > image->width ? image->width : rect.right;
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    if (!RowGuardIntact(out, y - rect.top)) ++session->log.rowPaddingDamaged;
    if (y < 0 || y >= image->height || left >= right) continue;
    const uint8_t* row = out.block.data + static_cast<size_t>(y - rect.top) * out.rowBytes;
    if (out.request.hiPlane < ImagePlanes(*image)) {
      CopySpan(*image, out.request, right - left, row + static_cast<size_t>((left - rect.left) * planes * bps),
               image->pixels.data() + ImageOffset(*image, out.request, left, y), false);
      continue;
    }
    // Extra channels are the host's: they are compared, never written.
    for (int32_t x = left; x < right; ++x) {
      const uint8_t* pixel = row + static_cast<size_t>((x - rect.left) * planes * bps);
      for (int32_t p = 0; p < planes; ++p) {
        const int32_t plane = out.request.loPlane + p;
        const uint16_t sample = LoadSample(pixel + p * bps, bps);
        if (plane < ImagePlanes(*image)) {
          SetSample(image, x, y, plane, sample);
        } else if (sample != ExtraPlaneSample(x, y, plane)) {
          ++session->log.extraPlanesChanged;
        }
      }
    }
  }
}

void ReleaseBuffers(HostSession* session) {
  HostInternals* internals = session->internals;
  FreeGuarded(&internals->in.block);
  FreeGuarded(&internals->out.block);
  FreeGuarded(&internals->mask.block);
  internals->in = DeliveredBuffer();
  internals->out = DeliveredBuffer();
  internals->mask = DeliveredBuffer();
  internals->delivered = false;
  internals->outputPending = false;
}
