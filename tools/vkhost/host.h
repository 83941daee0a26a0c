// Our own small filter host: loads a .8bf module the way an image editor
// does, keeps a session with the plug-in (its data word and parameters
// handle), holds a document in memory, and runs the filter selectors against
// it with a full set of host callbacks. Every callback can be left out or
// damaged, so that the plug-in can be tried against partial and quirky hosts;
// the host itself never trusts what the plug-in hands back.
//
// Windows only (runs under wine here). One session is active at a time: the
// callbacks are plain cdecl functions that find their session through a
// module-level pointer, set for the duration of each PluginMain call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_api.h"
#include "tools/vkhost/descriptor.h"
#include "tools/vkhost/property_list.h"

// ---- The plug-in module -------------------------------------------------------

typedef void(PI_CALL* PluginEntryProc)(int16_t selector, void* record, intptr_t* data, int16_t* result);

struct HostPlugin {
  void* module = nullptr;  // HMODULE
  PluginEntryProc entry = nullptr;
  PluginProperties properties;
  std::string path;
};


// Loads the module at `path` as a host does: reads its property list without
// running it, requires kind '8BFM', an interface version not above 4.0 and an
// entry name for this host's word size ('wx86' in a 32-bit host, '8664' in a
// 64-bit one), then LoadLibrary and GetProcAddress of that name.
// False, with a one-line reason in `error`, on any failure; nothing stays loaded.
bool LoadPlugin(const char* path, HostPlugin* plugin, std::string* error);

// FreeLibrary. Close every session on the plug-in first.
void UnloadPlugin(HostPlugin* plugin);

// ---- The document -------------------------------------------------------------------

// Pixels in rows, top row first, the planes of a pixel interleaved: the colour
// planes (1 gray, 3 RGB) then, when present, the transparency plane. 16-bit
// samples are in machine order on the host's scale 0..32768.
struct HostImage {
  int32_t width = 0;
  int32_t height = 0;
  int32_t colorPlanes = 0;  // 1 or 3
  bool hasAlpha = false;
  int32_t depth = 8;        // bits per sample: 8 or 16
  std::vector<uint8_t> pixels;
  // A 16-bit picture read from a file: its samples as the file holds them
  // (0..65535), one for each sample of `pixels`, so that the samples the
  // filter leaves alone go back exactly. Empty otherwise.
  std::vector<uint16_t> fileSamples;
};

constexpr int32_t kMaxImageSide = 30000;  // the host API's 16-bit coordinates
constexpr uint16_t kHostSampleMax16 = 32768;

// The selection mask our host offers with HostOptions::selectionMask: a
// byte per image pixel, every value 0..255 somewhere in a large enough image.
inline uint8_t SelectionMaskValue(int32_t x, int32_t y) { return static_cast<uint8_t>(x * 5 + y * 3); }

// What the host holds in plane `plane` past the image's own planes (extra
// channels offered with HostOptions::planesOverride).
inline uint16_t ExtraPlaneSample(int32_t x, int32_t y, int32_t plane) {
  return static_cast<uint16_t>((x * 7 + y * 11 + plane * 29) & 0xFF);
}

// Sizes `image` and zero-fills it. False for a shape the host does not offer
// (planes other than 1 or 3, depth other than 8 or 16, sides outside 1..30000).
bool MakeImage(HostImage* image, int32_t width, int32_t height, int32_t colorPlanes, bool hasAlpha,
               int32_t depth);
int32_t ImagePlanes(const HostImage& image);          // colour planes + transparency
int32_t ImageBytesPerSample(const HostImage& image);  // 1 or 2
int32_t ImageRowBytes(const HostImage& image);
int16_t ImageModeOf(const HostImage& image);          // 1, 3, 10 or 11

// Sample of plane `plane` at column x, row y; no bounds check beyond an assert.
uint16_t GetSample(const HostImage& image, int32_t x, int32_t y, int32_t plane);
void SetSample(HostImage* image, int32_t x, int32_t y, int32_t plane, uint16_t value);

// The default test picture: colour gradients, the transparency plane (if
// any) fading from opaque at the left to half transparent at the right.
void FillGradient(HostImage* image);

// A copy of `image` at another depth (8 <-> 16), samples rescaled and rounded.
HostImage ConvertDepth(const HostImage& image, int32_t depth);

