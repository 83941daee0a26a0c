#include "engine/prime_wheel.h"

#include <algorithm>
#include <cmath>

#include "engine/engine_memory.h"

// A prime from 19 up and where its eight lines of multiples go on: the
// multiples p * m with m coprime to 30 fall, for each m mod 30, on one bit
// of every p-th byte, a different bit for each m. With 64-bit registers
// line i holds the multiples of the i-th m from p on, which strike a bit
// that follows from p mod 30 (LineKeeps), and the round's strikes go up
// through memory. A 32-bit processor has too few registers to hold eight
// bits beside the eight lines' offsets: there line b strikes bit b, and the
// bits are constants of the code.
constexpr bool kLinesByBit = sizeof(void*) < 8;

struct SievingPrime {
  uint32_t next[8];  // next byte of each line
  uint32_t prime;
};

namespace {

// One period of the table with 7, 11, 13 and 17 struck: 7 x 11 x 13 x 17 bytes.
constexpr uint32_t kBasePatternPrimes[] = {7, 11, 13, 17};
constexpr uint32_t kPatternBytes = 17017;

// The primes 19 .. 97 are struck by patterns too, a pair to a pattern of
// p x q bytes, ANDed into each segment 16 bytes at a time: they make about
// half of all the strikes, and a pass over a segment in the first-level
// cache costs less than striking two primes' multiples one by one.
struct PairPattern {
  uint32_t first;
  uint32_t second;
  constexpr uint32_t Period() const { return first * second; }
};
constexpr PairPattern kPairPatterns[] = {{19, 23}, {29, 31}, {37, 41}, {43, 47}, {53, 59},
                                         {61, 67}, {71, 73}, {79, 83}, {89, 97}};
// Each pair pattern is followed by its first 16 bytes again, so that 16
// bytes read from anywhere within the period are whole.
constexpr uint32_t kPairPatternSlack = 16;
constexpr uint32_t PairPatternsBytes() {
  uint32_t bytes = 0;
  for (const PairPattern& pair : kPairPatterns) bytes += pair.Period() + kPairPatternSlack;
  return bytes;
}
constexpr uint32_t kPatternsBytes = kPatternBytes + PairPatternsBytes();

// Primes below this have no lines of multiples: the patterns strike them.
constexpr uint32_t kFirstStruck = 101;

constexpr int WheelBit(uint32_t residue) {
  for (int bit = 0; bit < 8; ++bit)
    if (kWheel[bit] == residue) return bit;
  return -1;
}

uint32_t SquareRootFloor(uint32_t n) {
  uint32_t root = static_cast<uint32_t>(std::sqrt(static_cast<double>(n)));
  while (uint64_t{root} * root > n) --root;
  while (uint64_t{root + 1} * (root + 1) <= n) ++root;
  return root;
}

// Room for the primes up to `root`: pi(x) < 1.25506 x / ln x.
uint32_t PrimeCapacity(uint32_t root) {
  if (root < 3) return 1;
  return static_cast<uint32_t>(1.25506 * root / std::log(static_cast<double>(root))) + 2;
}

// Strikes every multiple of `prime` (itself too) from the first `bytes`
// bytes of a pattern.
constexpr void StrikeFromPattern(uint8_t* pattern, uint32_t bytes, uint32_t prime) {
  for (uint32_t m : kWheel) {
    const uint32_t multiple = prime * m;
    const uint8_t keep = static_cast<uint8_t>(~(1u << WheelBit(multiple % 30)));
    for (uint32_t byte = multiple / 30; byte < bytes; byte += prime) pattern[byte] &= keep;
  }
}

// The pattern of 7, 11, 13 and 17, then every pair pattern, made by the
// compiler: a run takes them from the module's constant data instead of
// making 50 KB of them afresh.
struct Patterns {
  uint8_t bytes[kPatternsBytes];
  constexpr Patterns() : bytes() {
    for (uint8_t& byte : bytes) byte = 0xFF;
    for (uint32_t prime : kBasePatternPrimes) StrikeFromPattern(bytes, kPatternBytes, prime);
    uint8_t* pair = bytes + kPatternBytes;
    for (const PairPattern& primes : kPairPatterns) {
      const uint32_t period = primes.Period();
      StrikeFromPattern(pair, period, primes.first);
      StrikeFromPattern(pair, period, primes.second);
      for (uint32_t byte = 0; byte < kPairPatternSlack; ++byte) pair[period + byte] = pair[byte];
      pair += period + kPairPatternSlack;
    }
  }
};
constexpr Patterns kPatterns{};

void StartLines(uint32_t prime, SievingPrime* sieving) {
  sieving->prime = prime;
  // The first multiple that needs striking is p * p; the eight values of m
  // from p on that 2, 3 and 5 do not divide open the eight lines: p and the
  // seven wheel numbers after it. (A wheel residue's count of residues below
  // it is its bit.)
  const uint32_t place = kWheelBitsBelow[prime % 30];
  for (uint32_t line = 0; line < 8; ++line) {
    const uint32_t m = prime - prime % 30 + 30 * ((place + line) / 8) + kWheel[(place + line) % 8];
    const uint64_t multiple = uint64_t{prime} * m;
    const int bit = kWheelBitsBelow[multiple % 30];
    sieving->next[kLinesByBit ? bit : line] = static_cast<uint32_t>(std::min<uint64_t>(multiple / 30, UINT32_MAX));
  }
}

// The primes 19 .. root by a plain sieve over `scratch` (root + 1 bytes).
uint32_t FindSievingPrimes(uint32_t root, uint8_t* scratch, SievingPrime* primes) {
  std::fill(scratch, scratch + root + 1, uint8_t{1});
  uint32_t count = 0;
  for (uint32_t n = 2; n <= root; ++n) {
    if (scratch[n] == 0) continue;
    for (uint32_t multiple = n * n; multiple <= root; multiple += n) scratch[multiple] = 0;
    if (n >= kFirstStruck) StartLines(n, &primes[count++]);
  }
  return count;
}

// Sixteen bytes as one value: the compiler's vector type, one SSE2 register
// on x86, a pair of words elsewhere.
typedef uint8_t Bytes16 __attribute__((vector_size(16)));

inline Bytes16 LoadBytes16(const uint8_t* at) {
  Bytes16 bytes;
  std::memcpy(&bytes, at, sizeof bytes);
  return bytes;
}

constexpr int kPairCount = sizeof kPairPatterns / sizeof kPairPatterns[0];

void Presieve(const uint8_t* patterns, uint8_t* to, uint32_t firstByte, uint32_t bytes) {
  uint32_t phase = firstByte % kPatternBytes;
  for (uint32_t copied = 0; copied < bytes;) {
    const uint32_t run = std::min(bytes - copied, kPatternBytes - phase);
    std::memcpy(to + copied, patterns + phase, run);
    copied += run;
    phase = 0;
  }
  // Every pair pattern in one pass, sixteen bytes at a time.
  const uint8_t* pair[kPairCount];
  uint32_t period[kPairCount], pairPhase[kPairCount];
  const uint8_t* next = patterns + kPatternBytes;
  for (int i = 0; i < kPairCount; ++i) {
    pair[i] = next;
    period[i] = kPairPatterns[i].Period();
    pairPhase[i] = firstByte % period[i];
    next += period[i] + kPairPatternSlack;
  }
  uint32_t done = 0;
  for (; done + sizeof(Bytes16) <= bytes; done += sizeof(Bytes16)) {
    Bytes16 block = LoadBytes16(to + done);
    for (int i = 0; i < kPairCount; ++i) {
      block &= LoadBytes16(pair[i] + pairPhase[i]);
      pairPhase[i] += sizeof(Bytes16);
      pairPhase[i] -= pairPhase[i] >= period[i] ? period[i] : 0;
    }
    std::memcpy(to + done, &block, sizeof block);
  }
  for (; done < bytes; ++done)
    for (int i = 0; i < kPairCount; ++i) {
      to[done] &= pair[i][pairPhase[i]];
      pairPhase[i] = pairPhase[i] + 1 == period[i] ? 0 : pairPhase[i] + 1;
    }
}

// keep[p mod 30][i]: what line i of a prime p keeps of its bytes. For
// p mod 30 = kWheel[w] its m are kWheel[w + i] mod 30 (the residues from
// p's own on), its multiples p * m fall on the bit of p * m mod 30.
struct LineKeeps {
  uint8_t keep[30][8];
  constexpr LineKeeps() : keep() {
    for (int w = 0; w < 8; ++w)
      for (int line = 0; line < 8; ++line)
        keep[kWheel[w]][line] = static_cast<uint8_t>(~(1u << WheelBit(kWheel[w] * kWheel[(w + line) % 8] % 30)));
  }
};
constexpr LineKeeps kLineKeeps{};

// Rounds of eight strikes while `at` is below `stop`.
template <typename Keeps>
uint8_t* StrikeRounds(uint8_t* at, const uint8_t* stop, uint32_t step, const uint32_t* offset, const Keeps& keep) {
  for (; at < stop; at += step) {
    at[offset[0]] &= keep[0];
    at[offset[1]] &= keep[1];
    at[offset[2]] &= keep[2];
    at[offset[3]] &= keep[3];
    at[offset[4]] &= keep[4];
    at[offset[5]] &= keep[5];
    at[offset[6]] &= keep[6];
    at[offset[7]] &= keep[7];
  }
  return at;
}

// What line b keeps when lines go by bit: constants of the code.
struct BitKeeps {
  constexpr uint8_t operator[](int line) const { return static_cast<uint8_t>(~(1u << line)); }
};

void StrikeLines(SievingPrime* sieving, uint8_t* table, uint32_t end) {
  const uint32_t step = sieving->prime;
  const uint8_t* const keeps = kLinesByBit ? nullptr : kLineKeeps.keep[step % 30];
  // The eight lines lie within a prime's bytes of one another: struck a
  // round of all eight at a time, one loop test a round, while the last of
  // them stays below `end`.
  uint32_t lowest = sieving->next[0], highest = sieving->next[0];
  for (int line = 1; line < 8; ++line) {
    lowest = std::min(lowest, sieving->next[line]);
    highest = std::max(highest, sieving->next[line]);
  }
  if (highest < end) {
    uint32_t offset[8];
    for (int line = 0; line < 8; ++line) offset[line] = sieving->next[line] - lowest;
    uint8_t* at = table + lowest;
    const uint8_t* const stop = table + end - (highest - lowest);
    if constexpr (kLinesByBit) {
      at = StrikeRounds(at, stop, step, offset, BitKeeps{});
    } else {
      uint8_t keep[8];  // held in registers
      for (int line = 0; line < 8; ++line) keep[line] = keeps[line];
      at = StrikeRounds(at, stop, step, offset, keep);
    }
    const uint32_t reached = static_cast<uint32_t>(at - table);
    for (int line = 0; line < 8; ++line) sieving->next[line] = reached + offset[line];
  }
  for (int line = 0; line < 8; ++line) {
    const uint8_t keep = kLinesByBit ? BitKeeps{}[line] : keeps[line];
    uint32_t byte = sieving->next[line];
    for (; byte < end; byte += step) table[byte] &= keep;
    sieving->next[line] = byte;
  }
}

// Moves a prime's lines on to their first multiples from byte `first`. A
// line's bytes lie p apart, and the eight lines of a prime always lie within
// p bytes of one another (from p * p on, for m = p .. p + 29, and after every
// strike, which leaves them all at the first of their bytes from its end),
// so one division serves all eight.
void AimLines(SievingPrime* sieving, uint32_t first) {
  uint32_t lowest = sieving->next[0];
  for (int line = 1; line < 8; ++line) lowest = std::min(lowest, sieving->next[line]);
  if (lowest >= first) return;
  const uint32_t step = sieving->prime;
  const uint32_t skip = (first - lowest) / step * step;  // lowest + skip lies in first - step + 1 .. first
  for (uint32_t& next : sieving->next) {
    if (next >= first) continue;
    next += skip;
    if (next < first) next += step;
  }
}

// Primes from here on strike a segment at most eight times a line: they
// strike a whole range at once, or they would take longer to find their
// place in each segment than to strike it (a fifth of the sieve at a
// billion numbers).
constexpr uint32_t kLargePrime = kSegmentBytes / 8;

void PresieveSegment(const PrimeSieve* sieve, uint32_t first, uint32_t end) {
  uint8_t* table = sieve->table.bytes;
  Presieve(sieve->pattern, table + first, first, end - first);
  if (first != 0) return;
  // 1 is no prime; 7 .. 97 are, though the patterns strike them.
  table[0] &= static_cast<uint8_t>(~1u);
  auto restore = [&](uint32_t prime) {
    if (prime / 30 < end) table[prime / 30] |= static_cast<uint8_t>(1u << WheelBit(prime % 30));
  };
  for (uint32_t prime : kBasePatternPrimes) restore(prime);
  for (const PairPattern& pair : kPairPatterns) {
    restore(pair.first);
    restore(pair.second);
  }
}

}  // namespace

