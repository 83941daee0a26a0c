// Our declarations of the host records and callbacks of the Photoshop filter
// plug-in API that Vardelkist touches. Field order and types follow the
// published API; the i686 offsets are pinned below, because a wrong offset is
// a plug-in that works in our host and crashes a real one.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define PI_CALL __cdecl
#else
#define PI_CALL
#endif

typedef int16_t OSErr;
typedef unsigned char Boolean;  // one byte, not BOOL
typedef uint32_t OSType;
typedef int32_t Fixed;          // 16.16
typedef char* Ptr;
typedef char** Handle;

enum : int16_t {
  filterSelectorAbout = 0,
  filterSelectorParameters = 1,
  filterSelectorPrepare = 2,
  filterSelectorStart = 3,
  filterSelectorContinue = 4,
  filterSelectorFinish = 5,
};

enum : OSErr {
  noErr = 0,
  memFullErr = -108,
  userCanceledErr = -128,
  errMissingParameter = -1715,
  filterBadParameters = -30100,
};

enum : int16_t {
  plugInModeGrayScale = 1,
  plugInModeRGBColor = 3,
  plugInModeGray16 = 10,
  plugInModeRGB48 = 11,
};

struct Point {
  int16_t v;
  int16_t h;
};

struct Rect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

struct RGBColor {
  uint16_t red;
  uint16_t green;
  uint16_t blue;
};

struct VRect {
  int32_t top;
  int32_t left;
  int32_t bottom;
  int32_t right;
};

struct PlatformData {
  intptr_t hwnd;
};

struct AboutRecord {
  void* platformData;  // -> PlatformData
  void* sSPBasic;
  void* plugInRef;
  char reserved[244];
};

// ---- Handle suite ---------------------------------------------------------

typedef Handle(PI_CALL* NewPIHandleProc)(int32_t size);
typedef void(PI_CALL* DisposePIHandleProc)(Handle h);
typedef int32_t(PI_CALL* GetPIHandleSizeProc)(Handle h);
typedef OSErr(PI_CALL* SetPIHandleSizeProc)(Handle h, int32_t newSize);
typedef Ptr(PI_CALL* LockPIHandleProc)(Handle h, Boolean moveHigh);
typedef void(PI_CALL* UnlockPIHandleProc)(Handle h);
typedef void(PI_CALL* RecoverSpaceProc)(int32_t size);
typedef void(PI_CALL* DisposeRegularHandlePIHandleProc)(Handle h);

struct HandleProcs {
  int16_t handleProcsVersion;
  int16_t numHandleProcs;
  NewPIHandleProc newProc;
  DisposePIHandleProc disposeProc;
  GetPIHandleSizeProc getSizeProc;
  SetPIHandleSizeProc setSizeProc;
  LockPIHandleProc lockProc;
  UnlockPIHandleProc unlockProc;
  RecoverSpaceProc recoverSpaceProc;
  DisposeRegularHandlePIHandleProc disposeRegularHandleProc;
};

// ---- Descriptor suites ------------------------------------------------------

typedef uint32_t DescriptorKeyID;
typedef uint32_t DescriptorTypeID;
typedef void* PIReadDescriptor;
typedef void* PIWriteDescriptor;
typedef Handle PIDescriptorHandle;
typedef void(PI_CALL* UnusedDescriptorProc)();

typedef PIWriteDescriptor(PI_CALL* OpenWriteDescriptorProc)();
typedef OSErr(PI_CALL* CloseWriteDescriptorProc)(PIWriteDescriptor, PIDescriptorHandle*);
typedef OSErr(PI_CALL* PutIntegerProc)(PIWriteDescriptor, DescriptorKeyID, int32_t);

struct WriteDescriptorProcs {
  int16_t writeDescriptorProcsVersion;
  int16_t numWriteDescriptorProcs;
  OpenWriteDescriptorProc openWriteDescriptorProc;
  CloseWriteDescriptorProc closeWriteDescriptorProc;
  PutIntegerProc putIntegerProc;
  UnusedDescriptorProc otherProcs[13];  // putFloatProc .. putScopedObjectProc
};