// 16-bit file samples 0..65535 <-> the host's 0..32768, rounded to nearest.
uint16_t HostSampleFrom16(uint16_t fileSample);
uint16_t FileSampleFrom16(uint16_t hostSample);

// Called as reading or writing goes on, and on every progressProc call.
typedef void (*HostProgressHook)(int32_t done, int32_t total, void* context);

struct PngProgress {
  HostProgressHook hook = nullptr;
  void* context = nullptr;
};

struct PngWriteOptions {
  HostProgressHook progress = nullptr;  // rows encoded of all rows
  void* progressContext = nullptr;
  // 16-bit colour samples inside `painted` that hold the host value of one of
  // these colours come out as that colour's own 16-bit value: the host's
  // 0..32768 scale cannot tell F4F4 from F4F3, but the user asked for F4F4.
  Rect painted = {0, 0, 0, 0};
  std::vector<RGBColor> colors;
};

// PNG through Windows Imaging Component. Reads gray, gray+alpha, RGB and RGBA
// at 8 or 16 bits per sample; gray below 8 bits comes in as 8-bit gray,
// palette and interlaced files (and any other format WIC reads) as 8-bit RGB,
// or RGBA when some pixel is not opaque. Writes the image's own kind and
// depth, not interlaced, to a temporary file renamed over `path` only when
// complete (ReplaceFileContents). False with a reason naming the file in
// `error`; the file is refused before decoding when it is not a PNG or its
// sides exceed kMaxImageSide. Paths are UTF-8. Both stop when Interrupted().
bool ReadPng(const char* path, HostImage* image, std::string* error, const PngProgress& progress = PngProgress());
bool WritePng(const char* path, const HostImage& image, std::string* error,
              const PngWriteOptions& options = PngWriteOptions());

// ---- Files ------------------------------------------------------------------------------

// Windows error code -> words for a message: 2 "no such file", 112 "the disk
// is full", 193 "not a Windows DLL" ...; "Windows error N" for the rest.
std::string ErrorWords(unsigned long code);

// Writes `size` bytes through a temporary file in the folder of `path` that
// is renamed over `path` only when complete and flushed. On any failure, an
// interrupt included, `path` is left exactly as it was, the temporary file is
// removed, and `error` says why, naming `path`.
bool ReplaceFileContents(const char* path, const void* bytes, size_t size, std::string* error);

std::string Utf8FromWide(const wchar_t* wide);

// Ctrl+C: set from any thread. Reading and writing stop at their next step,
// and abortProc answers "stop" at its next poll.
void RequestInterrupt();
bool Interrupted();

// Recorded actions on disk, in the text form of descriptor.h. UTF-8 paths.
// False with a reason in `error`: a file that cannot be opened or written, is
// larger than 64 KB, or does not parse (named with its line).
bool SaveAction(const char* path, const HostDescriptor& descriptor, std::string* error);
bool LoadAction(const char* path, HostDescriptor* descriptor, std::string* error);

// ---- How the host behaves -----------------------------------------------------------

enum class AlphaReport {
  // planes = 2 or 4, inLayerPlanes = colour planes, inTransparencyMask = 1:
  // how current hosts describe a layer with transparency.
  CountedInPlanes,
  // planes = 1 or 3 and inTransparencyMask = 1: the transparency plane is not
  // counted but may still be requested as the plane after the colour planes.
  AfterPlanes,
};

// The host's handle suite, as offered in the filter record.
struct HandleSuiteOptions {
  bool absent = false;            // handleProcs = null
  int16_t version = 1;            // as advertised
  int16_t count = 8;              // numHandleProcs as advertised
  int nullProc = -1;              // 0..7: leave that slot (newProc .. disposeRegularHandleProc) null
  int32_t refuseNewAfter = -1;    // newProc returns null once this many handles were made; -1 never
  bool disposeDoesNothing = false;  // disposeProc accepts the handle and frees nothing
  bool sizeAnswersZero = false;   // getSizeProc answers 0 for every handle
  bool dirtyMemory = false;       // newProc/setSizeProc leave new bytes 0xCD instead of 0
  bool garbageAfter = false;      // advertises 0x7FFF procs; 0xCC bytes follow the eighth
};

