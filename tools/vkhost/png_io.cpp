// PNG files through Windows Imaging Component; the codec is the system's.
#include <windows.h>
#include <initguid.h>
#include <wincodec.h>

#include <cstdio>
#include <cstring>

#include "tools/vkhost/host_internal.h"
#include "tools/vkhost/wic_support.h"

namespace {

bool Fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

uint16_t Swap16(uint16_t value) { return static_cast<uint16_t>(value >> 8 | value << 8); }

// A pixel layout we exchange with WIC, and the image shape it carries.
struct WicShape {
  const GUID* format;
  int32_t bytesPerPixel;
  int32_t colorPlanes;
  bool hasAlpha;
  int32_t depth;
};

const WicShape kGray8 = {&GUID_WICPixelFormat8bppGray, 1, 1, false, 8};
const WicShape kGray16 = {&GUID_WICPixelFormat16bppGray, 2, 1, false, 16};
const WicShape kGrayAlpha8 = {&GUID_WICPixelFormat32bppBGRA, 4, 1, true, 8};
const WicShape kGrayAlpha16 = {&GUID_WICPixelFormat64bppRGBA, 8, 1, true, 16};
const WicShape kBgr8 = {&GUID_WICPixelFormat24bppBGR, 3, 3, false, 8};
const WicShape kRgb16 = {&GUID_WICPixelFormat48bppRGB, 6, 3, false, 16};
const WicShape kBgra8 = {&GUID_WICPixelFormat32bppBGRA, 4, 3, true, 8};
const WicShape kRgba16 = {&GUID_WICPixelFormat64bppRGBA, 8, 3, true, 16};

// The PNG header's colour type and bit depth; WIC reports gray+alpha as RGBA,
// so only the header tells them apart. -1 for a file that is not a PNG.
int PngColourType(const char* path, int* bitDepth) {
  FILE* file = _wfopen(WidePath(path).c_str(), L"rb");
  if (file == nullptr) return -1;
  uint8_t header[26];
  size_t read = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (read != sizeof header || std::memcmp(header, signature, 8) != 0 || std::memcmp(header + 12, "IHDR", 4) != 0)
    return -1;
  *bitDepth = header[24];
  return header[25];
}

// Palette and foreign files come in as BGRA; the alpha is dropped again when opaque.
WicShape ShapeForFile(int colourType, int bitDepth) {
  bool deep = bitDepth == 16;
  switch (colourType) {
    case 0: return deep ? kGray16 : kGray8;
    case 2: return deep ? kRgb16 : kBgr8;
    case 4: return deep ? kGrayAlpha16 : kGrayAlpha8;
    case 6: return deep ? kRgba16 : kBgra8;
    default: return kBgra8;
  }
}

WicShape ShapeForImage(const HostImage& image) {
  bool deep = image.depth == 16;
  if (image.colorPlanes == 1) {
    if (image.hasAlpha) return deep ? kGrayAlpha16 : kGrayAlpha8;
    return deep ? kGray16 : kGray8;
  }
  if (image.hasAlpha) return deep ? kRgba16 : kBgra8;
  return deep ? kRgb16 : kBgr8;
}

// WIC sample index of image plane `plane` in a pixel of `shape`.
int32_t WicChannel(const WicShape& shape, int32_t plane) {
  bool bgr = shape.depth == 8 && shape.bytesPerPixel >= 3;
  if (shape.colorPlanes == 1 && shape.hasAlpha) return plane == 0 ? (bgr ? 2 : 0) : 3;
  if (bgr && plane < 3) return 2 - plane;
  return plane;
}

// 16-bit samples between the file's 0..65535 and the host's 0..32768, by table.
std::vector<uint16_t> HostSamplesFromFile() {
  std::vector<uint16_t> table(65536);
  for (uint32_t value = 0; value < 65536; ++value) table[value] = HostSampleFrom16(static_cast<uint16_t>(value));
  return table;
}

std::vector<uint16_t> FileSamplesFromHost() {
  std::vector<uint16_t> table(65536);
  for (uint32_t value = 0; value < 65536; ++value) table[value] = FileSampleFrom16(static_cast<uint16_t>(value));
  return table;
}

// The WIC channel of each image plane, and for gray with transparency the
// other two colour channels, which carry the gray value as well.
struct ChannelMap {
  int32_t planes;
  int32_t channel[4];
  bool grayAsRgb;
};

ChannelMap MapChannels(const HostImage& image, const WicShape& shape) {
  ChannelMap map = {ImagePlanes(image), {0, 0, 0, 0}, shape.colorPlanes == 1 && shape.hasAlpha};
  for (int32_t p = 0; p < map.planes; ++p) map.channel[p] = WicChannel(shape, p);
  return map;
}

// Row by row, pixel by pixel, with the channel order worked out once.
void CopyFromWic(const std::vector<uint8_t>& pixels, const WicShape& shape, bool swap, HostImage* image) {
  const ChannelMap map = MapChannels(*image, shape);
  const std::vector<uint16_t> rescale = shape.depth == 16 ? HostSamplesFromFile() : std::vector<uint16_t>();
  const size_t stride = static_cast<size_t>(image->width) * shape.bytesPerPixel;
  for (int32_t y = 0; y < image->height; ++y) {
    const uint8_t* pixel = pixels.data() + static_cast<size_t>(y) * stride;
    uint8_t* to = image->pixels.data() + static_cast<size_t>(y) * ImageRowBytes(*image);
    for (int32_t x = 0; x < image->width; ++x, pixel += shape.bytesPerPixel) {
      for (int32_t p = 0; p < map.planes; ++p) {
        if (shape.depth == 8) {
          *to++ = pixel[map.channel[p]];
          continue;
        }
        uint16_t value;
        std::memcpy(&value, pixel + 2 * map.channel[p], sizeof value);
        value = rescale[swap ? Swap16(value) : value];
        std::memcpy(to, &value, sizeof value);
        to += sizeof value;
      }
    }
  }
}

std::vector<uint8_t> CopyToWic(const HostImage& image, const WicShape& shape, bool swap) {
  const ChannelMap map = MapChannels(image, shape);
  const std::vector<uint16_t> rescale = shape.depth == 16 ? FileSamplesFromHost() : std::vector<uint16_t>();
  const size_t stride = static_cast<size_t>(image.width) * shape.bytesPerPixel;
  std::vector<uint8_t> pixels(stride * static_cast<size_t>(image.height));
  for (int32_t y = 0; y < image.height; ++y) {
    uint8_t* pixel = pixels.data() + static_cast<size_t>(y) * stride;
    const uint8_t* from = image.pixels.data() + static_cast<size_t>(y) * ImageRowBytes(image);
    for (int32_t x = 0; x < image.width; ++x, pixel += shape.bytesPerPixel) {
      for (int32_t p = 0; p < map.planes; ++p) {
        // Gray with transparency travels as RGBA with equal colours.
        const int32_t channels = map.grayAsRgb && p == 0 ? 3 : 1;
        if (shape.depth == 8) {
          for (int32_t c = 0; c < channels; ++c) pixel[channels == 3 ? c : map.channel[p]] = *from;
          ++from;
          continue;
        }
        uint16_t value;
        std::memcpy(&value, from, sizeof value);
        from += sizeof value;
        value = rescale[value];
        if (swap) value = Swap16(value);
        for (int32_t c = 0; c < channels; ++c) std::memcpy(pixel + 2 * (channels == 3 ? c : map.channel[p]), &value, sizeof value);
      }
    }
  }
  return pixels;
}

bool AllOpaque(const HostImage& image) {
  for (int32_t y = 0; y < image.height; ++y)
    for (int32_t x = 0; x < image.width; ++x)
      if (GetSample(image, x, y, image.colorPlanes) != 255) return false;
  return true;
}

HostImage WithoutAlpha(const HostImage& image) {
  HostImage opaque;
  MakeImage(&opaque, image.width, image.height, image.colorPlanes, false, image.depth);
  for (int32_t y = 0; y < image.height; ++y)
    for (int32_t x = 0; x < image.width; ++x)
      for (int32_t p = 0; p < image.colorPlanes; ++p) SetSample(&opaque, x, y, p, GetSample(image, x, y, p));
  return opaque;
}

// Decodes frame 0 of `decoder` converted to `shape`'s WIC format.
bool DecodePixels(IWICImagingFactory* factory, IWICBitmapDecoder* decoder, const WicShape& shape, UINT* width,
                  UINT* height, std::vector<uint8_t>* pixels, std::string* error) {
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* converter = nullptr;
  WICPixelFormatGUID frameFormat = GUID_WICPixelFormatUndefined;
  HRESULT hr = decoder->GetFrame(0, &frame);
  if (SUCCEEDED(hr)) hr = frame->GetSize(width, height);
  if (SUCCEEDED(hr)) hr = frame->GetPixelFormat(&frameFormat);
  // Converters need not handle a format into itself (wine's refuses 16-bit ones).
  IWICBitmapSource* source = frame;
  if (SUCCEEDED(hr) && !IsEqualGUID(frameFormat, *shape.format)) {
    hr = factory->CreateFormatConverter(&converter);
    if (SUCCEEDED(hr))
      hr = converter->Initialize(frame, *shape.format, WICBitmapDitherTypeNone, nullptr, 0.0,
                                 WICBitmapPaletteTypeCustom);
    source = converter;
  }
  if (SUCCEEDED(hr) && (*width < 1 || *height < 1 || *width > kMaxImageSide || *height > kMaxImageSide))
    hr = E_INVALIDARG;
  if (SUCCEEDED(hr)) {
    UINT stride = *width * static_cast<UINT>(shape.bytesPerPixel);
    pixels->resize(static_cast<size_t>(stride) * *height);
    hr = source->CopyPixels(nullptr, stride, static_cast<UINT>(pixels->size()), pixels->data());
  }
  Release(&converter);
  Release(&frame);
  if (hr == E_INVALIDARG) return Fail(error, "image size outside 1..30000 or unreadable frame");
  if (FAILED(hr)) return Fail(error, HresultText("decoding", hr));
  return true;
}

bool EncodePixels(IWICImagingFactory* factory, const wchar_t* path, const HostImage& image, std::string* error) {
  const WicShape shape = ShapeForImage(image);
  std::vector<uint8_t> pixels = CopyToWic(image, shape, Measure16BitOrder(factory).swapOnWrite);
  IWICStream* stream = nullptr;
  IWICBitmapEncoder* encoder = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  IPropertyBag2* properties = nullptr;
  WICPixelFormatGUID format = *shape.format;
  HRESULT hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path, GENERIC_WRITE);
  if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
  if (SUCCEEDED(hr)) hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, &properties);
  if (SUCCEEDED(hr)) hr = frame->Initialize(properties);
  if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height));
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  bool formatKept = SUCCEEDED(hr) && IsEqualGUID(format, *shape.format);
  if (formatKept) {
    UINT stride = static_cast<UINT>(image.width * shape.bytesPerPixel);
    hr = frame->WritePixels(static_cast<UINT>(image.height), stride, static_cast<UINT>(pixels.size()), pixels.data());
  }
  if (formatKept && SUCCEEDED(hr)) hr = frame->Commit();
  if (formatKept && SUCCEEDED(hr)) hr = encoder->Commit();
  Release(&properties);
  Release(&frame);
  Release(&encoder);
  Release(&stream);
  if (FAILED(hr)) return Fail(error, HresultText("encoding", hr));
  if (!formatKept) return Fail(error, "the PNG encoder does not take this pixel format");
  return true;
}

}  // namespace

