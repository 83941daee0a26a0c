#include "engine/plot_paint.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Copies and fills of a few to a few thousand bytes, inline: the C
// library's are calls through an import, and under wine a 32-bit process's
// stores 4 bytes at a time. `to` and `from` do not overlap.
inline void CopyBytes(uint8_t* to, const uint8_t* from, size_t bytes) {
#if defined(__SSE2__)
  if (bytes >= 16) {
    for (size_t done = 0; done + 16 < bytes; done += 16)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + done),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + done)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + bytes - 16),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + bytes - 16)));
    return;
  }
#endif
  auto ends = [&](auto word) {  // the first and the last word's worth, overlapping
    decltype(word) first, last;
    std::memcpy(&first, from, sizeof first);
    std::memcpy(&last, from + bytes - sizeof last, sizeof last);
    std::memcpy(to, &first, sizeof first);
    std::memcpy(to + bytes - sizeof last, &last, sizeof last);
  };
  if (bytes >= 8)
    ends(uint64_t{});
  else if (bytes >= 4)
    ends(uint32_t{});
  else
    for (size_t i = 0; i < bytes; ++i) to[i] = from[i];
}

inline void FillBytes(uint8_t* to, uint8_t value, size_t bytes) {
#if defined(__SSE2__)
  if (bytes >= 16) {
    const __m128i fill = _mm_set1_epi8(static_cast<char>(value));
    for (size_t done = 0; done + 16 < bytes; done += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(to + done), fill);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + bytes - 16), fill);
    return;
  }
#endif
  for (size_t i = 0; i < bytes; ++i) to[i] = value;
}

#if defined(__SSE2__)
// The output is streamed, 16 bytes at a time: a row of every plane painted
// is built in a staging row first; a row that keeps a plane of the input is
// streamed as it is made. An output larger than the cache goes past it
// (`pastCache`): no output line is read in before it is written, and the
// image does not push the prime table and the input out of the cache. A
// smaller one is stored through the cache, where the host finds it next,
// its rows of every plane painted in place.
constexpr bool kStreamed = true;

// A staged row on its way past the cache, 16 bytes at a time. A processor
// keeps only a few lines of streamed stores in flight: a row streamed all
// at once, between the paintings of two rows, leaves the memory idle while
// the next is painted. So RGB rows are staged in two rows by turns, and
// each is streamed while the next one's background is filled (FillSolidRow
// pumps it), the rest once that row is done. Gray rows, copied from wheel
// runs, have nothing to stream beside and go out at once.
struct RowStream {
  uint8_t* to = nullptr;  // 16-byte aligned
  const uint8_t* from = nullptr;
  size_t units = 0;       // 16-byte units still to go

  // `from` lies at the same place within a 16-byte unit as `to`; the bytes
  // before and after the whole units are written at once.
  void Start(uint8_t* rowTo, const uint8_t* rowFrom, size_t bytes) {
    Drain();
    const size_t head = std::min(bytes, (16 - (reinterpret_cast<uintptr_t>(rowTo) & 15)) & 15);
    CopyBytes(rowTo, rowFrom, head);
    units = (bytes - head) / 16;
    const size_t tail = head + units * 16;
    CopyBytes(rowTo + tail, rowFrom + tail, bytes - tail);
    to = rowTo + head;
    from = rowFrom + head;
  }

  void Drain() {
    StreamRest(to, from, units);
    units = 0;
  }

  // Out of line: inlined into a row's painting, the 32-bit build ran out of
  // registers and kept the count on the stack, each unit then waiting on the
  // last one's store to it.
  __attribute__((noinline)) static void StreamRest(uint8_t* at, const uint8_t* source, size_t count) {
    StreamUnits(at, source, count);
  }

  // Streams `count` units, moving `at` and `source` on.
  static void StreamUnits(uint8_t*& at, const uint8_t*& source, size_t count) {
    for (; count > 0; --count, at += 16, source += 16)
      _mm_stream_si128(reinterpret_cast<__m128i*>(at), _mm_load_si128(reinterpret_cast<const __m128i*>(source)));
  }
};

// Streamed stores are ordered by a fence only.
void FinishStreaming() { _mm_sfence(); }
#else
constexpr bool kStreamed = false;
struct RowStream {
  void Start(uint8_t*, const uint8_t*, size_t) {}
  void Drain() {}
};
void FinishStreaming() {}
#endif

template <typename Sample>
Sample Load(const uint8_t* at) {
  Sample sample;
  std::memcpy(&sample, at, sizeof sample);
  return sample;
}

template <typename Sample>
void Store(uint8_t* at, Sample sample) {
  std::memcpy(at, &sample, sizeof sample);
}

// A plane given back as read: 8-bit samples unchanged, 16-bit ones capped at
// 32768, the top of the host's 16-bit range.
inline uint8_t PassThrough(uint8_t sample) { return sample; }
inline uint16_t PassThrough(uint16_t sample) { return sample > 32768 ? uint16_t{32768} : sample; }

template <int kCeiling>
uint16_t Quantise(double component) {
  const double rounded = static_cast<double>(static_cast<float>(component)) * kCeiling + 0.5;
  return rounded < 0.0 ? 0 : rounded >= kCeiling + 1 ? uint16_t{kCeiling} : static_cast<uint16_t>(rounded);
}

// ---- Marks: pixels of a band that take the foreground ----
//
// One bit per pixel, a row of 64-bit words per row of the band: the spiral's
// side pixels, which a band finds a column at a time, and every foreground
// pixel of a row that is made from its marks alone. Each row's marks are
// cleared once the row is written.

inline size_t MarkWords(int32_t width) { return (static_cast<size_t>(width) + 63) / 64; }

inline void Mark(uint64_t* rowMarks, uint32_t column) { rowMarks[column / 64] |= uint64_t{1} << (column % 64); }

// A part's worth of marks from bit `shift` of `*part` on, running into the
// part after it.
template <typename Part>
inline MarkPart PartMarks(const Part* part, unsigned shift) {
  return (part[0] >> shift) | (part[1] << 1 << (kMarkPartBits - 1 - shift));
}

// A part's worth of marks from column `column` on, those past the row's
// end undefined. The part after the column's is read either way, without a
// branch: the marks of a band are followed by a spare word.
inline MarkPart MarksAt(const uint64_t* rowMarks, size_t column) {
  return PartMarks(reinterpret_cast<const AliasedMarkPart*>(rowMarks) + column / kMarkPartBits,
                   column % kMarkPartBits);
}

// ---- The spiral ----
//
// Ring r is the border of the rectangle with r pixels cut from every side.
// A row meets its own ring's top or bottom side, a run of consecutive
// numbers, and the left and right sides of the rings outside it, one pixel
// each. Down a ring side the numbers are consecutive too, so a band of rows
// has its side pixels found a side column at a time, and is then painted a
// row at a time, its run and its side pixels: every lookup reads a stretch
// of the prime table, not a single number.

struct Spiral {
  int32_t width;
  int32_t height;
  uint32_t shift;

  // The ring whose top or bottom side row `row` lies on; the row meets the
  // left and right sides of the rings outside it.
  int32_t RingOf(int32_t row) const { return std::min(row, height - 1 - row); }

  // Pixels in the rings outside ring r: W H - (W - 2r)(H - 2r).
  uint32_t RingStart(int32_t ring) const {
    const int64_t inner = int64_t{width - 2 * ring} * (height - 2 * ring);
    return static_cast<uint32_t>(int64_t{width} * height - inner);
  }