// The host's scripting suites: the descriptor parameters record with its read
// and write tables. Descriptors are handles of the handle suite holding typed
// items; readers and writers are the host's own tokens, checked on every call.
struct DescriptorSuiteOptions {
  bool absent = false;          // descriptorParameters = null
  int16_t version = 0;          // descriptorParametersVersion
  bool noReadProcs = false;     // readDescriptorProcs = null
  bool noWriteProcs = false;    // writeDescriptorProcs = null
  int16_t readVersion = 0;
  int16_t readCount = 18;       // numReadDescriptorProcs as advertised
  int nullReadProc = -1;        // 0..17: leave that slot (openReadDescriptorProc ..) null
  int16_t writeVersion = 0;
  int16_t writeCount = 16;      // numWriteDescriptorProcs as advertised
  int nullWriteProc = -1;       // 0..15: leave that slot (openWriteDescriptorProc ..) null
  bool refuseReader = false;    // openReadDescriptorProc answers null
  bool refuseWriter = false;    // openWriteDescriptorProc answers null
  int16_t recordInfo = 0;       // recordInfo before the plug-in sets it
  bool foreignDescriptor = false;  // a played-back descriptor is a pointer our suites never made
  bool garbageAfter = false;    // both tables advertise 0x7FFF procs; 0xCC bytes follow them and the block
};

// The floating-point state the host runs PluginMain in. The default values
// are a Delphi-built host's: invalid, zero-divide and overflow unmasked.
struct FloatingPointProfile {
  bool set = false;             // false: whatever the host process has
  uint16_t x87Control = 0x1332;
  uint32_t mxcsr = 0x1900;
};

// Called on every abortProc poll, before it answers: a test acts here as a
// user would while the filter computes (clicks, drags, closes a dialog).
typedef void (*HostPollHook)(int32_t poll, void* context);

// What abortProc and progressProc do with the window messages of the thread,
// as hosts do to keep their windows alive during a long filter.
enum class MessagePump {
  None,
  One,          // dispatch at most one waiting message per call
  UntilEmpty,   // dispatch until the queue is empty, in every call
};

// The host watches every PluginMain call for dialog windows (class "#32770":
// the plug-in's dialogs and message boxes); the time one stays open is the
// user's, not the plug-in's. This is called each time one is activated
// during a PluginMain call, after its WM_INITDIALOG. `window` is its HWND.
// A test drives the modal dialog from
// here, e.g. by setting controls and posting WM_COMMAND IDOK or IDCANCEL.
typedef void (*HostDialogHook)(void* window, void* context);

constexpr int16_t kImagePlanes = INT16_MIN;  // planesOverride: the image's own count

// What a host that outlives nothing hands in as the data word and the
// parameters handle at the start of every run: what an earlier process left,
// as a bridge does that runs each filter call in a new process and saves both
// in between. The host checks afterwards that the plug-in wrote nothing into
// the memory those addresses name here.
enum class StaleKept {
  None,
  Unmapped,   // both are addresses of memory not mapped in this process
  Recreated,  // the data word as Unmapped; the handle's 8 (x64: 12) bytes saved and
              // put into fresh memory: the tag is right, its data address is not mapped
  Elsewhere,  // the data word addresses host memory holding something else; the
              // handle is recreated as above, its data address inside that memory
};

struct HostOptions {
  // The filter record.
  bool shortRecord = false;       // the 4.0 .. 8.0 hosts' record: 452 bytes instead of 488 (x64: 556, 608)
  AlphaReport alphaReport = AlphaReport::CountedInPlanes;
  OSType hostSig = 0x3842494D;    // '8BIM'
  int32_t serialNumber = 0;
  RGBColor foreground = {0, 0, 0};
  RGBColor background = {65535, 65535, 65535};
  int32_t maxSpace = 256 << 20;   // also the initial bufferSpace
  bool wholeSizeZero = false;     // leave wholeSize (0,0) instead of the image size
  bool noPlatformData = false;    // platformData = null (also in the about record)
  bool nullWindow = false;        // PlatformData.hwnd = 0
  bool messageOnlyWindow = false; // the host window is message-only: no display needed, no dialog can show
  bool staleWindow = false;       // PlatformData.hwnd names a window already destroyed
  bool supportsPadding = true;    // paddings start at -3 (error on bounds exception)
  bool selectionMask = false;     // haveMask: a selection whose mask bytes are SelectionMaskValue
  bool floatingSelection = false; // isFloating
  bool eightBitColors = false;    // foreground/background hold 0..255, and foreColor/backColor the same bytes