typedef PIReadDescriptor(PI_CALL* OpenReadDescriptorProc)(PIDescriptorHandle, DescriptorKeyID*);
typedef OSErr(PI_CALL* CloseReadDescriptorProc)(PIReadDescriptor);
typedef Boolean(PI_CALL* GetKeyProc)(PIReadDescriptor, DescriptorKeyID*, DescriptorTypeID*, int32_t*);
typedef OSErr(PI_CALL* GetIntegerProc)(PIReadDescriptor, int32_t*);

struct ReadDescriptorProcs {
  int16_t readDescriptorProcsVersion;
  int16_t numReadDescriptorProcs;
  OpenReadDescriptorProc openReadDescriptorProc;
  CloseReadDescriptorProc closeReadDescriptorProc;
  GetKeyProc getKeyProc;
  GetIntegerProc getIntegerProc;
  UnusedDescriptorProc otherProcs[14];  // getFloatProc .. getPinnedUnitFloatProc
};

struct PIDescriptorParameters {
  int16_t descriptorParametersVersion;
  int16_t playInfo;
  int16_t recordInfo;
  PIDescriptorHandle descriptor;
  WriteDescriptorProcs* writeDescriptorProcs;
  ReadDescriptorProcs* readDescriptorProcs;
};

// ---- Display ------------------------------------------------------------------

struct PSPixelMask {
  PSPixelMask* next;
  void* maskData;
  int32_t rowBytes;
  int32_t colBytes;
  int32_t maskDescription;  // 0: a simple mask
};

struct PSPixelMap {
  int32_t version;
  VRect bounds;
  int32_t imageMode;
  int32_t rowBytes;
  int32_t colBytes;
  int32_t planeBytes;
  void* baseAddr;
  PSPixelMask* mat;
  PSPixelMask* masks;
  int32_t maskPhaseRow;
  int32_t maskPhaseCol;
};

// ---- The filter record ----------------------------------------------------------

typedef Boolean(PI_CALL* TestAbortProc)();
typedef void(PI_CALL* ProgressProc)(int32_t done, int32_t total);
typedef OSErr(PI_CALL* AdvanceStateProc)();
typedef OSErr(PI_CALL* DisplayPixelsProc)(const PSPixelMap* source, const VRect* srcRect,
                                          int32_t dstRow, int32_t dstCol, void* platformContext);
typedef void(PI_CALL* UnusedHostProc)();

struct PlugInMonitor {
  Fixed gamma, redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY, ambient;
};