  // Ring r's left side lies in column r and holds LeftBase(r) - y in row y;
  // its right side lies in column W - 1 - r and holds RightBase(r) + y. Each
  // covers the rows strictly between the ring's top and bottom sides.
  uint32_t LeftBase(int32_t ring) const {
    return shift + RingStart(ring) + 2 * static_cast<uint32_t>(width - 2 * ring - 1) +
           2 * static_cast<uint32_t>(height - 2 * ring - 1) + static_cast<uint32_t>(ring);
  }
  uint32_t RightBase(int32_t ring) const {
    return shift + RingStart(ring) + static_cast<uint32_t>(width - 2 * ring - 1) - static_cast<uint32_t>(ring);
  }
};

// Where a band's side pixels go: marks, or, for RGB rows painted in a
// staging row, a list of columns per row, which the row paints without
// scanning its marks. A list holds a sixteenth of the width and 8 more, well above
// what most rows need; the rows of the spiral that meet a prime-rich curve
// may hold more, and what does not fit is marked, the count then passing
// the capacity.
struct SideMarks {
  uint64_t* marks;
  uint32_t* counts;  // per row of the band; null: marks only
  uint16_t* lists;   // per row of the band, `capacity` columns each
  uint32_t capacity;
};

inline uint32_t SideListCapacity(int32_t width) { return static_cast<uint32_t>(width) / 16 + 8; }

// Marks the ring sides that cross rows top .. bottom - 1: the left side of ring r
// lies in column r and counts down the rows, the right side in column
// W - 1 - r and counts up. Each covers the rows strictly between its ring's
// top and bottom sides. The middle column of an odd width is a right side.
// With SSE2, marks alone are made 16 columns at a time: MarkRingSideColumns.
template <bool kLists>
void MarkRingSides(const Spiral& spiral, const PrimeTable& primes, int32_t top, int32_t bottom,
                   const SideMarks& sides) {
  uint64_t* const marks = sides.marks;
  const ptrdiff_t words = static_cast<ptrdiff_t>(MarkWords(spiral.width));
  auto mark = [&](ptrdiff_t rowInBand, int32_t column) {
    if (kLists) {
      const uint32_t count = sides.counts[rowInBand];
      if (count < sides.capacity) {
        sides.lists[static_cast<size_t>(rowInBand) * sides.capacity + count] = static_cast<uint16_t>(column);
        sides.counts[rowInBand] = count + 1;
        return;
      }
      sides.counts[rowInBand] = sides.capacity + 1;
    }
    Mark(marks + rowInBand * words, static_cast<uint32_t>(column));
  };
  // Marks are set a register's width at a time: half a word, in the 32-bit
  // build, is one instruction, not two.
  AliasedMarkPart* const parts = reinterpret_cast<AliasedMarkPart*>(marks);
  const ptrdiff_t rowParts = words * static_cast<ptrdiff_t>(64 / kMarkPartBits);
  // A side's primes are found a word of the table at a time; bit b of a word
  // lies kWordBitNumber[b] rows on from the word's first number: this many
  // list rows, or mark parts, on.
  ptrdiff_t bitRows[64];
  for (int bit = 0; bit < 64; ++bit)
    bitRows[bit] = static_cast<ptrdiff_t>(kWordBitNumber.number[bit]) * (kLists ? 1 : rowParts);
  // The number in row y of the left side is base - y, of the right side base + y.
  auto markSide = [&](uint32_t base, bool left, int32_t from, int32_t to, int32_t column) {
    const ptrdiff_t columnPart = column / kMarkPartBits;
    const MarkPart columnBit = MarkPart{1} << (column % kMarkPartBits);
    const uint32_t first = left ? base - static_cast<uint32_t>(to - 1) : base + static_cast<uint32_t>(from);
    const uint32_t end = left ? base - static_cast<uint32_t>(from) + 1 : base + static_cast<uint32_t>(to);
    if (first < 6) {  // the primes off the wheel
      ForEachPrime(primes, first, end, [&](uint32_t n) {
        const int32_t row = left ? int32_t(base - n) : int32_t(n - base);
        mark(row - top, column);
      });
      return;
    }
    ForEachPrimeWord(primes, first, end, [&](uint32_t wordNumber, PrimeWord bits) {
      // The row of wordNumber itself, which may lie outside the band.
      const ptrdiff_t row = (left ? static_cast<ptrdiff_t>(base) - static_cast<ptrdiff_t>(wordNumber)
                                  : static_cast<ptrdiff_t>(wordNumber) - static_cast<ptrdiff_t>(base)) -
                            top;
      if (kLists) {
        if (left)
          for (; bits != 0; bits &= bits - 1) mark(row - bitRows[LowestBit(bits)], column);
        else
          for (; bits != 0; bits &= bits - 1) mark(row + bitRows[LowestBit(bits)], column);
      } else {
        const ptrdiff_t at = row * rowParts + columnPart;
        if (left)
          for (; bits != 0; bits &= bits - 1) parts[at - bitRows[LowestBit(bits)]] |= columnBit;
        else
          for (; bits != 0; bits &= bits - 1) parts[at + bitRows[LowestBit(bits)]] |= columnBit;
      }
    });
  };
  const int32_t reach = std::min(bottom - 1, spiral.height - 1 - top);  // rings that cross the band
  // Each side reads its own stretch of the table, far from the next side's:
  // the stretches a few sides on are fetched ahead.
  constexpr int32_t kAhead = 8;
  const int32_t leftSides = std::min(spiral.width / 2, reach);
  for (int32_t ring = 0; ring < leftSides; ++ring) {
    if (ring + kAhead < leftSides) __builtin_prefetch(primes.bytes + (spiral.LeftBase(ring + kAhead) - top) / 30);
    const int32_t from = std::max(top, ring + 1), to = std::min(bottom, spiral.height - 1 - ring);
    if (from < to) markSide(spiral.LeftBase(ring), true, from, to, ring);
  }
  const int32_t rightSides = std::min((spiral.width + 1) / 2, reach);
  for (int32_t ring = 0; ring < rightSides; ++ring) {
    if (ring + kAhead < rightSides) __builtin_prefetch(primes.bytes + (spiral.RightBase(ring + kAhead) + top) / 30);
    const int32_t from = std::max(top, ring + 1), to = std::min(bottom, spiral.height - 1 - ring);
    if (from < to) markSide(spiral.RightBase(ring), false, from, to, spiral.width - 1 - ring);
  }
}

#if defined(__SSE2__)
// Turns a square of samples (16 by 16 bytes, or 8 by 8 16-bit samples):
// sample j of v[i] becomes sample i of v[j]. Each round interleaves
// neighbouring vectors in units twice as wide as the round before; after
// the last, row j stands in the vector whose index is j's bits reversed.
template <int kSampleBytes>
__attribute__((always_inline)) inline void TransposeTile(__m128i* v) {
  constexpr int kTile = 16 / kSampleBytes;
  __m128i t[kTile];
  auto round = [&](auto lo, auto hi) {
    for (int k = 0; k < kTile / 2; ++k) {
      t[k] = lo(v[2 * k], v[2 * k + 1]);
      t[kTile / 2 + k] = hi(v[2 * k], v[2 * k + 1]);
    }
    for (int k = 0; k < kTile; ++k) v[k] = t[k];
  };
  if (kSampleBytes == 1)
    round([](__m128i a, __m128i b) { return _mm_unpacklo_epi8(a, b); },
          [](__m128i a, __m128i b) { return _mm_unpackhi_epi8(a, b); });
  round([](__m128i a, __m128i b) { return _mm_unpacklo_epi16(a, b); },
        [](__m128i a, __m128i b) { return _mm_unpackhi_epi16(a, b); });
  round([](__m128i a, __m128i b) { return _mm_unpacklo_epi32(a, b); },
        [](__m128i a, __m128i b) { return _mm_unpackhi_epi32(a, b); });
  round([](__m128i a, __m128i b) { return _mm_unpacklo_epi64(a, b); },
        [](__m128i a, __m128i b) { return _mm_unpackhi_epi64(a, b); });
  for (int k = 0; k < kTile; ++k) {
    int reversed = 0;
    for (int bit = 1; bit < kTile; bit <<= 1) reversed = (reversed << 1) | ((k & bit) != 0);
    v[k] = t[reversed];
  }
}