bool ReadPng(const char* path, HostImage* image, std::string* error) {
  IWICImagingFactory* factory = WicFactory(error);
  if (factory == nullptr) return false;
  int bitDepth = 8;
  const int colourType = PngColourType(path, &bitDepth);
  WicShape shape = ShapeForFile(colourType, bitDepth);
  IWICBitmapDecoder* decoder = nullptr;
  HRESULT hr = factory->CreateDecoderFromFilename(WidePath(path).c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, &decoder);
  if (FAILED(hr)) return Fail(error, std::string("cannot read ") + path + ": " + HresultText("opening", hr));
  UINT width = 0, height = 0;
  std::vector<uint8_t> pixels;
  std::string reason;
  bool decoded = DecodePixels(factory, decoder, shape, &width, &height, &pixels, &reason);
  if (!decoded && shape.depth == 8) {
    // Converters cover fewer targets than sources (wine's has no 1-bit gray to
    // 8-bit gray): go through BGRA, which every converter offers.
    shape = shape.colorPlanes == 1 ? kGrayAlpha8 : kBgra8;
    decoded = DecodePixels(factory, decoder, shape, &width, &height, &pixels, &reason);
  }
  Release(&decoder);
  if (!decoded) return Fail(error, std::string("cannot read ") + path + ": " + reason);
  MakeImage(image, static_cast<int32_t>(width), static_cast<int32_t>(height), shape.colorPlanes, shape.hasAlpha,
            shape.depth);
  CopyFromWic(pixels, shape, Measure16BitOrder(factory).swapOnRead, image);
  if (colourType != 4 && colourType != 6 && image->hasAlpha && AllOpaque(*image)) *image = WithoutAlpha(*image);
  return true;
}

bool WritePng(const char* path, const HostImage& image, std::string* error) {
  if (image.pixels.size() != static_cast<size_t>(ImageRowBytes(image)) * static_cast<size_t>(image.height) ||
      image.width < 1 || image.height < 1)
    return Fail(error, std::string("cannot write ") + path + ": the image is empty or inconsistent");
  IWICImagingFactory* factory = WicFactory(error);
  if (factory == nullptr) return false;
  std::string reason;
  if (!EncodePixels(factory, WidePath(path).c_str(), image, &reason))
    return Fail(error, std::string("cannot write ") + path + ": " + reason);
  return true;
}
