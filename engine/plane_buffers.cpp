#include <algorithm>
#include <cstring>

#include "engine/engine_memory.h"
#include "engine/plane_buffers.h"

namespace {

int BytesPerSample(int16_t imageMode) {
  return imageMode == plugInModeGray16 || imageMode == plugInModeRGB48 ? 2 : 1;
}

// A buffer as the host delivered it.
struct DeliveredBuffer {
  void* data;
  int32_t rowBytes;
  int32_t columnBytes;
  Rect bounds;  // inRect or outRect: the buffer's size in pixels
};

// Finds the processing rectangle in `buffer`, in 64-bit arithmetic; false when
// any sample it would touch lies outside the delivered rows.
bool LocateRectangle(const DeliveredBuffer& buffer, const Rect& area, const PlaneLayout& layout,
                     HostPixels* pixels) {
  if (buffer.data == nullptr) return false;
  const int64_t rows = int64_t{buffer.bounds.bottom} - buffer.bounds.top;
  const int64_t columns = int64_t{buffer.bounds.right} - buffer.bounds.left;
  if (area.top < 0 || area.left < 0 || area.bottom > rows || area.right > columns) return false;
  // Hosts built for interfaces before 3.0 leave the column bytes at 0; every
  // host that fills them gives the size of one interleaved pixel.
  const int64_t columnBytes = buffer.columnBytes != 0 ? buffer.columnBytes : layout.pixelBytes;
  if (columnBytes < 0) return false;
  const int64_t rowLength = columns * columnBytes;
  // A row is entered `left` columns in, then stepped pixel by pixel.
  const int64_t rowStart = int64_t{area.left} * columnBytes;
  const int64_t touchedLength = rowStart + int64_t{layout.width - 1} * layout.pixelBytes +
                                int64_t{layout.count} * layout.bytesPerSample;
  if (buffer.rowBytes < rowLength || touchedLength > rowLength) return false;
  const int64_t topOffset = int64_t{area.top} * buffer.rowBytes;
  const int64_t extent = int64_t{area.bottom - 1} * buffer.rowBytes + touchedLength;
  if (extent > PTRDIFF_MAX) return false;
  pixels->origin = static_cast<uint8_t*>(buffer.data) + static_cast<ptrdiff_t>(topOffset + rowStart);
  pixels->rowBytes = buffer.rowBytes;
  return true;
}

template <typename Sample>
Sample LoadSample(const uint8_t* at) {
  Sample sample;
  std::memcpy(&sample, at, sizeof sample);
  return sample;
}

template <typename Sample>
void StoreSample(uint8_t* at, Sample sample) {
  std::memcpy(at, &sample, sizeof sample);
}

// 8-bit samples normalise through a table of s * (1/255), each rounded to
// float once; 16-bit ones by s / 32768, which is exact in float.
struct Normaliser {
  float byteValue[256];
};

void PrepareNormaliser(Normaliser* normaliser) {
  for (int sample = 0; sample < 256; ++sample)
    normaliser->byteValue[sample] = static_cast<float>(sample * (1.0 / 255.0));
}

inline float Normalise(const Normaliser& normaliser, uint8_t sample) { return normaliser.byteValue[sample]; }
inline float Normalise(const Normaliser&, uint16_t sample) { return sample * (1.0f / 32768.0f); }

// Rounds half away from zero and clamps: r = trunc(t + 0.5) for t >= 0, and
// every t < 0 gives 0 however it rounds. Written as one select so that the
// compiler can vectorise it.
template <int kCeiling>
inline int32_t Quantise(float value) {
  const double rounded = static_cast<double>(value) * kCeiling + 0.5;
  return rounded < 0.0 ? 0 : rounded >= kCeiling + 1 ? kCeiling : static_cast<int32_t>(rounded);
}

// The copies below are specialised on the plane count of the common images
// (gray, gray with transparency, RGB, RGB with transparency), which lets the
// compiler unroll the planes of a pixel; kPlanes 0 takes the count at run time.
template <typename Sample, int kPlanes>
void ReadRows(const PlaneLayout& layout, PlaneBuffers* buffers) {
  Normaliser normaliser;
  PrepareNormaliser(&normaliser);
  const int count = kPlanes > 0 ? kPlanes : layout.count;
  const ptrdiff_t pixelBytes = kPlanes > 0 ? kPlanes * ptrdiff_t{sizeof(Sample)} : layout.pixelBytes;
  float* planes[kMaxPlaneBuffers];
  std::copy(buffers->plane, buffers->plane + kMaxPlaneBuffers, planes);
  size_t index = 0;
  for (int32_t y = 0; y < layout.height; ++y) {
    const uint8_t* pixel = layout.input.origin + y * layout.input.rowBytes;
    for (int32_t x = 0; x < layout.width; ++x, ++index, pixel += pixelBytes) {
      for (int p = 0; p < count; ++p)
        planes[p][index] = Normalise(normaliser, LoadSample<Sample>(pixel + p * sizeof(Sample)));
    }
  }
}

template <typename Sample, int kCeiling, int kPlanes>
void WriteRows(const PlaneLayout& layout, const PlaneBuffers& buffers) {
  const int count = kPlanes > 0 ? kPlanes : layout.count;
  const ptrdiff_t pixelBytes = kPlanes > 0 ? kPlanes * ptrdiff_t{sizeof(Sample)} : layout.pixelBytes;
  const float* planes[kMaxPlaneBuffers];
  std::copy(buffers.plane, buffers.plane + kMaxPlaneBuffers, planes);
  size_t index = 0;
  for (int32_t y = 0; y < layout.height; ++y) {
    uint8_t* pixel = layout.output.origin + y * layout.output.rowBytes;
    for (int32_t x = 0; x < layout.width; ++x, ++index, pixel += pixelBytes) {
      for (int p = 0; p < count; ++p)
        StoreSample(pixel + p * sizeof(Sample), static_cast<Sample>(Quantise<kCeiling>(planes[p][index])));
    }
  }
}

// The specialisations hold when every plane is copied: no more than eight.
int SpecialisedPlaneCount(const PlaneLayout& layout) {
  return layout.pixelBytes == ptrdiff_t{layout.count} * layout.bytesPerSample ? layout.count : 0;
}

template <typename Sample>
void ReadSamples(const PlaneLayout& layout, PlaneBuffers* buffers) {
  switch (SpecialisedPlaneCount(layout)) {
    case 1: ReadRows<Sample, 1>(layout, buffers); break;
    case 2: ReadRows<Sample, 2>(layout, buffers); break;
    case 3: ReadRows<Sample, 3>(layout, buffers); break;
    case 4: ReadRows<Sample, 4>(layout, buffers); break;
    default: ReadRows<Sample, 0>(layout, buffers); break;
  }
}

template <typename Sample, int kCeiling>
void WriteSamples(const PlaneLayout& layout, const PlaneBuffers& buffers) {
  switch (SpecialisedPlaneCount(layout)) {
    case 1: WriteRows<Sample, kCeiling, 1>(layout, buffers); break;
    case 2: WriteRows<Sample, kCeiling, 2>(layout, buffers); break;
    case 3: WriteRows<Sample, kCeiling, 3>(layout, buffers); break;
    case 4: WriteRows<Sample, kCeiling, 4>(layout, buffers); break;
    default: WriteRows<Sample, kCeiling, 0>(layout, buffers); break;
  }
}

}  // namespace

