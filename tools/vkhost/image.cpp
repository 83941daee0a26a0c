// The in-memory document and its sample arithmetic.
#include <cassert>
#include <cstring>

#include "tools/vkhost/host.h"

namespace {

int32_t MaxSample(const HostImage& image) { return image.depth == 16 ? kHostSampleMax16 : 255; }

// value * numerator / denominator, rounded to nearest.
uint16_t Rescale(uint64_t value, uint64_t numerator, uint64_t denominator) {
  return static_cast<uint16_t>((2 * value * numerator + denominator) / (2 * denominator));
}

size_t SampleOffset(const HostImage& image, int32_t x, int32_t y, int32_t plane) {
  assert(x >= 0 && x < image.width && y >= 0 && y < image.height && plane >= 0 && plane < ImagePlanes(image));
  return static_cast<size_t>(y) * ImageRowBytes(image) +
         static_cast<size_t>((x * ImagePlanes(image) + plane) * ImageBytesPerSample(image));
}

}  // namespace

bool MakeImage(HostImage* image, int32_t width, int32_t height, int32_t colorPlanes, bool hasAlpha,
               int32_t depth) {
  if (colorPlanes != 1 && colorPlanes != 3) return false;
  if (depth != 8 && depth != 16) return false;
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) return false;
  image->width = width;
  image->height = height;
  image->colorPlanes = colorPlanes;
  image->hasAlpha = hasAlpha;
  image->depth = depth;
  image->pixels.assign(static_cast<size_t>(ImageRowBytes(*image)) * height, 0);
  return true;
}

int32_t ImagePlanes(const HostImage& image) { return image.colorPlanes + (image.hasAlpha ? 1 : 0); }

int32_t ImageBytesPerSample(const HostImage& image) { return image.depth == 16 ? 2 : 1; }

int32_t ImageRowBytes(const HostImage& image) {
  return image.width * ImagePlanes(image) * ImageBytesPerSample(image);
}

int16_t ImageModeOf(const HostImage& image) {
  if (image.colorPlanes == 1) return image.depth == 16 ? plugInModeGray16 : plugInModeGrayScale;
  return image.depth == 16 ? plugInModeRGB48 : plugInModeRGBColor;
}

uint16_t GetSample(const HostImage& image, int32_t x, int32_t y, int32_t plane) {
  const uint8_t* p = image.pixels.data() + SampleOffset(image, x, y, plane);
  if (image.depth == 8) return *p;
  uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

void SetSample(HostImage* image, int32_t x, int32_t y, int32_t plane, uint16_t value) {
  uint8_t* p = image->pixels.data() + SampleOffset(*image, x, y, plane);
  if (image->depth == 8) {
    *p = static_cast<uint8_t>(value);
  } else {
    std::memcpy(p, &value, sizeof value);
  }
}

void FillGradient(HostImage* image) {
  const uint32_t top = static_cast<uint32_t>(MaxSample(*image));
  const uint32_t w = static_cast<uint32_t>(image->width > 1 ? image->width - 1 : 1);
  const uint32_t h = static_cast<uint32_t>(image->height > 1 ? image->height - 1 : 1);
  for (int32_t y = 0; y < image->height; ++y) {
    for (int32_t x = 0; x < image->width; ++x) {
      const uint32_t ux = static_cast<uint32_t>(x), uy = static_cast<uint32_t>(y);
      if (image->colorPlanes == 1) {
        SetSample(image, x, y, 0, Rescale(uint64_t(ux) * h + uint64_t(uy) * w, top, 2 * uint64_t(w) * h));
      } else {
        SetSample(image, x, y, 0, Rescale(ux, top, w));
        SetSample(image, x, y, 1, Rescale(uy, top, h));
        SetSample(image, x, y, 2, Rescale(w - ux, top, w));
      }
      if (image->hasAlpha) SetSample(image, x, y, image->colorPlanes, Rescale(2 * w - ux, top, 2 * w));
    }
  }
}

HostImage ConvertDepth(const HostImage& image, int32_t depth) {
  HostImage converted;
  if (!MakeImage(&converted, image.width, image.height, image.colorPlanes, image.hasAlpha, depth)) return converted;
  const uint32_t from = static_cast<uint32_t>(MaxSample(image));
  const uint32_t to = static_cast<uint32_t>(MaxSample(converted));
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      for (int32_t p = 0; p < ImagePlanes(image); ++p) {
        uint32_t value = GetSample(image, x, y, p);
        if (value > from) value = from;
        SetSample(&converted, x, y, p, Rescale(value, to, from));
      }
    }
  }
  return converted;
}

uint16_t HostSampleFrom16(uint16_t fileSample) { return Rescale(fileSample, kHostSampleMax16, 65535); }

uint16_t FileSampleFrom16(uint16_t hostSample) {
  uint32_t value = hostSample > kHostSampleMax16 ? kHostSampleMax16 : hostSample;
  return Rescale(value, 65535, kHostSampleMax16);
}