// The same marks made a side column at a time, 16 columns together, with no
// loop over a side's primes: each column's 256 rows come from its stretch of
// the table as bits (30 numbers a table byte, through kWheelSpans), and 16
// columns of bits are turned into 16 bits of each row with SSE2. Per side
// that is a fixed few dozen instructions, fewer than a loop over its primes
// takes, and none of them a branch on the primes.

// Bit i of `column` (256 bits) for band row i: the primes of a side that
// covers rows from .. to - 1 of the band starting at `top`.
void SideColumnBits(const PrimeTable& primes, uint32_t base, bool left, int32_t top, int32_t from, int32_t to,
                    uint64_t* column) {
  // A side across the whole band from number 300 on: ten table bytes, read
  // without a check. An ascending stretch's tenth byte may be the padding.
  const uint32_t first = left ? base - static_cast<uint32_t>(top) : base + static_cast<uint32_t>(top);
  if (from == top && to - from == kBandRows && first >= 300) {
    const uint32_t byte = first / 30;
    const uint32_t* spans = kWheelSpans.bits[left ? 1 : 0];
    const unsigned skip = left ? 29 - (first - 30 * byte) : first - 30 * byte;
    const uint8_t* at = primes.bytes + byte;
    constexpr int kBytes = 10;
    constexpr unsigned kBits = kMarkPartBits;
    MarkPart gathered[300 / kBits + 1] = {};  // the ten bytes' numbers from 30 * byte on (down, for a left side)
#pragma GCC unroll 10
    for (int k = 0; k < kBytes; ++k) {
      const MarkPart span = spans[left ? at[-k] : at[k]];
      const unsigned bit = 30 * k;
      gathered[bit / kBits] |= span << (bit % kBits);
      if (bit % kBits + 30 > kBits) gathered[bit / kBits + 1] |= span >> (kBits - bit % kBits);
    }
    MarkPart* parts = reinterpret_cast<MarkPart*>(column);
#pragma GCC unroll 8
    for (unsigned i = 0; i < kBandRows / kBits; ++i) parts[i] = PartMarks(gathered + i, skip);
    return;
  }
  std::memset(column, 0, kBandRows / 8);
  if (from >= to) return;
  const uint32_t start = left ? base - static_cast<uint32_t>(from) : base + static_cast<uint32_t>(from);
  OrPrimeBits(primes, start, static_cast<uint32_t>(to - from), left, column, static_cast<size_t>(from - top));
}

// MarkRingSides<false>'s marks. Each group of 16 columns that holds a side
// is written whole in every row of the band, its other columns 0: marks
// there are clear before the band, and the rows mark their own runs after.
void MarkRingSideColumns(const Spiral& spiral, const PrimeTable& primes, int32_t top, int32_t bottom,
                         uint64_t* marks) {
  const size_t rowBytes = MarkWords(spiral.width) * sizeof(uint64_t);
  const int32_t reach = std::min(bottom - 1, spiral.height - 1 - top);
  const int32_t leftSides = std::max(0, std::min(spiral.width / 2, reach));
  const int32_t rightSides = std::max(0, std::min((spiral.width + 1) / 2, reach));
  const int32_t rightStart = spiral.width - rightSides;
  alignas(16) uint64_t columns[16][kBandRows / 64];
  auto markGroup = [&](int32_t firstColumn) {
    for (int32_t c = 0; c < 16; ++c) {
      const int32_t column = firstColumn + c;
      const bool left = column < leftSides;
      if (!left && (column < rightStart || column >= spiral.width)) {
        std::memset(columns[c], 0, sizeof columns[c]);
        continue;
      }
      const int32_t ring = left ? column : spiral.width - 1 - column;
      // Stretches a few sides on are fetched ahead: each lies far from the last.
      const int32_t ahead = left ? column + 8 : ring - 8;
      if (left ? ahead < leftSides : ahead >= 0)
        __builtin_prefetch(primes.bytes + (left ? spiral.LeftBase(ahead) - top : spiral.RightBase(ahead) + top) / 30);
      const int32_t from = std::max(top, ring + 1), to = std::min(bottom, spiral.height - 1 - ring);
      SideColumnBits(primes, left ? spiral.LeftBase(ring) : spiral.RightBase(ring), left, top, from, to, columns[c]);
    }
    // Locals, not the captures: the stores below may alias anything.
    const size_t stride = rowBytes;
    const int32_t bandRows = bottom - top;
    uint8_t* const groupMarks = reinterpret_cast<uint8_t*>(marks) + firstColumn / 8;
    for (int32_t half = 0; half * 128 < bandRows; ++half) {
      __m128i rows[16];
      for (int c = 0; c < 16; ++c) rows[c] = _mm_load_si128(reinterpret_cast<const __m128i*>(columns[c]) + half);
      TransposeTile<1>(rows);
      // rows[j]: bit k of byte c is column c's mark in band row 128 half + 8 j + k.
      for (int j = 0; j < 16; ++j) {
        __m128i bits = rows[j];
        uint8_t* at = groupMarks + static_cast<size_t>(128 * half + 8 * j + 7) * stride;
        for (int k = 7; k >= 0; --k, at -= stride) {
          const uint16_t rowBits = static_cast<uint16_t>(_mm_movemask_epi8(bits));
          std::memcpy(at, &rowBits, sizeof rowBits);
          bits = _mm_add_epi8(bits, bits);
        }
      }
    }
  };
  const int32_t leftEnd = (leftSides + 15) / 16 * 16;
  for (int32_t column = 0; column < leftEnd; column += 16) markGroup(column);
  if (rightSides > 0)
    for (int32_t column = std::max(leftEnd, rightStart / 16 * 16); column < spiral.width; column += 16)
      markGroup(column);
}
#endif

// ---- Painting rows ----

// Writes pixels of one kind of image. kPlanes is the plane count of the
// common images (gray, gray with transparency, RGB, RGB with transparency),
// which lets the compiler unroll a pixel's planes; 0 takes the count at run
// time.
template <typename Sample, int kPlanes>
struct Painter {
  static constexpr int kColorPlanes = kPlanes == 1 || kPlanes == 2 ? 1 : 3;
  // Every plane painted: a background row is one pixel repeated.
  static constexpr bool kSolidRows = kPlanes == 1 || kPlanes == 3;
  // The last plane (transparency) kept from the input.
  static constexpr bool kKeepsLastPlane = kPlanes == 2 || kPlanes == 4;
  static constexpr ptrdiff_t kSampleBytes = sizeof(Sample);

  // Pixels in 16 bytes, for rows that keep their last plane.
  static constexpr int32_t kBlockPixels = kKeepsLastPlane ? 16 / (kPlanes * kSampleBytes) : 1;

  const PlotGeometry& geometry;
  Sample foreground[3];
  Sample background[3];
  uint8_t* staging;      // a row (two for RGB), each 64-byte aligned, for rows streamed; null: painted in place
  size_t stagingStride;  // from the first staging row to the second
  bool pastCache;        // rows are streamed past the cache
  mutable RowStream stream;  // the last row staged, still going out
  // For rows that keep their last plane: the colour planes of 16 bytes of
  // pixels, the pixels with mark bit i set in the foreground, the kept
  // plane 0. Made once the colours are set.
  alignas(16) uint8_t blockColours[1 << kBlockPixels][16];

  void MakeBlockColours() {
    if (!kKeepsLastPlane) return;
    constexpr int32_t kPixelBytes = kPlanes * kSampleBytes;
    std::memset(blockColours, 0, sizeof blockColours);
    for (uint32_t marks = 0; marks < (1u << kBlockPixels); ++marks)
      for (int32_t x = 0; x < kBlockPixels; ++x)
        for (int p = 0; p < kColorPlanes; ++p)
          Store(blockColours[marks] + x * kPixelBytes + p * kSampleBytes,
                (marks >> x) & 1 ? foreground[p] : background[p]);
  }

