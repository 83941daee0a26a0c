#include "host/floating_point_state.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)

void EnterPluginFloatingPoint(FloatingPointState* saved) {
  // fnstenv also masks every x87 exception, before anything else can trap.
  __asm__ volatile("fnstenv %0" : "=m"(saved->x87Environment));
  __asm__ volatile("stmxcsr %0" : "=m"(saved->mxcsr));
  const uint16_t control = kPluginX87Control;
  const uint32_t mxcsr = kPluginMxcsr;
  __asm__ volatile("fnclex");
  __asm__ volatile("fldcw %0" : : "m"(control));
  __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
}

void LeavePluginFloatingPoint(const FloatingPointState& saved) {
  __asm__ volatile("fnclex");
  __asm__ volatile("fldenv %0" : : "m"(saved.x87Environment));
  __asm__ volatile("ldmxcsr %0" : : "m"(saved.mxcsr));
}

uint16_t CurrentX87Control() {
  uint16_t control;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  return control;
}

uint32_t CurrentMxcsr() {
  uint32_t mxcsr;
  __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
  return mxcsr;
}

#else

void EnterPluginFloatingPoint(FloatingPointState* saved) { std::memset(saved, 0, sizeof *saved); }
void LeavePluginFloatingPoint(const FloatingPointState&) {}
uint16_t CurrentX87Control() { return 0; }
uint32_t CurrentMxcsr() { return 0; }

#endif
