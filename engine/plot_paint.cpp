#include "engine/plot_paint.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

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

// Writes pixels of one kind of image. kPlanes is the plane count of the
// common images (gray, gray with transparency, RGB, RGB with transparency),
// which lets the compiler unroll a pixel's planes; 0 takes the count at run
// time.
template <typename Sample, int kPlanes>
struct Painter {
  static constexpr int kColorPlanes = kPlanes == 1 || kPlanes == 2 ? 1 : 3;
  // Every plane painted: a background row is one pixel repeated.
  static constexpr bool kSolidRows = kPlanes == 1 || kPlanes == 3;
  static constexpr ptrdiff_t kSampleBytes = sizeof(Sample);

  const PlotGeometry& geometry;
  Sample foreground[3];
  Sample background[3];

  int Count() const { return kPlanes > 0 ? kPlanes : geometry.count; }
  // A gray image with extra channels takes the general case, whose colour
  // planes come from the geometry.
  int ColorPlanes() const { return kPlanes > 0 ? kColorPlanes : geometry.colorPlanes; }
  ptrdiff_t PixelBytes() const { return kPlanes > 0 ? kPlanes * kSampleBytes : geometry.pixelBytes; }

  void FillSolidRow(uint8_t* out) const {
    for (int p = 0; p < ColorPlanes(); ++p) Store(out + p * kSampleBytes, background[p]);
    const size_t rowBytes = static_cast<size_t>(PixelBytes()) * static_cast<size_t>(geometry.width);
    for (size_t filled = static_cast<size_t>(PixelBytes()); filled < rowBytes;) {
      const size_t run = std::min(filled, rowBytes - filled);
      std::memcpy(out + filled, out, run);
      filled += run;
    }
  }

  void FillPixels(uint8_t* out, const uint8_t* in, int32_t pixels) const {
    const ptrdiff_t step = PixelBytes();
    for (int32_t x = 0; x < pixels; ++x, in += step, out += step) {
      for (int p = 0; p < ColorPlanes(); ++p) Store(out + p * kSampleBytes, background[p]);
      for (int p = ColorPlanes(); p < Count(); ++p)
        Store(out + p * kSampleBytes, PassThrough(Load<Sample>(in + p * kSampleBytes)));
    }
  }

#if defined(__SSE2__)
  // Gray or RGB with transparency: 16 bytes at a time, the last plane kept
  // from the input (16-bit samples capped as x - max(x - 32768, 0)), the
  // colour planes set.
  int32_t FillWithTransparency(uint8_t* out, const uint8_t* in, int32_t pixels) const {
    constexpr int32_t kPixelBytes = kPlanes * kSampleBytes;
    constexpr int32_t kPixelsPerBlock = 16 / kPixelBytes;
    alignas(16) uint8_t colour[16] = {};
    alignas(16) uint8_t kept[16] = {};
    for (int32_t x = 0; x < kPixelsPerBlock; ++x) {
      for (int p = 0; p < kColorPlanes; ++p) Store(colour + x * kPixelBytes + p * kSampleBytes, background[p]);
      std::memset(kept + x * kPixelBytes + kColorPlanes * kSampleBytes, 0xFF, kSampleBytes);
    }
    const __m128i colourBlock = _mm_load_si128(reinterpret_cast<const __m128i*>(colour));
    const __m128i keptMask = _mm_load_si128(reinterpret_cast<const __m128i*>(kept));
    const __m128i ceiling = _mm_and_si128(_mm_set1_epi16(static_cast<int16_t>(0x8000)), keptMask);
    int32_t done = 0;
    for (; done + kPixelsPerBlock <= pixels; done += kPixelsPerBlock, in += 16, out += 16) {
      __m128i block = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), keptMask);
      if (kSampleBytes == 2) block = _mm_sub_epi16(block, _mm_subs_epu16(block, ceiling));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(block, colourBlock));
    }
    return done;
  }
#endif

  // The background in the colour planes, the input in the others.
  void FillRow(int32_t row) const {
    uint8_t* out = OutputPixel(geometry, row, 0);
    if (kSolidRows) return FillSolidRow(out);
    const uint8_t* in = InputPixel(geometry, row, 0);
    int32_t done = 0;
#if defined(__SSE2__)
    if constexpr (kPlanes == 2 || kPlanes == 4) done = FillWithTransparency(out, in, geometry.width);
#endif
    FillPixels(out + done * PixelBytes(), in + done * PixelBytes(), geometry.width - done);
  }

  void CopyRow(int32_t row) const {
    uint8_t* out = OutputPixel(geometry, row, 0);
    const uint8_t* in = InputPixel(geometry, row, 0);
    if (kSampleBytes == 1 && kPlanes > 0) {
      std::memcpy(out, in, static_cast<size_t>(PixelBytes()) * static_cast<size_t>(geometry.width));
      return;
    }
    const ptrdiff_t step = PixelBytes();
    for (int32_t x = 0; x < geometry.width; ++x, in += step, out += step)
      for (int p = 0; p < Count(); ++p)
        Store(out + p * kSampleBytes, PassThrough(Load<Sample>(in + p * kSampleBytes)));
  }

  void PaintForeground(uint8_t* pixel) const {
    for (int p = 0; p < ColorPlanes(); ++p) Store(pixel + p * kSampleBytes, foreground[p]);
  }
};

