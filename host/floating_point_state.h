// The floating-point state around a call from the host. Some hosts (those
// built with Delphi, for example) run with floating-point exceptions unmasked
// (x87 control word 0x1332, MXCSR 0x1900); the plug-in runs with every
// exception masked and rounding to nearest, and gives the host back its state
// exactly as it found it.
#pragma once

#include <cstdint>

// The x87 environment (control, status and tag words, as fnstenv stores it)
// and MXCSR.
struct FloatingPointState {
  uint8_t x87Environment[28];
  uint32_t mxcsr;
};

constexpr uint16_t kPluginX87Control = 0x037F;  // all masked, 64-bit precision, round to nearest
constexpr uint32_t kPluginMxcsr = 0x1F80;       // all masked, round to nearest, no flush to zero

// Saves the caller's state into `saved` and switches to the plug-in's.
void EnterPluginFloatingPoint(FloatingPointState* saved);

// Restores what EnterPluginFloatingPoint saved: control words, status flags
// and MXCSR. Flags raised by the plug-in's own masked work go with it, so a
// host with unmasked exceptions does not trap on them later.
void LeavePluginFloatingPoint(const FloatingPointState& saved);

// The current x87 control word and MXCSR (0 where the machine has none).
uint16_t CurrentX87Control();
uint32_t CurrentMxcsr();
