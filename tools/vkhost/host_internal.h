// What the host's own files share behind host.h.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/vkhost/guarded_memory.h"
#include "tools/vkhost/host.h"

constexpr Fixed kFixedOne = 0x00010000;
constexpr OSErr kParamErr = -50;
constexpr OSErr kNilHandleErr = -109;
constexpr uint8_t kRowGuardByte = 0xA5;

// A handle of the host's suite. The handle value is the address of `data`,
// so a plug-in that dereferences the handle without locking finds its bytes.
struct SuiteHandle {
  char* data;  // must stay the first member
  int32_t size;
  int32_t locks;
  uint8_t descriptor;  // kNotDescriptor, or which kind of descriptor's items it holds
};
enum : uint8_t { kNotDescriptor = 0, kPlayedDescriptor = 1, kWrittenDescriptor = 2 };

// An open reader: the descriptor's items, the item last given by getKeyProc,
// the expected keys not yet seen, and the stickiest error so far.
struct DescriptorReader {
  HostDescriptor items;
  size_t next = 0;
  const DescriptorItem* current = nullptr;
  std::vector<DescriptorKeyID> missing;
  OSErr status = 0;
};

struct DescriptorWriter {
  HostDescriptor items;
};

// The request a buffer was delivered for, to tell whether a later one differs.
struct PlaneRequest {
  Rect rect;
  int16_t loPlane;
  int16_t hiPlane;
  int16_t padding;
};

// One delivered buffer: planes loPlane..hiPlane of `rect`, interleaved.
struct DeliveredBuffer {
  GuardedBlock block;
  PlaneRequest request;
  int32_t rowBytes = 0;      // including the guard bytes
  int32_t rowDataBytes = 0;  // without them
};

struct HostInternals {
  HWND window = nullptr;
  PlatformData platform = {0};
  HandleProcs offeredProcs = {};  // the table the record points at (maybe damaged)
  uint8_t afterProcs[64] = {};    // what follows it: garbage when the options ask for it
  std::vector<SuiteHandle*> handles;
  int32_t newProcCalls = 0;
  GuardedBlock recordBlock;
  DeliveredBuffer in, out, mask;
  bool delivered = false;      // the current request is in the buffers
  bool outputPending = false;  // `out` holds output not yet written back
  volatile LONG abortRequested = 0;
  void* dataCopy = nullptr;         // the data word's block as the host last copied it
  Handle parametersCopy = nullptr;  // the parameters as the host last copied them (a plug-in-shaped handle)
  // Spent inside the plug-in's calls on the host's own work: copying buffers,
  // drawing progress, and waiting while a dialog is open for the user.
  double hostSeconds = 0;
  void* unmapped = nullptr;         // reserved, never committed: what stale addresses name (StaleKept)
  uint8_t* elsewhere = nullptr;     // host memory holding something else (StaleKept::Elsewhere)
  Handle staleHandle = nullptr;     // the recreated parameters handle
  void* pluginModule = nullptr;     // noCommonControls: the module whose InitCommonControlsEx we stand in for

  PIDescriptorParameters descriptorParameters = {};  // what the record points at
  uint8_t afterDescriptorParameters[64] = {};        // and what follows each of these three:
  ReadDescriptorProcs offeredReadProcs = {};         // garbage when the options ask for it
  uint8_t afterReadProcs[64] = {};
  WriteDescriptorProcs offeredWriteProcs = {};
  uint8_t afterWriteProcs[64] = {};
  std::vector<DescriptorReader*> readers;
  std::vector<DescriptorWriter*> writers;
  bool playbackRun = false;          // the run's playInfo was set by PlayBack
  uint16_t expectedX87Control = 0;   // as the host set them for the call in progress
  uint32_t expectedMxcsr = 0;
};

// The session of the PluginMain call in progress; null outside one.
HostSession* CurrentSession();
void SetCurrentSession(HostSession* session);

// Handle suite (handle_suite.cpp).
void FillHandleProcs(HostInternals* internals, const HandleSuiteOptions& options);
SuiteHandle* MakeSuiteHandle(HostInternals* internals, int32_t size, bool dirty);
SuiteHandle* FindSuiteHandle(const HostInternals* internals, Handle handle);
void FreeSuiteHandle(HostInternals* internals, SuiteHandle* handle);
void FreeAllSuiteHandles(HostInternals* internals);

// Descriptor suites (descriptor_suite.cpp).
void FillDescriptorProcs(HostInternals* internals, const DescriptorSuiteOptions& options);
PIDescriptorParameters* BeginRunDescriptors(HostSession* session);  // null when the options leave it out
void BeforeParameters(HostSession* session);  // the user opened the filter: playInfo 1
void TakeRecordedDescriptor(HostSession* session);  // after Finish
void EndRunDescriptors(HostSession* session);

// Filter record (record.cpp).
bool AllocateRecord(HostSession* session);
void FreeRecord(HostSession* session);

// Simple callbacks (callbacks.cpp).
Boolean PI_CALL HostAbortProc();
void PI_CALL HostProgressProc(int32_t done, int32_t total);
OSErr PI_CALL HostDisplayPixels(const PSPixelMap* source, const VRect* srcRect, int32_t dstRow,
                                int32_t dstCol, void* platformContext);

// Buffers (advance_state.cpp).
OSErr PI_CALL HostAdvanceState();
OSErr DeliverRequest(HostSession* session);    // writes back pending output first
bool RequestDelivered(const HostSession* session);  // the record's request is what the buffers hold
void WriteBackOutput(HostSession* session);
void ReleaseBuffers(HostSession* session);
bool RequestPending(const FilterRecord* record);  // any request rectangle non-empty
AdvanceCall SnapshotRequest(const FilterRecord* record);

// Dialog watch around a PluginMain call, when the options ask for it (window.cpp).
void BeginDialogWatch(HostSession* session);
void EndDialogWatch();

// Hosts that copy what the plug-in keeps with them (host_copies.cpp).
void CopyDataWord(HostSession* session);
void CopyParameters(HostSession* session);
void FreeHostCopies(HostSession* session);
// What an earlier process left (stale_memory.cpp): handed in at the start of
// every run, checked at its end, freed with the session.
void HandInStaleMemory(HostSession* session);
void CheckStaleMemory(HostSession* session);
void FreeStaleMemory(HostSession* session);

// No common controls (missing_controls.cpp): the trackbar class taken away
// for the session, InitCommonControlsEx in the plug-in's imports answered by
// the host. Given back at the session's end.
void HideCommonControls(HostSession* session);
void RestoreCommonControls(HostSession* session);
// The floating-point profile around a PluginMain call (floating_point_host.cpp).
void BeginFloatingPointProfile(HostSession* session);
void EndFloatingPointProfile(HostSession* session);

// A UTF-8 path as Windows' wide-character calls take it (file_io.cpp).
std::wstring WidePath(const char* utf8);

// Window (window.cpp).
bool CreateHostWindow(HostInternals* internals, bool messageOnly, std::string* error);
void DestroyHostWindow(HostInternals* internals);
// The handle of a window made and destroyed at once: what a host hands over
// when the document window it names was closed in the meantime.
intptr_t StaleWindowHandle();
