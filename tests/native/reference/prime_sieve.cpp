#include <algorithm>
#include <cstring>

#include "tests/native/reference/prime_sieve.h"

namespace {

constexpr uint8_t kUnsieved = 0xFF;
constexpr uint8_t kComposite = 0;

// Marks from 2j on purpose: every multiple is struck, not only those from j^2.
void StrikeMultiples(uint8_t* table, size_t count, size_t j) {
  for (size_t multiple = 2 * j; multiple < count; multiple += j) table[multiple] = kComposite;
}

}  // namespace

OSErr SievePrimes(uint8_t* table, size_t count, const PlotProgress& progress) {
  std::memset(table, kUnsieved, count);
  const size_t pollStep = static_cast<size_t>(kStepsPerPoll);
  size_t j = 2;
  while (j < count) {
    const size_t blockEnd = std::min(count, (j / pollStep + 1) * pollStep);
    for (; j < blockEnd; ++j) {
      if (table[j] != kUnsieved) continue;
      table[j] = kPrimeMark;
      StrikeMultiples(table, count, j);
    }
    if (j < count && ReportAndPollAbort(progress, static_cast<int64_t>(j))) return userCanceledErr;
  }
  return noErr;
}