// Row by row: the pixel at (row, column) has the number row W + column + shift.
template <typename Sample, int kPlanes>
void PaintNormal(const Painter<Sample, kPlanes>& painter, const PrimeTable& primes, uint16_t shift) {
  const PlotGeometry& geometry = painter.geometry;
  const uint32_t width = static_cast<uint32_t>(geometry.width);
  const ptrdiff_t pixelBytes = painter.PixelBytes();
  for (int32_t row = 0; row < geometry.height; ++row) {
    painter.FillRow(row);
    uint8_t* rowStart = OutputPixel(geometry, row, 0);
    const uint32_t first = static_cast<uint32_t>(row) * width + shift;
    ForEachPrime(primes, first, first + width,
                 [&](uint32_t n) { painter.PaintForeground(rowStart + (n - first) * pixelBytes); });
  }
}

// ---- The spiral, a band of rows at a time ----
//
// Ring r is the border of the rectangle with r pixels cut from every side.
// A row meets its own ring's top or bottom side, a run of consecutive
// numbers, and the left and right sides of the rings outside it, one pixel
// each. Down a ring side the numbers are consecutive too, so a band of rows
// is painted a row run at a time and then a side column at a time, and
// every lookup reads a stretch of the prime table, not a single number.

constexpr int32_t kBandRows = 64;

struct Spiral {
  int32_t width;
  int32_t height;
  uint32_t shift;

  // Pixels in the rings outside ring r: W H - (W - 2r)(H - 2r).
  uint32_t RingStart(int32_t ring) const {
    const int64_t inner = int64_t{width - 2 * ring} * (height - 2 * ring);
    return static_cast<uint32_t>(int64_t{width} * height - inner);
  }
};

// The row's stretch of its own ring: left to right along the top side,
// right to left along the bottom side (the middle row of an odd height
// counts as top).
template <typename Sample, int kPlanes>
void PaintRingRun(const Painter<Sample, kPlanes>& painter, const PrimeTable& primes, const Spiral& spiral,
                  int32_t row) {
  const int32_t ring = std::min(row, spiral.height - 1 - row);
  if (ring > spiral.width - 1 - ring) return;  // only ring sides in this row
  const uint32_t w = static_cast<uint32_t>(spiral.width - 2 * ring);
  const uint32_t h = static_cast<uint32_t>(spiral.height - 2 * ring);
  const uint32_t start = spiral.shift + spiral.RingStart(ring);
  uint8_t* first = OutputPixel(painter.geometry, row, ring);
  const ptrdiff_t pixelBytes = painter.PixelBytes();
  if (row == ring) {
    ForEachPrime(primes, start, start + w,
                 [&](uint32_t n) { painter.PaintForeground(first + (n - start) * pixelBytes); });
  } else {
    const uint32_t atFirst = start + 2 * (w - 1) + (h - 1);
    ForEachPrime(primes, atFirst - (w - 1), atFirst + 1,
                 [&](uint32_t n) { painter.PaintForeground(first + (atFirst - n) * pixelBytes); });
  }
}

