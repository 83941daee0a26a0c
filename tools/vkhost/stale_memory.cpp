// Hosts that keep the data word and the parameters handle longer than the
// process that made them, and hand them in again in a new one.
#include <cstring>

#include "host/handles.h"
#include "tools/vkhost/host_internal.h"

namespace {

constexpr size_t kUnmappedBytes = 0x10000;
constexpr size_t kElsewhereBytes = 4096;
constexpr size_t kElsewhereDataOffset = 256;  // inside the memory, not the start of a block
constexpr uint8_t kElsewherePattern = 0xA5;
// The plug-in's handle record as the bridge saved its bytes.
using SavedHandle = FallbackHandle;

bool Prepare(HostInternals* internals) {
  if (internals->unmapped == nullptr)
    internals->unmapped = VirtualAlloc(nullptr, kUnmappedBytes, MEM_RESERVE, PAGE_NOACCESS);
  if (internals->elsewhere == nullptr) {
    internals->elsewhere = static_cast<uint8_t*>(GlobalLock(GlobalAlloc(GMEM_FIXED, kElsewhereBytes)));
    if (internals->elsewhere != nullptr) std::memset(internals->elsewhere, kElsewherePattern, kElsewhereBytes);
  }
  if (internals->staleHandle == nullptr)
    internals->staleHandle = static_cast<Handle>(GlobalLock(GlobalAlloc(GMEM_FIXED, sizeof(SavedHandle))));
  return internals->unmapped != nullptr && internals->elsewhere != nullptr && internals->staleHandle != nullptr;
}

SavedHandle ExpectedHandle(const HostSession* session) {
  const HostInternals* internals = session->internals;
  if (session->options.stale == StaleKept::Elsewhere)
    return {internals->elsewhere + kElsewhereDataOffset, kFallbackHandleTag};
  return {static_cast<uint8_t*>(internals->unmapped) + 0x40, kFallbackHandleTag};
}

}  // namespace

void HandInStaleMemory(HostSession* session) {
  HostInternals* internals = session->internals;
  if (session->options.stale == StaleKept::None || !Prepare(internals)) return;
  const intptr_t unmapped = reinterpret_cast<intptr_t>(internals->unmapped) + 0x20;
  switch (session->options.stale) {
    case StaleKept::Unmapped:
      session->data = unmapped;
      session->parameters = reinterpret_cast<Handle>(unmapped + 0x40);
      return;
    case StaleKept::Recreated:
      session->data = unmapped;
      break;
    default:
      session->data = reinterpret_cast<intptr_t>(internals->elsewhere);
      break;
  }
  const SavedHandle saved = ExpectedHandle(session);
  std::memcpy(internals->staleHandle, &saved, sizeof saved);
  session->parameters = internals->staleHandle;
}

void CheckStaleMemory(HostSession* session) {
  HostInternals* internals = session->internals;
  if (session->options.stale == StaleKept::None || internals->elsewhere == nullptr) return;
  int32_t changed = 0;
  for (size_t i = 0; i < kElsewhereBytes; ++i) changed += internals->elsewhere[i] != kElsewherePattern;
  if (session->options.stale != StaleKept::Unmapped) {
    const SavedHandle saved = ExpectedHandle(session);
    const auto* expected = reinterpret_cast<const uint8_t*>(&saved);
    const auto* seen = reinterpret_cast<const uint8_t*>(internals->staleHandle);
    for (size_t i = 0; i < sizeof saved; ++i) changed += seen[i] != expected[i];
  }
  session->log.staleMemoryChanged += changed;
}

void FreeStaleMemory(HostSession* session) {
  HostInternals* internals = session->internals;
  if (internals->unmapped != nullptr) VirtualFree(internals->unmapped, 0, MEM_RELEASE);
  if (internals->elsewhere != nullptr) GlobalFree(GlobalHandle(internals->elsewhere));
  if (internals->staleHandle != nullptr) GlobalFree(GlobalHandle(internals->staleHandle));
  internals->unmapped = nullptr;
  internals->elsewhere = nullptr;
  internals->staleHandle = nullptr;
}