  // Callbacks.
  bool noAdvanceState = false;
  bool noAbortProc = false;
  bool noProgressProc = false;
  bool noDisplayPixels = false;
  int32_t abortAtPoll = 0;        // abortProc answers true from this poll on (1 = first); 0 never
  MessagePump pump = MessagePump::None;
  bool displayDrawsNothing = false;  // displayPixels records and answers 0 but draws nothing
  int16_t initialResult = 0;      // the result word before each call (a sentinel shows an unset result)
  bool presetAboutResult = false; // the About result word starts at 1 instead
  HandleSuiteOptions handles;
  DescriptorSuiteOptions descriptors;
  FloatingPointProfile floatingPoint;

  // Buffers delivered by advanceState.
  int32_t rowPaddingBytes = 0;    // unused bytes after each row (a guard pattern, checked afterwards)
  bool zeroColumnBytes = false;   // leave in/outColumnBytes and in/outPlaneBytes 0, like old hosts

  // Hosts that describe the document wrongly or hand memory back in their own
  // way; each is checked against what the host really holds before a byte
  // is delivered or written back.
  int16_t planesOverride = kImagePlanes;  // the record's planes (0, 5, 8, 9, -1 ...). Planes past the
                                  // image's are extra channels holding ExtraPlaneSample, never written back
  int16_t imageModeOverride = -1; // the record's imageMode (an unknown one, say); -1 the image's
  bool forceFilterRect = false;   // filterRect = forcedFilterRect, even outside the image or inverted
  Rect forcedFilterRect = {0, 0, 0, 0};
  bool forceImageSize = false;    // imageSize (and wholeSize) = forcedImageSize
  Point forcedImageSize = {0, 0};
  int32_t failAdvanceAt = 0;      // the n-th advanceState call of a run (1 = first) fails; 0 never
  int32_t failAdvanceCount = 1;   // ... and this many calls from there on
  OSErr advanceFailure = memFullErr;  // what the failing calls answer
  bool deliversNothing = false;   // every request, advanceState's or before Continue, answers noErr with null buffers
  bool copyDataWord = false;      // before every call the data word's block moves to fresh memory (the
                                  // old copy is freed), as hosts that store the word with the document do
  bool copyParameters = false;    // every run gets the parameters as a fresh copy of the handle and its data
                                  // (the previous copy freed), as hosts restoring saved parameters do
  // Runs.
  bool forgetsParameters = false;   // every run starts without a parameters handle and with a data word of 0
  bool parametersEveryRun = false;  // every run calls Parameters, as if opened from the menu each time
  StaleKept stale = StaleKept::None;
  bool noCommonControls = false;    // the common controls' trackbar class is not registered until someone
                                    // calls InitCommonControlsEx, as in a process that never did
  bool finishAfterFailedContinue = true;

  HostProgressHook progressHook = nullptr;
  void* progressContext = nullptr;
  HostDialogHook dialogHook = nullptr;
  void* dialogContext = nullptr;
  HostPollHook pollHook = nullptr;
  void* pollContext = nullptr;
};

// Named sets of options that imitate hosts users have:
//   "standard"     nothing changed;
//   "partial"      a host library several editors embed: 8-bit colours in the
//                  16-bit fields, Parameters on every run with no parameters
//                  handle and a data word of 0, no descriptor suites, a handle
//                  suite whose dispose does nothing and whose size query
//                  answers 0, column bytes left 0, the About result word preset
//                  to 1, no Finish after a failed Continue;
//   "unmasked-fp"  floating-point exceptions unmasked, as in Delphi-built hosts;
//   "bare"         a host library that registers no common controls, passes no
//                  window handle and offers no descriptor suites;
//   "stale"        the data word and the parameters handle as a bridge that runs
//                  each call in a new process hands them in (StaleKept::Recreated).
// False for an unknown name (options unchanged).
bool ApplyHostProfile(const std::string& name, HostOptions* options);
std::string HostProfileNames();  // "standard, partial, ...", for messages

// ---- What the host saw --------------------------------------------------------------

struct SelectorCall {
  int16_t selector;
  int16_t result;
};