  int Count() const { return kPlanes > 0 ? kPlanes : geometry.count; }
  // A gray image with extra channels takes the general case, whose colour
  // planes come from the geometry.
  int ColorPlanes() const { return kPlanes > 0 ? kColorPlanes : geometry.colorPlanes; }
  ptrdiff_t PixelBytes() const { return kPlanes > 0 ? kPlanes * kSampleBytes : geometry.pixelBytes; }
  size_t RowBytes() const { return static_cast<size_t>(PixelBytes()) * static_cast<size_t>(geometry.width); }

  // Gray images: a byte of the prime table stands for 30 consecutive
  // numbers, which a run of the plot lays on 30 consecutive pixels, so runs
  // are copied 30 pixels at a time from every byte's pixels (and 2 more,
  // which the next copy overwrites, for whole 16-byte units): [0] for
  // numbers increasing along the row, [1] for numbers decreasing.
  static constexpr bool kWheelRuns = kPlanes == 1;
  static constexpr int32_t kWheelRunPixels = 32;
  static constexpr size_t kWheelRunBytes = kWheelRuns ? kWheelRunPixels * kSampleBytes : 1;
  alignas(16) uint8_t wheelRuns[2][kWheelRuns ? 256 : 1][kWheelRunBytes];

  void MakeWheelRuns() {
    if (!kWheelRuns) return;
    Sample* samples = reinterpret_cast<Sample*>(&wheelRuns[0][0][0]);
    std::fill(samples, samples + sizeof wheelRuns / sizeof(Sample), background[0]);
    for (int byte = 0; byte < 256; ++byte)
      for (int bit = 0; bit < 8; ++bit)
        if ((byte >> bit) & 1) {
          Store(wheelRuns[0][byte] + kWheel[bit] * kSampleBytes, foreground[0]);
          Store(wheelRuns[1][byte] + (29 - kWheel[bit]) * kSampleBytes, foreground[0]);
        }
  }

  // Part of a wheel run: up to 30 bytes inline, the larger 16-bit parts by the library.
  static void CopyPart(uint8_t* to, const uint8_t* from, size_t bytes) {
    if (kSampleBytes == 1)
      CopyBytes(to, from, bytes);
    else
      std::memcpy(to, from, bytes);
  }

  // The `count` pixels from `out` on, of the numbers from `from` on
  // (increasing), or from `from` down (kDescending).
  template <bool kDescending>
  void PaintWheelRun(uint8_t* out, const PrimeTable& primes, uint32_t from, uint32_t count) const {
    const auto& runs = wheelRuns[kDescending ? 1 : 0];
    uint32_t byte = from / 30;
    const uint32_t within = from - 30 * byte;
    // The first byte's pixels from the one of `from` on.
    const uint32_t skip = kDescending ? 29 - within : within;
    uint32_t done = std::min(30 - skip, count);
    // The table byte by a pointer of its own: the stores below may alias
    // anything, the table's own pointer too, which would be read again.
    const uint8_t* table = primes.bytes + byte;
    constexpr ptrdiff_t kStep = kDescending ? -1 : 1;
    CopyPart(out, runs[*table] + skip * kSampleBytes, done * kSampleBytes);
    if (count - done >= kWheelRunPixels) {
      // Whole runs while one more fits, up to `last`: a pointer and a bound,
      // not a count, for the 32-bit build's few registers.
      uint8_t* at = out + done * kSampleBytes;
      uint8_t* const last = out + (count - kWheelRunPixels) * kSampleBytes;
      for (; at <= last; at += 30 * kSampleBytes) {
        table += kStep;
        std::memcpy(at, runs[*table], kWheelRunBytes);
      }
      done = static_cast<uint32_t>((at - out) / kSampleBytes);
    }
    while (done < count) {
      table += kStep;
      const uint32_t pixels = std::min(30u, count - done);
      CopyPart(out + done * kSampleBytes, runs[*table], pixels * kSampleBytes);
      done += pixels;
    }
    ForEachPrimeOffTheWheel(from, count, kDescending,
                            [&](uint32_t pixel) { PaintForeground(out + pixel * kSampleBytes); });
  }

#if defined(__SSE2__)
  // Gray rows of the spiral: the pixels of columns 0 .. leftEnd - 1 and
  // rightStart .. W - 1, the ring sides, from their marks, 16 pixels at a
  // time and without a branch per pixel. Up to 15 pixels past each stretch
  // are written too; they belong to the row's run, which is painted next.
  void PaintSideMarks(uint8_t* target, const uint64_t* rowMarks, int32_t leftEnd, int32_t rightStart) const {
    const __m128i select = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i back = kSampleBytes == 1 ? _mm_set1_epi8(static_cast<char>(background[0]))
                                           : _mm_set1_epi16(static_cast<int16_t>(background[0]));
    const __m128i fore = kSampleBytes == 1 ? _mm_set1_epi8(static_cast<char>(foreground[0]))
                                           : _mm_set1_epi16(static_cast<int16_t>(foreground[0]));
    const __m128i change = _mm_xor_si128(back, fore);
    // Columns come in multiples of 16: their marks are read as 16 bits at
    // once (x86 keeps a word's low bytes first), without a 64-bit shift,
    // which takes several instructions in a 32-bit build.
    const uint8_t* markBytes = reinterpret_cast<const uint8_t*>(rowMarks);
    auto paint16 = [&](int32_t column) {
      uint16_t marks;
      std::memcpy(&marks, markBytes + column / 8, sizeof marks);
      // Byte i of `spread` holds mark byte i / 8; `on` is 0xFF where mark i is set.
      __m128i spread = _mm_cvtsi32_si128(static_cast<int>(marks));
      spread = _mm_unpacklo_epi8(spread, spread);
      spread = _mm_unpacklo_epi16(spread, spread);
      spread = _mm_unpacklo_epi32(spread, spread);
      const __m128i on = _mm_cmpeq_epi8(_mm_and_si128(spread, select), select);
      __m128i* out = reinterpret_cast<__m128i*>(target + column * kSampleBytes);
      if (kSampleBytes == 1) {
        _mm_storeu_si128(out, _mm_xor_si128(back, _mm_and_si128(change, on)));
      } else {
        _mm_storeu_si128(out, _mm_xor_si128(back, _mm_and_si128(change, _mm_unpacklo_epi8(on, on))));
        _mm_storeu_si128(out + 1, _mm_xor_si128(back, _mm_and_si128(change, _mm_unpackhi_epi8(on, on))));
      }
    };
    for (int32_t column = 0; column < leftEnd; column += 16) paint16(column);
    for (int32_t column = rightStart & ~15; column < geometry.width; column += 16) paint16(column);
  }
#endif

  // For rows of every plane painted: 48 bytes of background pixels, a whole
  // number of pixels of any kind and of 16-byte units.
  alignas(16) uint8_t backgroundRun[48];

  void MakeBackgroundRun() {
    if (!kSolidRows) return;
    for (int32_t at = 0; at < 48; at += kPlanes * kSampleBytes)
      for (int p = 0; p < kColorPlanes; ++p) Store(backgroundRun + at + p * kSampleBytes, background[p]);
  }

  void FillBackground(uint8_t* out, int32_t from, int32_t to) const {
    if (kSampleBytes == 1) {
      if (to > from) FillBytes(out + from, static_cast<uint8_t>(background[0]), static_cast<size_t>(to - from));
    } else {
      for (int32_t x = from; x < to; ++x) Store(out + x * kSampleBytes, background[0]);
    }
  }

