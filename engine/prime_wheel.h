// The primes below a limit, one bit per number that 2, 3 and 5 do not
// divide: byte k holds 30k + 1, 7, 11, 13, 17, 19, 23 and 29 in bits 0 .. 7.
// N numbers take N / 30 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "engine/plot_lanes.h"
#include "host/host_api.h"

struct PrimeTable {
  uint8_t* bytes;  // final once every segment is sieved; a word of zero padding at the end
  uint32_t limit;  // numbers 0 .. limit - 1
};

struct SievingPrime;

// A segmented sieve of Eratosthenes filling a PrimeTable a cache-sized
// segment at a time. Several lanes (threads) may sieve at once, each its own
// ranges of segments in increasing order, in any order among the lanes: each
// lane keeps its own place in every prime's lines of multiples, which only
// move on, and no two lanes sieve the same range.
struct PrimeSieve {
  PrimeTable table;
  uint32_t byteCount;      // table bytes that hold numbers below the limit: PrimeTableBytes
  const uint8_t* pattern;  // the table with only 7 .. 17 struck, one period; then the patterns of 19 .. 97
  uint32_t primeCount;     // primes 101 .. sqrt(limit - 1), which have lines of multiples
  int lanes;
  SievingPrime* lines[kMaxLanes];  // each lane's primes with their next multiples
  uint32_t sievedTo[kMaxLanes];    // the byte each lane's lines are aimed at
  void* workspace;         // lines: about 4.5 bytes per number up to sqrt(limit), per lane
  uint8_t* extra;          // the caller's part of the workspace
};

inline uint32_t PrimeTableBytes(uint32_t limit) { return (limit + 29) / 30; }

// Table bytes that the smaller primes sieve at a time: 983,040 numbers,
// sized to the first-level data cache.
constexpr uint32_t kSegmentBytes = 32768;

// Takes the memory for the primes below `limit` (at most 2^31) to be sieved
// by `lanes` lanes (1 .. kMaxLanes): first a workspace of O(sqrt(limit)) per
// lane, with `extraBytes` more at `extra` (aligned to 64 bytes, not cleared)
// for the caller's own use, then the table. memFullErr, holding nothing,
// when either is refused.
OSErr OpenPrimeSieve(uint32_t limit, int lanes, uint64_t extraBytes, PrimeSieve* sieve);

// Sieves table bytes `first` .. `end` - 1 (`first` a multiple of
// kSegmentBytes, `end` one too or byteCount, past every byte `lane` sieved
// before) with the lines of `lane`. Once every byte is sieved the table is
// final.
void SieveRange(PrimeSieve* sieve, int lane, uint32_t first, uint32_t end);

// Gives back everything.
void ClosePrimeSieve(PrimeSieve* sieve);

// ---- Reading the table ----

inline constexpr uint8_t kWheel[8] = {1, 7, 11, 13, 17, 19, 23, 29};

// kWheelBitsBelow[r]: how many wheel residues lie below r, for r = 0 .. 30.
inline constexpr uint8_t kWheelBitsBelow[31] = {0, 0, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 4, 4,
                                                4, 4, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 8};

// The table is read a machine word at a time: 8 bytes (240 numbers) on
// 64-bit builds, 4 on 32-bit ones.
using PrimeWord = uintptr_t;
constexpr uint32_t kPrimeWordBytes = sizeof(PrimeWord);

// Marks, bits in 64-bit words, are gathered and read a register's width at
// a time: half a word in a 32-bit build, where a 64-bit shift by a variable
// amount takes several instructions (x86 keeps a word's low half first).
using MarkPart = uintptr_t;
typedef MarkPart __attribute__((may_alias)) AliasedMarkPart;
constexpr unsigned kMarkPartBits = 8 * sizeof(MarkPart);