#pragma pack(push, 4)
struct FilterRecord {
  int32_t serialNumber;
  TestAbortProc abortProc;
  ProgressProc progressProc;
  Handle parameters;
  Point imageSize;
  int16_t planes;
  Rect filterRect;
  RGBColor background;
  RGBColor foreground;
  int32_t maxSpace;
  int32_t bufferSpace;
  Rect inRect;
  int16_t inLoPlane;
  int16_t inHiPlane;
  Rect outRect;
  int16_t outLoPlane;
  int16_t outHiPlane;
  void* inData;
  int32_t inRowBytes;
  void* outData;
  int32_t outRowBytes;
  Boolean isFloating;
  Boolean haveMask;
  Boolean autoMask;
  Rect maskRect;
  void* maskData;
  int32_t maskRowBytes;
  unsigned char backColor[4];
  unsigned char foreColor[4];
  OSType hostSig;
  UnusedHostProc hostProc;
  int16_t imageMode;
  Fixed imageHRes;
  Fixed imageVRes;
  Point floatCoord;
  Point wholeSize;
  PlugInMonitor monitor;
  void* platformData;  // -> PlatformData
  void* bufferProcs;
  void* resourceProcs;
  UnusedHostProc processEvent;
  DisplayPixelsProc displayPixels;
  HandleProcs* handleProcs;
  // Fields below arrived with version 3.0 of the interface.
  Boolean supportsDummyChannels;
  Boolean supportsAlternateLayouts;
  int16_t wantLayout;
  int16_t filterCase;
  int16_t dummyPlaneValue;
  void* premiereHook;
  AdvanceStateProc advanceState;
  Boolean supportsAbsolute;
  Boolean wantsAbsolute;
  UnusedHostProc getPropertyObsolete;
  Boolean cannotUndo;
  Boolean supportsPadding;
  int16_t inputPadding;
  int16_t outputPadding;
  int16_t maskPadding;
  char samplingSupport;
  char reservedByte;
  Fixed inputRate;
  Fixed maskRate;
  UnusedHostProc colorServices;
  int16_t inLayerPlanes;
  int16_t inTransparencyMask;
  int16_t inLayerMasks;
  int16_t inInvertedLayerMasks;
  int16_t inNonLayerPlanes;
  int16_t outLayerPlanes;
  int16_t outTransparencyMask;
  int16_t outLayerMasks;
  int16_t outInvertedLayerMasks;
  int16_t outNonLayerPlanes;
  int16_t absLayerPlanes;
  int16_t absTransparencyMask;
  int16_t absLayerMasks;
  int16_t absInvertedLayerMasks;
  int16_t absNonLayerPlanes;
  int16_t inPreDummyPlanes;
  int16_t inPostDummyPlanes;
  int16_t outPreDummyPlanes;
  int16_t outPostDummyPlanes;
  int32_t inColumnBytes;
  int32_t inPlaneBytes;
  int32_t outColumnBytes;
  int32_t outPlaneBytes;
  void* imageServicesProcs;
  void* propertyProcs;
  int16_t inTileHeight;
  int16_t inTileWidth;
  Point inTileOrigin;
  int16_t absTileHeight;
  int16_t absTileWidth;
  Point absTileOrigin;
  int16_t outTileHeight;
  int16_t outTileWidth;
  Point outTileOrigin;
  int16_t maskTileHeight;
  int16_t maskTileWidth;
  Point maskTileOrigin;
  PIDescriptorParameters* descriptorParameters;
  unsigned char* errorString;
  void* channelPortProcs;
  void* documentInfo;
  void* sSPBasic;
  void* plugInRef;
  int32_t depth;
  Handle iCCprofileData;
  int32_t iCCprofileSize;
  int32_t canUseICCProfiles;
  // Many hosts allocate the record only up to here plus reserved bytes
  // (452 bytes on i686): nothing after canUseICCProfiles may be relied on.
  int32_t hasImageScrap;
  void* bigDocumentData;
  void* input3DScene;
  void* output3DScene;
  Boolean createNewLayer;
  Handle iCCWorkingProfileData;
  int32_t iCCWorkingProfileSize;
  int64_t bufferSpace64;
  int64_t maxSpace64;
  Boolean allowOverrangeColors;
  char reserved[45];
};
#pragma pack(pop)