OSErr OpenPrimeSieve(uint32_t limit, int lanes, uint64_t extraBytes, PrimeSieve* sieve) {
  *sieve = PrimeSieve{};
  sieve->table.limit = limit;
  sieve->byteCount = PrimeTableBytes(limit);
  sieve->lanes = std::max(1, std::min(lanes, kMaxLanes));
  const uint32_t root = SquareRootFloor(limit > 0 ? limit - 1 : 0);
  const uint32_t capacity = PrimeCapacity(root);
  const uint64_t laneBytes = uint64_t{capacity} * sizeof(SievingPrime);
  const uint64_t sieveBytes = laneBytes * sieve->lanes + root + 1;
  // The caller's part starts on a 64-byte boundary, up to 63 bytes on.
  sieve->workspace = AllocateEngineMemory(sieveBytes + 64 + extraBytes, false);
  sieve->table.bytes = static_cast<uint8_t*>(AllocateEngineMemory(uint64_t{sieve->byteCount} + kPrimeWordBytes, false));
  if (sieve->workspace == nullptr || sieve->table.bytes == nullptr) {
    ClosePrimeSieve(sieve);
    return memFullErr;
  }
  std::memset(sieve->table.bytes + sieve->byteCount, 0, kPrimeWordBytes);
  auto* base = static_cast<uint8_t*>(sieve->workspace);
  auto* lines = reinterpret_cast<SievingPrime*>(base);
  sieve->pattern = kPatterns.bytes;
  const uintptr_t sieveEnd = reinterpret_cast<uintptr_t>(base + sieveBytes);
  sieve->extra = base + sieveBytes + ((64 - (sieveEnd & 63)) & 63);
  sieve->primeCount = FindSievingPrimes(root, base + laneBytes * sieve->lanes, lines);
  for (int lane = 0; lane < sieve->lanes; ++lane) {
    sieve->lines[lane] = lines + size_t(capacity) * size_t(lane);
    if (lane > 0) std::memcpy(sieve->lines[lane], lines, sizeof(SievingPrime) * sieve->primeCount);
  }
  return noErr;
}