// One advanceState call: the request as the plug-in left it in the record,
// and what the host answered.
struct AdvanceCall {
  Rect inRect, outRect, maskRect;
  int16_t inLoPlane, inHiPlane, outLoPlane, outHiPlane;
  int16_t inputPadding, outputPadding, maskPadding;
  Fixed inputRate, maskRate;
  int16_t result;
  bool byHost;  // delivered by the host before Continue, not asked for through advanceState
};

struct ProgressCall {
  int32_t done;
  int32_t total;
};

// One displayPixels call: the pixel map and mask as given, and copies of the
// bytes they describe (rows of the map's bounds; empty when the map is
// unusable).
struct DisplayCall {
  PSPixelMap map;
  bool hasMask;
  PSPixelMask mask;
  VRect srcRect;
  int32_t dstRow, dstCol;
  bool hasContext;
  std::vector<uint8_t> pixels;     // bounds rows x rowBytes, from baseAddr
  std::vector<uint8_t> maskBytes;  // one byte per pixel of the bounds, read with the mask's steps
};

// Everything logged since the session was opened or the log last cleared.
struct HostLog {
  std::vector<SelectorCall> calls;
  std::vector<AdvanceCall> advances;
  std::vector<ProgressCall> progress;
  int32_t abortPolls = 0;
  int32_t displayPixelsCalls = 0;
  std::vector<DisplayCall> displays;
  int32_t rowPaddingDamaged = 0;   // output rows whose guard bytes the plug-in overwrote
  int32_t foreignHandleCalls = 0;  // handle procs called with a handle the suite never made
  int32_t extraPlanesChanged = 0;  // samples of planes past the image's that came back changed
  int32_t advanceStateCalls = 0;   // in the current run
  double pluginSeconds = 0;        // inside PluginMain, less the host's own work meanwhile (buffer copies,
                                   // progress drawing, the time a dialog stayed open)
  std::vector<DescriptorKeyID> readKeys;  // the key list of the last openReadDescriptorProc, 0 included
  int32_t foreignDescriptorCalls = 0;   // descriptor procs called with a token or descriptor not ours
  int32_t unexpectedDescriptorCalls = 0;  // procs other than the integer ones, open and close
  int32_t descriptorsLeftToHost = 0;    // descriptors still live at the end of a run, freed by the host
  int32_t floatingPointExceptions = 0;  // raised inside PluginMain under the floating-point profile
  int32_t floatingPointStateChanged = 0;  // calls without exceptions that left other control bits
  int32_t staleMemoryChanged = 0;       // bytes changed in the memory the stale addresses name (StaleKept)
};

// ---- The session ----------------------------------------------------------------------

struct HostInternals;  // buffers, handle table, window: host.cpp's business

// One plug-in as the host keeps it between calls and between runs. Open with
// OpenSession and do not copy; the fields below may be read at any time.
struct HostSession {
  PluginEntryProc entry = nullptr;
  HostOptions options;
  intptr_t data = 0;           // the plug-in's data word, kept from call to call
  Handle parameters = nullptr; // the plug-in's parameters handle, kept from run to run
  HostImage* image = nullptr;  // the document of the current run (not owned)
  Rect filterRect = {0, 0, 0, 0};
  FilterRecord* record = nullptr;  // the current run's record; null between runs
  unsigned char errorString[256] = {0};  // the record's errorString target (Pascal string)
  HostLog log;
  HostInternals* internals = nullptr;

  // Scripting: what the last Finish handed back (an action being recorded).
  bool hasRecorded = false;
  HostDescriptor recorded;
  int16_t recordedInfo = 0;   // recordInfo after that Finish
  // Playback for the next run (PlayBack); consumed by BeginRun.
  bool playPending = false;
  HostDescriptor playItems;
  int16_t playInfo = 0;
};

// A session on `entry` (HostPlugin::entry, or a test's own function). Creates
// the hidden host window and registers the common controls, as an editor has
// them. Null with a reason in `error` when Windows refuses.
HostSession* OpenSession(PluginEntryProc entry, const HostOptions& options, std::string* error);

// For a program that shows nothing: moves the calling thread, before it makes
// any window (COM's included), to a desktop of its own. Under wine the first
// program on a desktop fixes its display driver: a program started without
// an X display would otherwise leave the shared default desktop unable to
// show any window until its wineserver ends. False when it cannot.
bool UseHeadlessDesktop();