// Size of the record in the hosts that stop at the 4.0/6.0 layouts.
constexpr size_t kShortFilterRecordSize = 452;

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(Point) == 4 && sizeof(Rect) == 8 && sizeof(RGBColor) == 6, "basic types");
static_assert(offsetof(FilterRecord, abortProc) == 4, "FilterRecord layout");
static_assert(offsetof(FilterRecord, progressProc) == 8, "FilterRecord layout");
static_assert(offsetof(FilterRecord, parameters) == 12, "FilterRecord layout");
static_assert(offsetof(FilterRecord, imageSize) == 16, "FilterRecord layout");
static_assert(offsetof(FilterRecord, planes) == 20, "FilterRecord layout");
static_assert(offsetof(FilterRecord, filterRect) == 22, "FilterRecord layout");
static_assert(offsetof(FilterRecord, background) == 30, "FilterRecord layout");
static_assert(offsetof(FilterRecord, foreground) == 36, "FilterRecord layout");
static_assert(offsetof(FilterRecord, maxSpace) == 44, "FilterRecord layout");
static_assert(offsetof(FilterRecord, bufferSpace) == 48, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inRect) == 52, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inLoPlane) == 60, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inHiPlane) == 62, "FilterRecord layout");
static_assert(offsetof(FilterRecord, outRect) == 64, "FilterRecord layout");
static_assert(offsetof(FilterRecord, outLoPlane) == 72, "FilterRecord layout");
static_assert(offsetof(FilterRecord, outHiPlane) == 74, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inData) == 76, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inRowBytes) == 80, "FilterRecord layout");
static_assert(offsetof(FilterRecord, outData) == 84, "FilterRecord layout");
static_assert(offsetof(FilterRecord, outRowBytes) == 88, "FilterRecord layout");
static_assert(offsetof(FilterRecord, isFloating) == 92, "FilterRecord layout");
static_assert(offsetof(FilterRecord, haveMask) == 93, "FilterRecord layout");
static_assert(offsetof(FilterRecord, maskRect) == 96, "FilterRecord layout");
static_assert(offsetof(FilterRecord, maskData) == 104, "FilterRecord layout");
static_assert(offsetof(FilterRecord, maskRowBytes) == 108, "FilterRecord layout");
static_assert(offsetof(FilterRecord, hostSig) == 120, "FilterRecord layout");
static_assert(offsetof(FilterRecord, imageMode) == 128, "FilterRecord layout");
static_assert(offsetof(FilterRecord, imageHRes) == 132, "FilterRecord layout");
static_assert(offsetof(FilterRecord, wholeSize) == 144, "FilterRecord layout");
static_assert(offsetof(FilterRecord, monitor) == 148, "FilterRecord layout");
static_assert(offsetof(FilterRecord, platformData) == 188, "FilterRecord layout");
static_assert(offsetof(FilterRecord, displayPixels) == 204, "FilterRecord layout");
static_assert(offsetof(FilterRecord, handleProcs) == 208, "FilterRecord layout");
static_assert(offsetof(FilterRecord, supportsDummyChannels) == 212, "FilterRecord layout");
static_assert(offsetof(FilterRecord, premiereHook) == 220, "FilterRecord layout");
static_assert(offsetof(FilterRecord, advanceState) == 224, "FilterRecord layout");
static_assert(offsetof(FilterRecord, supportsAbsolute) == 228, "FilterRecord layout");
static_assert(offsetof(FilterRecord, getPropertyObsolete) == 232, "FilterRecord layout");
static_assert(offsetof(FilterRecord, cannotUndo) == 236, "FilterRecord layout");
static_assert(offsetof(FilterRecord, supportsPadding) == 237, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inputPadding) == 238, "FilterRecord layout");
static_assert(offsetof(FilterRecord, outputPadding) == 240, "FilterRecord layout");
static_assert(offsetof(FilterRecord, maskPadding) == 242, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inputRate) == 248, "FilterRecord layout");
static_assert(offsetof(FilterRecord, maskRate) == 252, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inLayerPlanes) == 260, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inTransparencyMask) == 262, "FilterRecord layout");
static_assert(offsetof(FilterRecord, outPostDummyPlanes) == 296, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inColumnBytes) == 300, "FilterRecord layout");
static_assert(offsetof(FilterRecord, inPlaneBytes) == 304, "FilterRecord layout");
static_assert(offsetof(FilterRecord, outColumnBytes) == 308, "FilterRecord layout");
static_assert(offsetof(FilterRecord, outPlaneBytes) == 312, "FilterRecord layout");
static_assert(offsetof(FilterRecord, maskTileOrigin) == 352, "FilterRecord layout");
static_assert(offsetof(FilterRecord, descriptorParameters) == 356, "FilterRecord layout");
static_assert(offsetof(FilterRecord, errorString) == 360, "FilterRecord layout");
static_assert(offsetof(FilterRecord, sSPBasic) == 372, "FilterRecord layout");
static_assert(offsetof(FilterRecord, depth) == 380, "FilterRecord layout");
static_assert(offsetof(FilterRecord, canUseICCProfiles) == 392, "FilterRecord layout");
static_assert(offsetof(FilterRecord, bigDocumentData) == 400, "FilterRecord layout");
static_assert(offsetof(FilterRecord, createNewLayer) == 412, "FilterRecord layout");
static_assert(offsetof(FilterRecord, iCCWorkingProfileData) == 416, "FilterRecord layout");
static_assert(offsetof(FilterRecord, bufferSpace64) == 424, "FilterRecord layout");
static_assert(offsetof(FilterRecord, maxSpace64) == 432, "FilterRecord layout");
static_assert(offsetof(FilterRecord, allowOverrangeColors) == 440, "FilterRecord layout");
static_assert(sizeof(FilterRecord) == 488, "FilterRecord size");
static_assert(offsetof(FilterRecord, canUseICCProfiles) + 4 <= kShortFilterRecordSize, "short record");