void SieveRange(PrimeSieve* sieve, int lane, uint32_t first, uint32_t end) {
  end = std::min(end, sieve->byteCount);
  uint8_t* table = sieve->table.bytes;
  SievingPrime* lines = sieve->lines[lane];
  // The primes that strike the range. Lines that sieved the bytes just
  // before are where it starts; after a jump over other lanes' ranges they
  // are aimed afresh.
  const bool aim = sieve->sievedTo[lane] != first;
  uint32_t striking = 0, small = 0;
  for (; striking < sieve->primeCount; ++striking) {
    SievingPrime* sieving = &lines[striking];
    if (uint64_t{sieving->prime} * sieving->prime >= uint64_t{end} * 30) break;
    if (aim) AimLines(sieving, first);
    if (sieving->prime < kLargePrime) small = striking + 1;
  }
  for (uint32_t segment = first; segment < end; segment += kSegmentBytes) {
    const uint32_t segmentEnd = std::min(end, segment + kSegmentBytes);
    PresieveSegment(sieve, segment, segmentEnd);
    for (uint32_t i = 0; i < small; ++i) {
      SievingPrime* sieving = &lines[i];
      if (uint64_t{sieving->prime} * sieving->prime >= uint64_t{segmentEnd} * 30) break;
      StrikeLines(sieving, table, segmentEnd);
    }
  }
  for (uint32_t i = small; i < striking; ++i) StrikeLines(&lines[i], table, end);
  sieve->sievedTo[lane] = end;
}