// The ring sides that cross rows top .. bottom - 1: the left side of ring r
// lies in column r and counts down the rows, the right side in column
// W - 1 - r and counts up. Each covers the rows strictly between its ring's
// top and bottom sides. The middle column of an odd width is a right side.
template <typename Sample, int kPlanes>
void PaintRingSides(const Painter<Sample, kPlanes>& painter, const PrimeTable& primes, const Spiral& spiral,
                    int32_t top, int32_t bottom) {
  const PlotGeometry& geometry = painter.geometry;
  const int32_t reach = std::min(bottom - 1, spiral.height - 1 - top);  // rings that cross the band
  // The number in row y of the left side is LeftBase(r) - y, of the right side RightBase(r) + y.
  auto leftBase = [&](int32_t ring) {
    return spiral.shift + spiral.RingStart(ring) + 2 * static_cast<uint32_t>(spiral.width - 2 * ring - 1) +
           2 * static_cast<uint32_t>(spiral.height - 2 * ring - 1) + static_cast<uint32_t>(ring);
  };
  auto rightBase = [&](int32_t ring) {
    return spiral.shift + spiral.RingStart(ring) + static_cast<uint32_t>(spiral.width - 2 * ring - 1) -
           static_cast<uint32_t>(ring);
  };
  // Each side reads its own stretch of the table, far from the next side's:
  // the stretches a few sides on are fetched ahead.
  constexpr int32_t kAhead = 8;
  const int32_t leftSides = std::min(spiral.width / 2, reach);
  for (int32_t ring = 0; ring < leftSides; ++ring) {
    if (ring + kAhead < leftSides) __builtin_prefetch(primes.bytes + (leftBase(ring + kAhead) - top) / 30);
    const int32_t from = std::max(top, ring + 1), to = std::min(bottom, spiral.height - 1 - ring);
    if (from >= to) continue;
    const uint32_t base = leftBase(ring);
    ForEachPrime(primes, base - static_cast<uint32_t>(to - 1), base - static_cast<uint32_t>(from) + 1,
                 [&](uint32_t n) { painter.PaintForeground(OutputPixel(geometry, int32_t(base - n), ring)); });
  }
  const int32_t rightSides = std::min((spiral.width + 1) / 2, reach);
  for (int32_t ring = 0; ring < rightSides; ++ring) {
    if (ring + kAhead < rightSides) __builtin_prefetch(primes.bytes + (rightBase(ring + kAhead) + top) / 30);
    const int32_t from = std::max(top, ring + 1), to = std::min(bottom, spiral.height - 1 - ring);
    if (from >= to) continue;
    const uint32_t base = rightBase(ring);
    const int32_t column = spiral.width - 1 - ring;
    ForEachPrime(primes, base + static_cast<uint32_t>(from), base + static_cast<uint32_t>(to),
                 [&](uint32_t n) { painter.PaintForeground(OutputPixel(geometry, int32_t(n - base), column)); });
  }
}

template <typename Sample, int kPlanes>
void PaintSpiral(const Painter<Sample, kPlanes>& painter, const PrimeTable& primes, uint16_t shift) {
  const Spiral spiral = {painter.geometry.width, painter.geometry.height, shift};
  for (int32_t top = 0; top < spiral.height; top += kBandRows) {
    const int32_t bottom = std::min(spiral.height, top + kBandRows);
    for (int32_t row = top; row < bottom; ++row) {
      painter.FillRow(row);
      PaintRingRun(painter, primes, spiral, row);
    }
    PaintRingSides(painter, primes, spiral, top, bottom);
  }
}

template <typename Sample, int kPlanes>
void PaintAs(const PlotGeometry& geometry, const PaintSamples& samples, const PrimeTable& primes, int16_t layout,
             uint16_t shift) {
  Painter<Sample, kPlanes> painter = {geometry, {}, {}};
  for (int p = 0; p < 3; ++p) {
    painter.foreground[p] = static_cast<Sample>(samples.foreground[p]);
    painter.background[p] = static_cast<Sample>(samples.background[p]);
  }
  switch (layout) {
    case plotLayoutNormal: PaintNormal(painter, primes, shift); break;
    case plotLayoutSpiral: PaintSpiral(painter, primes, shift); break;
    default:
      for (int32_t row = 0; row < geometry.height; ++row) painter.CopyRow(row);
      break;
  }
}

template <typename Sample>
void PaintSamplesOf(const PlotGeometry& geometry, const PaintSamples& samples, const PrimeTable& primes,
                    int16_t layout, uint16_t shift) {
  // The specialisations hold when every plane is copied: no more than eight.
  const bool allPlanes = geometry.pixelBytes == ptrdiff_t{geometry.count} * geometry.bytesPerSample;
  const bool usualColours = geometry.colorPlanes == (geometry.count <= 2 ? 1 : 3);
  switch (allPlanes && usualColours ? geometry.count : 0) {
    case 1: PaintAs<Sample, 1>(geometry, samples, primes, layout, shift); break;
    case 2: PaintAs<Sample, 2>(geometry, samples, primes, layout, shift); break;
    case 3: PaintAs<Sample, 3>(geometry, samples, primes, layout, shift); break;
    case 4: PaintAs<Sample, 4>(geometry, samples, primes, layout, shift); break;
    default: PaintAs<Sample, 0>(geometry, samples, primes, layout, shift); break;
  }
}

}  // namespace

PaintSamples SamplesFor(const PlotColor& foreground, const PlotColor& background, int bytesPerSample) {
  uint16_t (*quantise)(double) = bytesPerSample == 2 ? Quantise<32768> : Quantise<255>;
  return {{quantise(foreground.red), quantise(foreground.green), quantise(foreground.blue)},
          {quantise(background.red), quantise(background.green), quantise(background.blue)}};
}

void PaintPlot(const PlotGeometry& geometry, const PaintSamples& samples, const PrimeTable& primes,
               int16_t layout, uint16_t shift) {
  if (geometry.bytesPerSample == 2)
    PaintSamplesOf<uint16_t>(geometry, samples, primes, layout, shift);
  else
    PaintSamplesOf<uint8_t>(geometry, samples, primes, layout, shift);
}