static_assert(offsetof(HandleProcs, newProc) == 4, "HandleProcs layout");
static_assert(offsetof(HandleProcs, disposeProc) == 8, "HandleProcs layout");
static_assert(offsetof(HandleProcs, getSizeProc) == 12, "HandleProcs layout");
static_assert(offsetof(HandleProcs, setSizeProc) == 16, "HandleProcs layout");
static_assert(offsetof(HandleProcs, lockProc) == 20, "HandleProcs layout");
static_assert(offsetof(HandleProcs, unlockProc) == 24, "HandleProcs layout");
static_assert(sizeof(HandleProcs) == 36, "HandleProcs size");

static_assert(offsetof(PIDescriptorParameters, playInfo) == 2, "PIDescriptorParameters layout");
static_assert(offsetof(PIDescriptorParameters, recordInfo) == 4, "PIDescriptorParameters layout");
static_assert(offsetof(PIDescriptorParameters, descriptor) == 8, "PIDescriptorParameters layout");
static_assert(offsetof(PIDescriptorParameters, writeDescriptorProcs) == 12, "PIDescriptorParameters layout");
static_assert(offsetof(PIDescriptorParameters, readDescriptorProcs) == 16, "PIDescriptorParameters layout");
static_assert(sizeof(PIDescriptorParameters) == 20, "PIDescriptorParameters size");
static_assert(offsetof(ReadDescriptorProcs, getKeyProc) == 12, "ReadDescriptorProcs layout");
static_assert(offsetof(ReadDescriptorProcs, getIntegerProc) == 16, "ReadDescriptorProcs layout");
static_assert(sizeof(ReadDescriptorProcs) == 76, "ReadDescriptorProcs size");
static_assert(offsetof(WriteDescriptorProcs, putIntegerProc) == 12, "WriteDescriptorProcs layout");
static_assert(sizeof(WriteDescriptorProcs) == 68, "WriteDescriptorProcs size");

static_assert(offsetof(PSPixelMap, bounds) == 4, "PSPixelMap layout");
static_assert(offsetof(PSPixelMap, baseAddr) == 36, "PSPixelMap layout");
static_assert(sizeof(PSPixelMap) == 56, "PSPixelMap size (version 1)");
static_assert(offsetof(PSPixelMask, maskData) == 4, "PSPixelMask layout");
static_assert(offsetof(PSPixelMask, maskDescription) == 16, "PSPixelMask layout");
static_assert(sizeof(PSPixelMask) == 20, "PSPixelMask size");
static_assert(sizeof(AboutRecord) == 256, "AboutRecord size");
static_assert(sizeof(PlatformData) == 4, "PlatformData size");
#endif
