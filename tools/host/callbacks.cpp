// The callbacks that only report to the host: abort polls, progress and
// display requests. Each one logs what it was given.
#include "tools/host/host_internal.h"

namespace {

HostSession* currentSession = nullptr;

}  // namespace

HostSession* CurrentSession() { return currentSession; }

void SetCurrentSession(HostSession* session) { currentSession = session; }

Boolean PI_CALL HostAbortProc() {
  HostSession* session = CurrentSession();
  if (session == nullptr) return 0;
  int32_t poll = ++session->log.abortPolls;
  if (InterlockedCompareExchange(&session->internals->abortRequested, 0, 0) != 0) return 1;
  const int32_t abortAt = session->options.abortAtPoll;
  return abortAt > 0 && poll >= abortAt ? 1 : 0;
}

void PI_CALL HostProgressProc(int32_t done, int32_t total) {
  HostSession* session = CurrentSession();
  if (session == nullptr) return;
  session->log.progress.push_back({done, total});
  if (session->options.progressHook != nullptr) session->options.progressHook(done, total, session->options.progressContext);
}

// Accepts and counts the request; the preview that calls it is hidden in the
// dialogs we run, so nothing is painted.
OSErr PI_CALL HostDisplayPixels(const PSPixelMap* source, const VRect* srcRect, int32_t /*dstRow*/,
                                int32_t /*dstCol*/, void* platformContext) {
  HostSession* session = CurrentSession();
  if (session != nullptr) ++session->log.displayPixelsCalls;
  if (source == nullptr || srcRect == nullptr || platformContext == nullptr || source->baseAddr == nullptr ||
      source->rowBytes == 0)
    return filterBadParameters;
  return noErr;
}