OSErr DescribePlanes(const FilterGlobals* globals, PlaneLayout* layout) {
  const FilterRecord* record = globals->filterRecord;
  const Rect& area = globals->processRect;
  layout->width = int32_t{area.right} - area.left;
  layout->height = int32_t{area.bottom} - area.top;
  if (layout->width <= 0 || layout->height <= 0 || record->planes < 1) return filterBadParameters;
  layout->bytesPerSample = BytesPerSample(record->imageMode);
  layout->pixelBytes = ptrdiff_t{record->planes} * layout->bytesPerSample;
  layout->count = std::min<int>(record->planes, kMaxPlaneBuffers);
  // A colour has three components: grayscale takes red, RGB all three, and
  // planes beyond (transparency, extra channels) are never painted. A gray
  // image may carry extra channels too, so its mode decides, not the count.
  const bool gray = record->imageMode == plugInModeGrayScale || record->imageMode == plugInModeGray16;
  layout->colorPlanes = gray || record->planes <= 2 ? 1 : 3;
  const DeliveredBuffer input = {record->inData, record->inRowBytes, record->inColumnBytes, record->inRect};
  const DeliveredBuffer output = {record->outData, record->outRowBytes, record->outColumnBytes,
                                  record->outRect};
  if (!LocateRectangle(input, area, *layout, &layout->input) ||
      !LocateRectangle(output, area, *layout, &layout->output))
    return filterBadParameters;
  return noErr;
}

OSErr AllocatePlaneBuffers(const PlaneLayout& layout, PlaneBuffers* buffers) {
  std::fill(buffers->plane, buffers->plane + kMaxPlaneBuffers, nullptr);
  buffers->count = layout.count;
  buffers->colorPlanes = layout.colorPlanes;
  const uint64_t bytes = uint64_t{sizeof(float)} * static_cast<uint64_t>(layout.width) *
                         static_cast<uint64_t>(layout.height);
  for (int p = 0; p < layout.count; ++p) {
    buffers->plane[p] = static_cast<float*>(AllocateEngineMemory(bytes, false));
    if (buffers->plane[p] == nullptr) {
      ReleasePlaneBuffers(buffers);
      return memFullErr;
    }
  }
  return noErr;
}

void ReleasePlaneBuffers(PlaneBuffers* buffers) {
  for (float*& plane : buffers->plane) {
    ReleaseEngineMemory(plane);
    plane = nullptr;
  }
}

void ReadPlanes(const PlaneLayout& layout, PlaneBuffers* buffers) {
  if (layout.bytesPerSample == 2)
    ReadSamples<uint16_t>(layout, buffers);
  else
    ReadSamples<uint8_t>(layout, buffers);
}

void WritePlanes(const PlaneLayout& layout, const PlaneBuffers& buffers) {
  if (layout.bytesPerSample == 2)
    WriteSamples<uint16_t, 32768>(layout, buffers);
  else
    WriteSamples<uint8_t, 255>(layout, buffers);
}