  void FillSolidRow(uint8_t* out) const {
    const size_t rowBytes = RowBytes();
    size_t filled = 0;
#if defined(__SSE2__)
    const __m128i* run = reinterpret_cast<const __m128i*>(backgroundRun);
    const __m128i first = _mm_load_si128(run), second = _mm_load_si128(run + 1), third = _mm_load_si128(run + 2);
    // The last row staged goes out 48 bytes at a time beside the filling,
    // in locals: a streamed store would hold up the reading of a field it
    // might overwrite.
    uint8_t* to = stream.to;
    const uint8_t* from = stream.from;
    size_t units = stream.units;
    for (; filled + 48 <= rowBytes; filled += 48) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + filled), first);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + filled + 16), second);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + filled + 32), third);
      if (kStreamed && units >= 3) {
        RowStream::StreamUnits(to, from, 3);
        units -= 3;
      }
    }
    stream.to = to;
    stream.from = from;
    stream.units = units;
#endif
    for (; filled < rowBytes; filled += std::min<size_t>(48, rowBytes - filled))
      std::memcpy(out + filled, backgroundRun, std::min<size_t>(48, rowBytes - filled));
  }

  // Pixels from..to - 1: the colour their marks give (the background when
  // there are none), the input in the planes not painted.
  void PaintPixels(uint8_t* out, const uint8_t* in, const uint64_t* rowMarks, int32_t from, int32_t to) const {
    const ptrdiff_t step = PixelBytes();
    for (int32_t x = from; x < to; ++x) {
      const bool marked = rowMarks != nullptr && (rowMarks[x / 64] >> (x % 64)) & 1;
      const Sample* colour = marked ? foreground : background;
      uint8_t* pixel = out + x * step;
      for (int p = 0; p < ColorPlanes(); ++p) Store(pixel + p * kSampleBytes, colour[p]);
      for (int p = ColorPlanes(); p < Count(); ++p)
        Store(pixel + p * kSampleBytes, PassThrough(Load<Sample>(in + x * step + p * kSampleBytes)));
    }
  }

  // The marked pixels of a row painted over its background.
  void PaintMarked(uint8_t* out, const uint64_t* rowMarks) const {
    const Sample fore[3] = {foreground[0], foreground[1], foreground[2]};
    const ptrdiff_t step = PixelBytes();
    for (size_t word = 0; word < MarkWords(geometry.width); ++word)
      for (uint64_t bits = rowMarks[word]; bits != 0; bits &= bits - 1) {
        uint8_t* pixel = out + static_cast<ptrdiff_t>(word * 64 + LowestBit(bits)) * step;
        for (int p = 0; p < ColorPlanes(); ++p) Store(pixel + p * kSampleBytes, fore[p]);
      }
  }

  // The pixels in the first `count` of `columns` painted over the background.
  void PaintListed(uint8_t* out, const uint16_t* columns, uint32_t count) const {
    const ptrdiff_t step = PixelBytes();
    for (uint32_t i = 0; i < count; ++i) PaintForeground(out + static_cast<ptrdiff_t>(columns[i]) * step);
  }

#if defined(__SSE2__)
  // A row that keeps its last plane from the input, 16 bytes (two to eight
  // whole pixels) at a time: the input with only that plane left (16-bit
  // samples capped as x - max(x - 32768, 0)), over the colours that the
  // pixels' marks pick from blockColours. Streamed where the output's pixels meet
  // 16-byte boundaries, as hosts' buffers do; written plainly where not.
  void PaintKeepingLastPlane(int32_t row, const uint64_t* rowMarks) const {
    constexpr int32_t kPixelBytes = kPlanes * kSampleBytes;
    constexpr int32_t kPerBlock = kBlockPixels;
    alignas(16) uint8_t kept[16] = {};
    for (int32_t x = 0; x < kPerBlock; ++x)
      std::memset(kept + x * kPixelBytes + kColorPlanes * kSampleBytes, 0xFF, kSampleBytes);
    const __m128i keptMask = _mm_load_si128(reinterpret_cast<const __m128i*>(kept));
    const __m128i ceiling = _mm_and_si128(_mm_set1_epi16(static_cast<int16_t>(0x8000)), keptMask);
    uint8_t* out = OutputPixel(geometry, row, 0);
    const uint8_t* in = InputPixel(geometry, row, 0);
    const int32_t width = geometry.width;
    const uintptr_t offset = reinterpret_cast<uintptr_t>(out) & 15;
    const bool streamed = offset % kPixelBytes == 0;
    const int32_t head = streamed ? std::min<int32_t>(width, static_cast<int32_t>((16 - offset) % 16 / kPixelBytes)) : 0;
    PaintPixels(out, in, rowMarks, 0, head);
    int32_t x = head;
    // One loop for each way of storing, chosen once a row.
    auto paintBlocks = [&](auto store) {
      auto paintBlock = [&](const uint8_t* from, uint8_t* to, uint32_t marks) {
        __m128i block = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)), keptMask);
        if (kSampleBytes == 2) block = _mm_sub_epi16(block, _mm_subs_epu16(block, ceiling));
        block = _mm_or_si128(block, _mm_load_si128(reinterpret_cast<const __m128i*>(blockColours[marks])));
        store(reinterpret_cast<__m128i*>(to), block);
      };
      // A register's width of marks is taken at once, then a block's worth
      // at a time. The parts are read by a pointer, the pixels by pointers to
      // a bound, all moving on by a part a turn (so the marks' shift within a
      // part stays the row's): the 32-bit build has few registers.
      constexpr uint32_t kBlockMarks = (1u << kPerBlock) - 1;
      constexpr int32_t kPartMarks = kMarkPartBits;
      constexpr ptrdiff_t kPartBytes = ptrdiff_t{kPartMarks} * kPixelBytes;
      const int32_t parts = (width - x) / kPartMarks;
      if (parts > 0) {
        const AliasedMarkPart* part = reinterpret_cast<const AliasedMarkPart*>(rowMarks) + x / kPartMarks;
        const unsigned shift = static_cast<unsigned>(x) % kPartMarks;
        const uint8_t* from = in + x * kPixelBytes;
        uint8_t* to = out + x * kPixelBytes;
        uint8_t* const end = to + parts * kPartBytes;
        for (; to != end; ++part, from += kPartBytes, to += kPartBytes) {
          const MarkPart marks = PartMarks(part, shift);
          for (int32_t half = 0; half < kPartMarks; half += 32) {  // 32 at a time, the faster either way
            uint32_t bits = static_cast<uint32_t>(marks >> half);
            for (int32_t block = 0; block < 32; block += kPerBlock, bits >>= kPerBlock)
              paintBlock(from + (half + block) * kPixelBytes, to + (half + block) * kPixelBytes, bits & kBlockMarks);
          }
        }
        x += parts * kPartMarks;
      }
      for (; x + kPerBlock <= width; x += kPerBlock)
        paintBlock(in + x * kPixelBytes, out + x * kPixelBytes,
                   static_cast<uint32_t>(MarksAt(rowMarks, x)) & kBlockMarks);
    };
    if (!streamed)
      paintBlocks([](__m128i* to, __m128i block) { _mm_storeu_si128(to, block); });
    else if (pastCache)
      paintBlocks([](__m128i* to, __m128i block) { _mm_stream_si128(to, block); });
    else
      paintBlocks([](__m128i* to, __m128i block) { _mm_store_si128(to, block); });
    PaintPixels(out, in, rowMarks, x, width);
  }