inline PrimeWord LoadPrimeWord(const uint8_t* at) {
  PrimeWord word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

inline unsigned LowestBit(uint32_t bits) { return static_cast<unsigned>(__builtin_ctz(bits)); }
inline unsigned LowestBit(uint64_t bits) { return static_cast<unsigned>(__builtin_ctzll(bits)); }

// kWordBitNumber[b]: the number that bit b of a word stands for, counted
// from 30 times the word's first byte.
struct WordBitNumbers {
  uint32_t number[64];
  constexpr WordBitNumbers() : number() {
    for (unsigned bit = 0; bit < 64; ++bit) number[bit] = 30 * (bit >> 3) + kWheel[bit & 7];
  }
};
inline constexpr WordBitNumbers kWordBitNumber{};

// Calls visit(wordNumber, bits) for each word of the table that holds a
// number n with from <= n < to: bits are the word's prime bits left in
// that range, wordNumber 30 times the word's first byte, so that bit b
// stands for wordNumber + kWordBitNumber.number[b]. The primes 2, 3 and 5
// lie off the wheel: callers that may start below 6 take ForEachPrime.
// `to` must not exceed the table's limit.
template <typename VisitWord>
inline void ForEachPrimeWord(const PrimeTable& table, uint32_t from, uint32_t to, VisitWord&& visit) {
  if (from >= to) return;
  uint32_t byte = from / 30;
  const uint32_t last = (to - 1) / 30;
  PrimeWord bits = LoadPrimeWord(table.bytes + byte) & (~PrimeWord{0} << kWheelBitsBelow[from - 30 * byte]);
  for (;;) {
    const uint32_t before = last - byte;  // whole bytes of this word ahead of the last one
    if (before < kPrimeWordBytes) {
      const unsigned keep = 8 * before + kWheelBitsBelow[to - 30 * last];
      if (keep < 8 * kPrimeWordBytes) bits &= (PrimeWord{1} << keep) - 1;
      visit(30 * byte, bits);
      return;
    }
    visit(30 * byte, bits);
    byte += kPrimeWordBytes;
    bits = LoadPrimeWord(table.bytes + byte);
  }
}

// 2, 3 and 5 lie off the wheel: calls visit(offset) for each of them among
// the `count` numbers from `from` up, or from `from` down when `descending`,
// `offset` counted from `from`.
template <typename Visit>
inline void ForEachPrimeOffTheWheel(uint32_t from, uint32_t count, bool descending, Visit&& visit) {
  for (uint32_t small : {2u, 3u, 5u}) {
    const uint32_t offset = descending ? from - small : small - from;
    if ((descending ? small <= from : small >= from) && offset < count) visit(offset);
  }
}

// Calls visit(n) for every prime n with from <= n < to, in increasing order.
// `to` must not exceed the table's limit.
template <typename Visit>
inline void ForEachPrime(const PrimeTable& table, uint32_t from, uint32_t to, Visit&& visit) {
  if (from < 6 && from < to)
    ForEachPrimeOffTheWheel(from, to - from, false, [&](uint32_t offset) { visit(from + offset); });
  ForEachPrimeWord(table, from, to, [&](uint32_t wordNumber, PrimeWord bits) {
    for (; bits != 0; bits &= bits - 1) visit(wordNumber + kWordBitNumber.number[LowestBit(bits)]);
  });
}

// kWheelSpans.bits[0][b]: the 30 numbers of a table byte b as bits 0 .. 29,
// bit k for the byte's number 30j + k; bits[1][b] the same read downwards,
// bit k for 30j + 29 - k.
struct WheelSpans {
  uint32_t bits[2][256];
  constexpr WheelSpans() : bits() {
    for (unsigned byte = 0; byte < 256; ++byte)
      for (unsigned bit = 0; bit < 8; ++bit)
        if ((byte >> bit) & 1) {
          bits[0][byte] |= uint32_t{1} << kWheel[bit];
          bits[1][byte] |= uint32_t{1} << (29 - kWheel[bit]);
        }
  }
};
inline constexpr WheelSpans kWheelSpans{};

// ORs one bit per number into `bits` from bit `at` on: `count` numbers from
// `from` up, or from `from` down when `descending`, each set for a prime.
// Every number must lie below the table's limit and, descending, not below 0.
// Reads 30 numbers a table byte at a time, without a branch per prime.
void OrPrimeBits(const PrimeTable& table, uint32_t from, uint32_t count, bool descending, uint64_t* bits, size_t at);