void ClosePrimeSieve(PrimeSieve* sieve) {
  ReleaseEngineMemory(sieve->workspace);
  ReleaseEngineMemory(sieve->table.bytes);
  *sieve = PrimeSieve{};
}

void OrPrimeBits(const PrimeTable& table, uint32_t from, uint32_t count, bool descending, uint64_t* bits, size_t at) {
  if (count == 0) return;
  const uint32_t* spans = kWheelSpans.bits[descending ? 1 : 0];
  // Bits are gathered in `pending` until a part of `bits` is whole.
  AliasedMarkPart* part = reinterpret_cast<AliasedMarkPart*>(bits) + at / kMarkPartBits;
  unsigned filled = at % kMarkPartBits;
  MarkPart pending = 0;
  auto append = [&](MarkPart span, unsigned length) {
    pending |= span << filled;
    filled += length;
    if (filled >= kMarkPartBits) {
      *part++ |= pending;
      filled -= kMarkPartBits;
      pending = span >> (length - filled);
    }
  };
  auto within = [](MarkPart span, uint32_t length) {
    return length < 30 ? span & ((MarkPart{1} << length) - 1) : span;
  };
  const uint32_t byte = from / 30;
  const uint32_t skip = descending ? 29 - (from - 30 * byte) : from - 30 * byte;  // the byte's bits before `from`
  const uint32_t length = std::min(30 - skip, count);
  // The table by a pointer of its own: the stores to `bits` may alias
  // anything, the table's own pointer too, which would be read again.
  const uint8_t* tableByte = table.bytes + byte;
  const ptrdiff_t step = descending ? -1 : 1;
  append(within(spans[*tableByte] >> skip, length), length);
  uint32_t left = count - length;
  for (; left >= 30; left -= 30) {
    tableByte += step;
    append(spans[*tableByte], 30);
  }
  if (left > 0) {
    tableByte += step;
    append(within(spans[*tableByte], left), left);
  }
  if (filled > 0) *part |= pending;
  ForEachPrimeOffTheWheel(from, count, descending, [&](uint32_t offset) {
    const size_t bit = at + offset;
    bits[bit / 64] |= uint64_t{1} << (bit % 64);
  });
}