#endif

  // A row is painted in three steps: BeginRow gives the place where its
  // pixels are painted (the staging row, the output row itself, or none
  // when the row is made from its marks alone, which are set from the table
  // directly), PaintPixel paints its foreground pixels, and EndRow paints the
  // marked ones, writes the row out and clears its marks.
  static constexpr bool kFromMarks = kKeepsLastPlane && kStreamed;

  // Where the row's pixels are painted: a staging row (the other one than
  // the last row's) at the output row's place within a cache line, or the
  // output row.
  uint8_t* RowTarget(int32_t row) const {
    uint8_t* out = OutputPixel(geometry, row, 0);
    if (staging == nullptr) return out;
    const size_t turn = kWheelRuns ? 0 : static_cast<size_t>(row & 1);
    return staging + turn * stagingStride + (reinterpret_cast<uintptr_t>(out) & 63);
  }

  uint8_t* BeginRow(int32_t row) const {
    if (kFromMarks) return nullptr;
    uint8_t* target = RowTarget(row);
    if (kSolidRows)
      FillSolidRow(target);
    else
      PaintPixels(target, InputPixel(geometry, row, 0), nullptr, 0, geometry.width);
    return target;
  }

  void PaintPixel(uint8_t* target, uint32_t column) const {
    PaintForeground(target + static_cast<ptrdiff_t>(column) * PixelBytes());
  }

  // `marked`: whether anything marked pixels of this row (rows made from
  // their marks always are); a row of the normal layout painted in place
  // has none to paint or clear.
  void EndRow(int32_t row, uint8_t* target, uint64_t* rowMarks, bool marked) const {
#if defined(__SSE2__)
    if constexpr (kFromMarks) PaintKeepingLastPlane(row, rowMarks);
#endif
    if (!kFromMarks) {
      if (marked) PaintMarked(target, rowMarks);
      if (staging != nullptr) {
        stream.Start(OutputPixel(geometry, row, 0), target, RowBytes());
        // Gray rows are copied from wheel runs, with nothing to stream beside.
        if (kWheelRuns) stream.Drain();
      }
    }
    if (kFromMarks || marked) std::memset(rowMarks, 0, MarkWords(geometry.width) * sizeof(uint64_t));
  }

  void PaintForeground(uint8_t* pixel) const {
    for (int p = 0; p < ColorPlanes(); ++p) Store(pixel + p * kSampleBytes, foreground[p]);
  }

  void CopyRow(int32_t row) const {
    uint8_t* out = OutputPixel(geometry, row, 0);
    const uint8_t* in = InputPixel(geometry, row, 0);
    if (kSampleBytes == 1 && kPlanes > 0) {
      std::memcpy(out, in, RowBytes());
      return;
    }
    const ptrdiff_t step = PixelBytes();
    for (int32_t x = 0; x < geometry.width; ++x, in += step, out += step)
      for (int p = 0; p < Count(); ++p)
        Store(out + p * kSampleBytes, PassThrough(Load<Sample>(in + p * kSampleBytes)));
  }
};

// Row by row: the pixel at (row, column) has the number row W + column + shift.
template <typename Painter>
void PaintNormal(const Painter& painter, const PrimeTable& primes, uint16_t shift, int32_t top, int32_t bottom,
                 uint64_t* marks) {
  const uint32_t width = static_cast<uint32_t>(painter.geometry.width);
  for (int32_t row = top; row < bottom; ++row) {
    const uint32_t first = static_cast<uint32_t>(row) * width + shift;
    uint8_t* target;
    if constexpr (Painter::kWheelRuns) {
      target = painter.RowTarget(row);
      painter.template PaintWheelRun<false>(target, primes, first, width);
    } else if constexpr (Painter::kFromMarks) {
      target = nullptr;
      OrPrimeBits(primes, first, width, false, marks, 0);
    } else {
      target = painter.BeginRow(row);
      ForEachPrime(primes, first, first + width, [&](uint32_t n) { painter.PaintPixel(target, n - first); });
    }
    painter.EndRow(row, target, marks, false);
  }
}

// The row's stretch of its own ring: left to right along the top side,
// right to left along the bottom side (the middle row of an odd height
// counts as top).
template <typename Painter>
void PaintRingRun(const Painter& painter, const Spiral& spiral, const PrimeTable& primes, int32_t row,
                  uint8_t* target, uint64_t* rowMarks) {
  const int32_t ring = spiral.RingOf(row);
  if (ring > spiral.width - 1 - ring) return;  // only ring sides in this row
  const uint32_t w = static_cast<uint32_t>(spiral.width - 2 * ring);
  const uint32_t h = static_cast<uint32_t>(spiral.height - 2 * ring);
  const uint32_t start = spiral.shift + spiral.RingStart(ring);
  const uint32_t column = static_cast<uint32_t>(ring);
  const uint32_t atFirst = row == ring ? start : start + 2 * (w - 1) + (h - 1);  // the number in the run's first column
  if constexpr (Painter::kWheelRuns) {
    uint8_t* out = target + static_cast<ptrdiff_t>(column) * painter.PixelBytes();
    if (row == ring)
      painter.template PaintWheelRun<false>(out, primes, atFirst, w);
    else
      painter.template PaintWheelRun<true>(out, primes, atFirst, w);
  } else if constexpr (Painter::kFromMarks) {
    OrPrimeBits(primes, atFirst, w, row != ring, rowMarks, column);
  } else if (row == ring) {
    ForEachPrime(primes, start, start + w, [&](uint32_t n) { painter.PaintPixel(target, column + (n - start)); });
  } else {
    ForEachPrime(primes, atFirst - (w - 1), atFirst + 1,
                 [&](uint32_t n) { painter.PaintPixel(target, column + (atFirst - n)); });
  }
}

// The strips of 64 bytes' worth of side columns, kStripRows rows each.
constexpr int32_t kStripRows = 128;
constexpr int32_t kStripSlack = 32;  // samples before and after a strip's rows
constexpr uint64_t kSideStripsBytes = uint64_t{kStripRows + 2 * kStripSlack} * 64;