// Presses Cancel in the plug-in's dialog, if one is open (Ctrl+C while the
// user has it). Safe to call from another thread.
void CancelOpenDialog();

// Ends any run, disposes of every handle the suite made (the data word and the
// parameters handle included, when they are ours) and destroys the window.
void CloseSession(HostSession* session);

// Stores `size` bytes into a new handle of the session's own suite and makes it
// the parameters handle, as a host restoring saved parameters does. The old
// parameters handle is disposed of when the suite made it. False without
// memory. Works even when the suite offered to the plug-in is absent or damaged.
bool SetParameters(HostSession* session, const void* bytes, int32_t size);

// The bytes behind the parameters handle: exact for the suite's own handles;
// for a plug-in's own handle (first word = data address) the size of the
// global block behind it when there is one, otherwise `fallbackSize` bytes.
// False when there is no parameters handle, its first word is null, or the
// memory it names cannot be read (checked, never faulted on).
bool ReadParameters(const HostSession* session, std::vector<uint8_t>* bytes, int32_t fallbackSize = 4);

// The handle suite's view: how many handles it made and still holds.
int32_t LiveHandleCount(const HostSession* session);

void ClearLog(HostSession* session);

// Plays an action back in the next run: its record carries a descriptor
// holding `items`, with `playInfo` (0 don't display, 1 display, 2 silent).
// Without playback a run passes no descriptor, and playInfo is 1 when the run
// calls Parameters (the user opened the filter) and 0 otherwise.
void PlayBack(HostSession* session, const HostDescriptor& items, int16_t playInfo);

// ---- Driving the plug-in ----------------------------------------------------------------

// Starts a run on `image` with the given filter rectangle: builds a fresh,
// zero-filled filter record and fills it as a host does before Parameters.
// An empty `filterRect` (all zero) means the whole image. False with a reason
// for a rectangle outside the image or an image the host does not offer.
bool BeginRun(HostSession* session, HostImage* image, const Rect& filterRect, std::string* error);

// Calls PluginMain once with `selector` and logs it. About gets an about record
// (platformData -> the window); every other selector the run's record, which
// stays readable in session->record afterwards. Around Continue the host does
// its delivery work: before it, the current request is delivered unless
// advanceState already did; after it, the output is written back to the image
// when the result is 0. Returns the plug-in's result code; -30100 when a
// FilterRecord selector is called outside a run.
int16_t CallPluginMain(HostSession* session, int16_t selector);

// Ends the run: delivered buffers are released (pending output is dropped, it
// was written back by Continue already) and the record is freed.
void EndRun(HostSession* session);

struct HostRunOptions {
  bool showDialog = false;      // call Parameters first, as when the user opens the filter
  Rect filterRect = {0, 0, 0, 0};  // all zero: the whole image
  int32_t maxContinueCalls = 10000;  // a plug-in that never empties its request is stopped here
};

struct HostRunReport {
  std::vector<SelectorCall> calls;
  std::vector<AdvanceCall> advances;
  std::vector<ProgressCall> progress;
  int32_t abortPolls = 0;
  double pluginSeconds = 0;     // the plug-in's own time (HostLog::pluginSeconds) during the run
  int16_t result = 0;           // the first non-zero result, else 0; -50 when the run could not begin
  bool continueCapped = false;  // stopped at maxContinueCalls
  std::string error;            // why the run could not begin (bad rectangle ...), empty otherwise
};

// A whole filter run as a host does it: [Parameters,] Prepare, Start, then
// Continue while any request rectangle is non-empty, then Finish when Start
// returned 0. Stops at the first non-zero result (Finish still follows when
// Start succeeded). The image holds the filtered pixels afterwards.
HostRunReport RunFilter(HostSession* session, HostImage* image, const HostRunOptions& options);

// The about box: About with an about record whose platform data names the window.
int16_t ShowAbout(HostSession* session);

// Asks the running filter to stop: abortProc answers true from its next poll.
// Safe to call from another thread (a console control handler).
void RequestAbort(HostSession* session);

// ---- Naming, for messages ----------------------------------------------------------------

const char* SelectorName(int16_t selector);
const char* ResultName(int16_t result);   // -128 -> "userCanceledErr"; positive: reported by the plug-in
std::string FourCharCode(uint32_t code);  // 0x3842464D -> "8BFM"
