#include <algorithm>
#include <cstring>

#include "engine/engine_memory.h"
#include "tests/native/reference/plane_buffers.h"

namespace {

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
void ReadRows(const PlotGeometry& layout, PlaneBuffers* buffers) {
  Normaliser normaliser;
  PrepareNormaliser(&normaliser);
  const int count = kPlanes > 0 ? kPlanes : layout.count;
  const ptrdiff_t pixelBytes = kPlanes > 0 ? kPlanes * ptrdiff_t{sizeof(Sample)} : layout.pixelBytes;
  float* planes[kMaxPlaneBuffers];
  std::copy(buffers->plane, buffers->plane + kMaxPlaneBuffers, planes);
  size_t index = 0;
  for (int32_t y = 0; y < layout.height; ++y) {
    const uint8_t* pixel = layout.input + y * layout.inputRowBytes;
    for (int32_t x = 0; x < layout.width; ++x, ++index, pixel += pixelBytes) {
      for (int p = 0; p < count; ++p)
        planes[p][index] = Normalise(normaliser, LoadSample<Sample>(pixel + p * sizeof(Sample)));
    }
  }
}

template <typename Sample, int kCeiling, int kPlanes>
void WriteRows(const PlotGeometry& layout, const PlaneBuffers& buffers) {
  const int count = kPlanes > 0 ? kPlanes : layout.count;
  const ptrdiff_t pixelBytes = kPlanes > 0 ? kPlanes * ptrdiff_t{sizeof(Sample)} : layout.pixelBytes;
  const float* planes[kMaxPlaneBuffers];
  std::copy(buffers.plane, buffers.plane + kMaxPlaneBuffers, planes);
  size_t index = 0;
  for (int32_t y = 0; y < layout.height; ++y) {
    uint8_t* pixel = layout.output + y * layout.outputRowBytes;
    for (int32_t x = 0; x < layout.width; ++x, ++index, pixel += pixelBytes) {
      for (int p = 0; p < count; ++p)
        StoreSample(pixel + p * sizeof(Sample), static_cast<Sample>(Quantise<kCeiling>(planes[p][index])));
    }
  }
}

// The specialisations hold when every plane is copied: no more than eight.
int SpecialisedPlaneCount(const PlotGeometry& layout) {
  return layout.pixelBytes == ptrdiff_t{layout.count} * layout.bytesPerSample ? layout.count : 0;
}

template <typename Sample>
void ReadSamples(const PlotGeometry& layout, PlaneBuffers* buffers) {
  switch (SpecialisedPlaneCount(layout)) {
    case 1: ReadRows<Sample, 1>(layout, buffers); break;
    case 2: ReadRows<Sample, 2>(layout, buffers); break;
    case 3: ReadRows<Sample, 3>(layout, buffers); break;
    case 4: ReadRows<Sample, 4>(layout, buffers); break;
    default: ReadRows<Sample, 0>(layout, buffers); break;
  }
}

template <typename Sample, int kCeiling>
void WriteSamples(const PlotGeometry& layout, const PlaneBuffers& buffers) {
  switch (SpecialisedPlaneCount(layout)) {
    case 1: WriteRows<Sample, kCeiling, 1>(layout, buffers); break;
    case 2: WriteRows<Sample, kCeiling, 2>(layout, buffers); break;
    case 3: WriteRows<Sample, kCeiling, 3>(layout, buffers); break;
    case 4: WriteRows<Sample, kCeiling, 4>(layout, buffers); break;
    default: WriteRows<Sample, kCeiling, 0>(layout, buffers); break;
  }
}

}  // namespace

OSErr AllocatePlaneBuffers(const PlotGeometry& layout, PlaneBuffers* buffers) {
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

void ReadPlanes(const PlotGeometry& layout, PlaneBuffers* buffers) {
  if (layout.bytesPerSample == 2)
    ReadSamples<uint16_t>(layout, buffers);
  else
    ReadSamples<uint8_t>(layout, buffers);
}

void WritePlanes(const PlotGeometry& layout, const PlaneBuffers& buffers) {
  if (layout.bytesPerSample == 2)
    WriteSamples<uint16_t, 32768>(layout, buffers);
  else
    WriteSamples<uint8_t, 255>(layout, buffers);
}