#if defined(__SSE2__)
// Gray spirals written through the cache. A ring side is a run of
// consecutive numbers down its column, so the side columns are painted from
// the wheel runs into strips, a column each, and turned into rows a tile of
// 16 bytes by 16 rows at a time. The rows' own runs are painted from the
// wheel runs in place, as in the normal layout.
template <typename Painter>
void PaintGraySpiralRows(const Painter& painter, const Spiral& spiral, const PrimeTable& primes, int32_t top,
                         int32_t bottom, uint8_t* strips) {
  constexpr ptrdiff_t kSampleBytes = Painter::kSampleBytes;
  constexpr int32_t kTile = 16 / kSampleBytes;
  constexpr ptrdiff_t kStripBytes = (kStripRows + 2 * kStripSlack) * kSampleBytes;
  // `count` numbers from `first` up (or down) at `at`, a whole wheel run at
  // a time: the runs' pixels before and after them fall in the strip's
  // slack, or in rows of the strip that are never written out.
  auto paintStrip = [&](uint8_t* at, uint32_t first, uint32_t count, bool descending) {
    if ((descending ? first - (count - 1) : first) < 6) {  // the primes off the wheel
      if (descending)
        painter.template PaintWheelRun<true>(at, primes, first, count);
      else
        painter.template PaintWheelRun<false>(at, primes, first, count);
      return;
    }
    uint32_t byte = first / 30;
    const uint32_t within = first - 30 * byte;
    const uint8_t* const end = at + count * kSampleBytes;
    const auto& runs = painter.wheelRuns[descending ? 1 : 0];
    uint8_t* out = at - (descending ? 29 - within : within) * kSampleBytes;
    if (descending)
      for (; out < end; out += 30 * kSampleBytes, --byte) std::memcpy(out, runs[primes.bytes[byte]], sizeof runs[0]);
    else
      for (; out < end; out += 30 * kSampleBytes, ++byte) std::memcpy(out, runs[primes.bytes[byte]], sizeof runs[0]);
  };
  const PlotGeometry& geometry = painter.geometry;
  const int32_t reach = std::min(bottom - 1, spiral.height - 1 - top);  // rings whose sides cross the rows
  // The sides of rings first .. first + kGroup - 1, a tile of kTile
  // columns at a time. Strip i holds the column of ring first + i on the
  // left, of ring first + kGroup - 1 - i on the right, so that the pixels
  // run left to right either way; a group's tiles fill 64 bytes of a row.
  constexpr int32_t kGroup = 64 / kSampleBytes;
  auto paintTiles = [&](bool left, int32_t sides) {
    for (int32_t first = 0; first < sides; first += kGroup) {
      for (int32_t i = 0; i < kGroup; ++i) {
        const int32_t ring = left ? first + i : first + kGroup - 1 - i;
        const int32_t from = std::max(top, ring + 1), to = std::min(bottom, spiral.height - 1 - ring);
        if (ring >= sides || from >= to) continue;  // the strip's rows are left as they are and never written out
        uint8_t* strip = strips + i * kStripBytes + (kStripSlack + from - top) * kSampleBytes;
        const uint32_t count = static_cast<uint32_t>(to - from);
        const uint32_t atFrom = left ? spiral.LeftBase(ring) - static_cast<uint32_t>(from)
                                     : spiral.RightBase(ring) + static_cast<uint32_t>(from);
        paintStrip(strip, atFrom, count, left);
      }
      for (int32_t tileTop = top; tileTop < bottom; tileTop += kTile)
        for (int32_t t = 0; t < kGroup / kTile; ++t) {
          // The tile's lowest ring, in its first column on the left, its last on the right.
          const int32_t tileRing = first + (left ? t : kGroup / kTile - 1 - t) * kTile;
          if (tileRing >= sides) continue;
          __m128i tile[kTile];
          const uint8_t* column = strips + t * kTile * kStripBytes + (kStripSlack + tileTop - top) * kSampleBytes;
          for (int32_t i = 0; i < kTile; ++i)
            tile[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(column + i * kStripBytes));
          TransposeTile<kSampleBytes>(tile);
          // Rows meet fewer rings the nearer they lie to the top or bottom.
          const int32_t rows = std::min(kTile, bottom - tileTop);
          const int32_t fewest =
              std::min(std::min(spiral.RingOf(tileTop), spiral.RingOf(tileTop + rows - 1)), sides) - tileRing;
          if (rows == kTile && fewest >= kTile) {
            uint8_t* at = OutputPixel(geometry, tileTop, left ? tileRing : spiral.width - tileRing - kTile);
            for (int32_t j = 0; j < kTile; ++j, at += geometry.outputRowBytes)
              _mm_storeu_si128(reinterpret_cast<__m128i*>(at), tile[j]);
            continue;
          }
          for (int32_t j = 0; j < rows; ++j) {
            // The row meets the sides of this many of the tile's rings.
            const int32_t met = std::min(std::min(spiral.RingOf(tileTop + j), sides) - tileRing, kTile);
            if (met <= 0) continue;
            alignas(16) uint8_t pixels[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(pixels), tile[j]);
            uint8_t* row = OutputPixel(geometry, tileTop + j, 0);
            if (left)
              CopyBytes(row + tileRing * kSampleBytes, pixels, static_cast<size_t>(met * kSampleBytes));
            else
              CopyBytes(row + (spiral.width - tileRing - met) * kSampleBytes, pixels + (kTile - met) * kSampleBytes,
                          static_cast<size_t>(met * kSampleBytes));
          }
        }
    }
  };
  // The rows first, their sides in the background: the tiles then fill
  // lines already in the cache, piece by piece.
  for (int32_t row = top; row < bottom; ++row) {
    uint8_t* target = OutputPixel(geometry, row, 0);
    const int32_t ring = spiral.RingOf(row);
    const int32_t run = ring <= spiral.width - 1 - ring ? spiral.width - 2 * ring : 0;
    painter.FillBackground(target, 0, (spiral.width - run) / 2);
    PaintRingRun(painter, spiral, primes, row, target, nullptr);
    painter.FillBackground(target, (spiral.width + run) / 2, spiral.width);
  }
  paintTiles(true, std::min(spiral.width / 2, reach));
  paintTiles(false, std::min((spiral.width + 1) / 2, reach));
}

// A few rows at a time: the lines their tiles fill stay in the nearest caches.
template <typename Painter>
void PaintGraySpiral(const Painter& painter, const Spiral& spiral, const PrimeTable& primes, int32_t top,
                     int32_t bottom, uint8_t* strips) {
  for (int32_t rows = top; rows < bottom; rows += kStripRows)
    PaintGraySpiralRows(painter, spiral, primes, rows, std::min(bottom, rows + kStripRows), strips);
}
#endif

template <typename Painter>
void PaintSpiral(const Painter& painter, const PrimeTable& primes, uint16_t shift, int32_t top, int32_t bottom,
                 const SideMarks& sides) {
  const Spiral spiral = {painter.geometry.width, painter.geometry.height, shift};
  const size_t words = MarkWords(spiral.width);
  if constexpr (Painter::kWheelRuns && kStreamed) {
    // Gray rows written through the cache: in place, the sides in tiles.
    if (!painter.pastCache) {
      PaintGraySpiral(painter, spiral, primes, top, bottom, reinterpret_cast<uint8_t*>(sides.marks));
      return;
    }
    // Streamed past it: built in the staging row, the sides from their
    // marks, then the ring's own run.
    MarkRingSideColumns(spiral, primes, top, bottom, sides.marks);
    for (int32_t row = top; row < bottom; ++row) {
      uint64_t* rowMarks = sides.marks + static_cast<size_t>(row - top) * words;
      uint8_t* target = painter.RowTarget(row);
      const int32_t ring = spiral.RingOf(row);
      const bool run = ring <= spiral.width - 1 - ring;
      const int32_t leftEnd = run ? ring : spiral.width, rightStart = run ? spiral.width - ring : spiral.width;
      painter.PaintSideMarks(target, rowMarks, leftEnd, rightStart);
      PaintRingRun(painter, spiral, primes, row, target, rowMarks);
      painter.EndRow(row, target, rowMarks, false);
      // Only the sides' words were marked.
      std::memset(rowMarks, 0, (static_cast<size_t>(leftEnd) + 63) / 64 * sizeof(uint64_t));
      const size_t rightWord = static_cast<size_t>(rightStart) / 64;
      std::memset(rowMarks + rightWord, 0, (words - rightWord) * sizeof(uint64_t));
    }
    return;
  }
  // Lists come with an RGB staging row; rows made from their marks take marks.
  const bool lists = sides.counts != nullptr;
  if (lists)
    MarkRingSides<true>(spiral, primes, top, bottom, sides);
  else
#if defined(__SSE2__)
    MarkRingSideColumns(spiral, primes, top, bottom, sides.marks);
#else
    MarkRingSides<false>(spiral, primes, top, bottom, sides);
#endif
  for (int32_t row = top; row < bottom; ++row) {
    uint64_t* rowMarks = sides.marks + static_cast<size_t>(row - top) * words;
    uint8_t* target = painter.BeginRow(row);
    PaintRingRun(painter, spiral, primes, row, target, rowMarks);
    bool marked = true;
    if (lists) {
      uint32_t& count = sides.counts[row - top];
      painter.PaintListed(target, sides.lists + static_cast<size_t>(row - top) * sides.capacity,
                          std::min(count, sides.capacity));
      marked = count > sides.capacity;
      count = 0;
    }
    painter.EndRow(row, target, rowMarks, marked);
  }
}

// The planes of a pixel fit one of the common kinds (1 .. 4 planes, all of
// them written, the usual colour planes), or 0 for the general case.
int PaintKind(const PlotGeometry& geometry) {
  // The specialisations hold when every plane is copied: no more than eight.
  const bool allPlanes = geometry.pixelBytes == ptrdiff_t{geometry.count} * geometry.bytesPerSample;
  const bool usualColours = geometry.colorPlanes == (geometry.count <= 2 ? 1 : 3);
  return allPlanes && usualColours && geometry.count <= 4 ? geometry.count : 0;
}

