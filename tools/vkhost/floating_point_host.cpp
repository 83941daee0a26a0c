// A host that runs with its own floating-point state: set around every
// PluginMain call when the options ask for it, checked afterwards, and the
// host's usual state put back. A floating-point exception inside the call is
// counted and the faulting code resumed with every exception masked, so that
// a test sees the fault instead of losing the process.
#include "tools/vkhost/host_internal.h"

namespace {

constexpr uint16_t kX87ControlBits = 0x1F3F;  // masks, precision, rounding, infinity; bit 6 is reserved
constexpr uint32_t kMxcsrControlBits = 0xFFC0;  // everything but the exception flags
constexpr uint32_t kMxcsrFxsaveOffset = 24;

volatile LONG faultsSeen = 0;

uint16_t ReadX87Control() {
  uint16_t control;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  return control;
}

uint32_t ReadMxcsr() {
  uint32_t mxcsr;
  __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
  return mxcsr;
}

void Load(uint16_t control, uint32_t mxcsr) {
  __asm__ volatile("fnclex");
  __asm__ volatile("fldcw %0" : : "m"(control));
  __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
}

bool IsFloatingPointFault(DWORD code) {
  switch (code) {
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case 0xC00002B4:  // STATUS_FLOAT_MULTIPLE_FAULTS
    case 0xC00002B5:  // STATUS_FLOAT_MULTIPLE_TRAPS
      return true;
    default:
      return false;
  }
}

void MaskEverything(CONTEXT* context) {
#if defined(_WIN64)
  context->FltSave.ControlWord |= 0x3F;
  context->FltSave.StatusWord &= 0x7F00;
  context->FltSave.MxCsr = (context->FltSave.MxCsr | 0x1F80) & ~0x3Fu;
  context->MxCsr = context->FltSave.MxCsr;
#else
  context->FloatSave.ControlWord |= 0x3F;
  context->FloatSave.StatusWord &= 0x7F00;
  BYTE* fxsave = context->ExtendedRegisters;
  fxsave[0] |= 0x3F;  // FCW
  fxsave[2] = 0;      // FSW exception flags
  DWORD mxcsr;
  memcpy(&mxcsr, fxsave + kMxcsrFxsaveOffset, sizeof mxcsr);
  mxcsr = (mxcsr | 0x1F80) & ~0x3Fu;
  memcpy(fxsave + kMxcsrFxsaveOffset, &mxcsr, sizeof mxcsr);
#endif
}

LONG CALLBACK ResumeMasked(EXCEPTION_POINTERS* info) {
  if (!IsFloatingPointFault(info->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  InterlockedIncrement(&faultsSeen);
  MaskEverything(info->ContextRecord);
  return EXCEPTION_CONTINUE_EXECUTION;
}

struct Saved {
  uint16_t control;
  uint32_t mxcsr;
  void* handler;
};
Saved saved = {0, 0, nullptr};

}  // namespace

void BeginFloatingPointProfile(HostSession* session) {
  const FloatingPointProfile& profile = session->options.floatingPoint;
  if (!profile.set) return;
  saved = {ReadX87Control(), ReadMxcsr(), AddVectoredExceptionHandler(1, ResumeMasked)};
  InterlockedExchange(&faultsSeen, 0);
  Load(profile.x87Control, profile.mxcsr);
  session->internals->expectedX87Control = ReadX87Control();
  session->internals->expectedMxcsr = ReadMxcsr();
}

void EndFloatingPointProfile(HostSession* session) {
  const FloatingPointProfile& profile = session->options.floatingPoint;
  if (!profile.set) return;
  const uint16_t control = ReadX87Control();
  const uint32_t mxcsr = ReadMxcsr();
  HostInternals* internals = session->internals;
  const LONG faults = InterlockedExchange(&faultsSeen, 0);
  session->log.floatingPointExceptions += faults;
  // After a fault the state is the one this host masked to resume.
  if (faults == 0 && ((control & kX87ControlBits) != (internals->expectedX87Control & kX87ControlBits) ||
                      (mxcsr & kMxcsrControlBits) != (internals->expectedMxcsr & kMxcsrControlBits)))
    ++session->log.floatingPointStateChanged;
  if (saved.handler != nullptr) RemoveVectoredExceptionHandler(saved.handler);
  Load(saved.control, saved.mxcsr);
  saved = {0, 0, nullptr};
}
