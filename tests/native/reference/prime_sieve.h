// The reference form's prime table: one byte per number, filled by a plain
// sieve of Eratosthenes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/plot_progress.h"
#include "host/host_api.h"

// Byte value of a prime after the sieve. Composites hold 0; 0 and 1 keep 0xFF.
constexpr uint8_t kPrimeMark = 1;

// Sieves the numbers 0 .. count - 1 in `table` (count bytes, owned by the
// caller). Every j from 2 up strikes out 2j, 3j, ... below count; at each j
// that is a multiple of 1000 it reports (j, 2P) and polls the host first.
// Returns noErr, or userCanceledErr with the table half done.
// `count` must not exceed 2^31 - 1 so that 2j cannot wrap a 32-bit size_t.
OSErr SievePrimes(uint8_t* table, size_t count, const PlotProgress& progress);

inline bool IsPrimeEntry(uint8_t entry) { return entry == kPrimeMark; }