// Rows of every plane painted are built in a staging row, then streamed.
bool StagesRows(const PlotGeometry& geometry) {
  const int kind = PaintKind(geometry);
  return kStreamed && (kind == 1 || kind == 3);
}

// RGB rows built in a staging row list the spiral's side pixels of each
// row; gray ones take them from their marks, 16 pixels at a time, or, when
// written through the cache, from tiles.
bool ListsSides(const PlotGeometry& geometry) { return StagesRows(geometry) && PaintKind(geometry) == 3; }

// Rows that keep their transparency plane are made from their marks.
bool RowsFromMarks(const PlotGeometry& geometry) {
  const int kind = PaintKind(geometry);
  return kStreamed && (kind == 2 || kind == 4);
}

// Gray spirals written through the cache take their sides in strips and
// tiles (PaintSpiral), not marks.
bool SidesInStrips(const PlotGeometry& geometry, bool pastCache) {
  return kStreamed && !pastCache && PaintKind(geometry) == 1;
}

uint64_t MarkBytes(const PlotGeometry& geometry) {
  // Whole lines (256 rows), and a line for the spare word; gray spirals
  // take the space for their side strips.
  return std::max((uint64_t{kBandRows} * MarkWords(geometry.width) + 8) * sizeof(uint64_t), kSideStripsBytes);
}

// Parts of the scratch keep their successors, and the next lane's scratch,
// on 64-byte boundaries.
uint64_t WholeLines(uint64_t bytes) { return (bytes + 63) / 64 * 64; }

// A staging row, placed up to 63 bytes into a block aligned to 64 bytes.
uint64_t StagingRowBytes(const PlotGeometry& geometry) {
  return WholeLines(uint64_t(geometry.pixelBytes) * uint64_t(geometry.width) + 128);
}

// Two of them for RGB rows: one is streamed out while the next row is
// painted in the other.
uint64_t StagingBytes(const PlotGeometry& geometry) {
  return (PaintKind(geometry) == 3 ? 2 : 1) * StagingRowBytes(geometry);
}

// The spiral's side lists of a band: counts, then the columns.
uint64_t SideListBytes(const PlotGeometry& geometry) {
  return WholeLines(uint64_t{kBandRows} *
                    (sizeof(uint32_t) + uint64_t{SideListCapacity(geometry.width)} * sizeof(uint16_t)));
}

struct PaintScratch {
  uint8_t* staging;  // aligned to 64 bytes; null when rows are painted in place
  SideMarks sides;   // lists only beside an RGB staging row
};

PaintScratch ScratchOf(const PlotGeometry& geometry, uint8_t* scratch) {
  PaintScratch parts = {nullptr, {reinterpret_cast<uint64_t*>(scratch), nullptr, nullptr, 0}};
  if (StagesRows(geometry)) {
    uint8_t* after = scratch + MarkBytes(geometry);
    parts.staging = after + ((64 - (reinterpret_cast<uintptr_t>(after) & 63)) & 63);
  }
  if (ListsSides(geometry)) {
    uint8_t* lists = scratch + MarkBytes(geometry) + StagingBytes(geometry);
    parts.sides.counts = reinterpret_cast<uint32_t*>(lists);
    parts.sides.lists = reinterpret_cast<uint16_t*>(lists + kBandRows * sizeof(uint32_t));
    parts.sides.capacity = SideListCapacity(geometry.width);
  }
  return parts;
}

template <typename Sample, int kPlanes>
void PaintRowsAs(const PlotGeometry& geometry, const PaintSamples& samples, const PrimeTable& primes,
                 int16_t layout, uint16_t shift, int32_t top, int32_t bottom, const PaintScratch& scratch,
                 bool pastCache) {
  // Rows written through the cache are painted in the output itself: a
  // staging row would only add a copy.
  Painter<Sample, kPlanes> painter = {geometry,  {}, {}, pastCache ? scratch.staging : nullptr,
                                      static_cast<size_t>(StagingRowBytes(geometry)), pastCache, {}, {}, {}, {}};
  for (int p = 0; p < 3; ++p) {
    painter.foreground[p] = static_cast<Sample>(samples.foreground[p]);
    painter.background[p] = static_cast<Sample>(samples.background[p]);
  }
  painter.MakeBlockColours();
  painter.MakeBackgroundRun();
  if (layout == plotLayoutNormal || layout == plotLayoutSpiral) painter.MakeWheelRuns();
  switch (layout) {
    case plotLayoutNormal: PaintNormal(painter, primes, shift, top, bottom, scratch.sides.marks); break;
    case plotLayoutSpiral: PaintSpiral(painter, primes, shift, top, bottom, scratch.sides); break;
    default:
      for (int32_t row = top; row < bottom; ++row) painter.CopyRow(row);
      break;
  }
  painter.stream.Drain();
}

template <typename Sample>
void PaintRowsOf(const PlotGeometry& geometry, const PaintSamples& samples, const PrimeTable& primes,
                 int16_t layout, uint16_t shift, int32_t top, int32_t bottom, const PaintScratch& scratch,
                 bool pastCache) {
  switch (PaintKind(geometry)) {
    case 1: PaintRowsAs<Sample, 1>(geometry, samples, primes, layout, shift, top, bottom, scratch, pastCache); break;
    case 2: PaintRowsAs<Sample, 2>(geometry, samples, primes, layout, shift, top, bottom, scratch, pastCache); break;
    case 3: PaintRowsAs<Sample, 3>(geometry, samples, primes, layout, shift, top, bottom, scratch, pastCache); break;
    case 4: PaintRowsAs<Sample, 4>(geometry, samples, primes, layout, shift, top, bottom, scratch, pastCache); break;
    default: PaintRowsAs<Sample, 0>(geometry, samples, primes, layout, shift, top, bottom, scratch, pastCache); break;
  }
}

}  // namespace

PaintSamples SamplesFor(const PlotColor& foreground, const PlotColor& background, int bytesPerSample) {
  uint16_t (*quantise)(double) = bytesPerSample == 2 ? Quantise<32768> : Quantise<255>;
  return {{quantise(foreground.red), quantise(foreground.green), quantise(foreground.blue)},
          {quantise(background.red), quantise(background.green), quantise(background.blue)}};
}

uint64_t PaintScratchBytes(const PlotGeometry& geometry) {
  return MarkBytes(geometry) + (StagesRows(geometry) ? StagingBytes(geometry) : 0) +
         (ListsSides(geometry) ? SideListBytes(geometry) : 0);
}

void PreparePaintScratch(const PlotGeometry& geometry, int16_t layout, bool pastCache, uint8_t* scratch) {
  const bool spiral = layout == plotLayoutSpiral;
  // Side strips are written before they are read.
  const bool marks =
      spiral ? !SidesInStrips(geometry, pastCache) : layout == plotLayoutNormal && RowsFromMarks(geometry);
  if (marks)
    std::memset(scratch, 0, static_cast<size_t>(MarkBytes(geometry)));
  const PaintScratch parts = ScratchOf(geometry, scratch);
  if (spiral && parts.sides.counts != nullptr) std::memset(parts.sides.counts, 0, kBandRows * sizeof(uint32_t));
}

void PaintBand(const PlotGeometry& geometry, const PaintSamples& samples, const PrimeTable& primes,
               int16_t layout, uint16_t shift, int32_t band, uint8_t* scratch, bool pastCache) {
  const int32_t top = band * kBandRows;
  const int32_t bottom = std::min(geometry.height, top + kBandRows);
  const PaintScratch parts = ScratchOf(geometry, scratch);
  if (geometry.bytesPerSample == 2)
    PaintRowsOf<uint16_t>(geometry, samples, primes, layout, shift, top, bottom, parts, pastCache);
  else
    PaintRowsOf<uint8_t>(geometry, samples, primes, layout, shift, top, bottom, parts, pastCache);
  FinishStreaming();
}
