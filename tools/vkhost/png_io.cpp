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

// What a PNG's header says, read before any decoding so that a file that is
// not a PNG, or one too large for this host, is refused in words.
struct PngHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 8;
  int colourType = -1;
  bool interlaced = false;
};

uint32_t BigEndian32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

bool ReadHeader(const char* path, PngHeader* header, std::string* error) {
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(error, ErrorWords(GetLastError()));
  uint8_t bytes[29] = {};
  DWORD read = 0;
  const BOOL readOk = ReadFile(file, bytes, sizeof bytes, &read, nullptr);
  CloseHandle(file);
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!readOk) return Fail(error, ErrorWords(GetLastError()));
  if (read < 8 || std::memcmp(bytes, signature, 8) != 0) return Fail(error, "not a PNG file");
  if (read < sizeof bytes || std::memcmp(bytes + 12, "IHDR", 4) != 0)
    return Fail(error, "the PNG file is truncated or damaged (no complete header)");
  header->width = BigEndian32(bytes + 16);
  header->height = BigEndian32(bytes + 20);
  header->bitDepth = bytes[24];
  header->colourType = bytes[25];
  header->interlaced = bytes[28] != 0;
  const std::string size = std::to_string(header->width) + "x" + std::to_string(header->height) + " pixels";
  if (header->width < 1 || header->height < 1 || header->width > uint32_t(kMaxImageSide) ||
      header->height > uint32_t(kMaxImageSide))
    return Fail(error, size + " is too large for this host (at most " + std::to_string(kMaxImageSide) +
                           " pixels a side)");
  // The decoder's copy, ours, and at 16 bits the file's samples: about three
  // times the picture, which a 32-bit host may not have room for.
  const uint64_t picture = uint64_t(header->width) * header->height * 4 * (header->bitDepth == 16 ? 2 : 1);
  MEMORYSTATUSEX memory = {};
  memory.dwLength = sizeof memory;
  if (GlobalMemoryStatusEx(&memory)) {
    const uint64_t room = memory.ullAvailVirtual < memory.ullAvailPageFile ? memory.ullAvailVirtual : memory.ullAvailPageFile;
    if (3 * picture > room)
      return Fail(error, size + " need about " + std::to_string(3 * picture >> 20) + " MB, more than this host has free (" +
                             std::to_string(room >> 20) + " MB)" + (sizeof(void*) == 4 ? "; the 64-bit vkhost has more room" : ""));
  }
  return true;
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

// The WIC channel of each image plane.
struct ChannelMap {
  int32_t planes;
  int32_t channel[4];
};

ChannelMap MapChannels(const HostImage& image, const WicShape& shape) {
  ChannelMap map = {ImagePlanes(image), {0, 0, 0, 0}};
  for (int32_t p = 0; p < map.planes; ++p) map.channel[p] = WicChannel(shape, p);
  return map;
}

// The decoder's view of the file: every read counts towards the progress
// shown, and after an interrupt the next read fails, which ends the decoding
// wherever it is.
struct WatchedStream : public IStream {
  IStream* inner;
  ULONG references = 1;
  uint64_t size;
  uint64_t read = 0;
  const PngProgress* progress;

  WatchedStream(IStream* stream, uint64_t bytes, const PngProgress* report)
      : inner(stream), size(bytes), progress(report) {}
  virtual ~WatchedStream() { inner->Release(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_ISequentialStream) || IsEqualIID(id, IID_IStream)) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* done) override {
    if (Interrupted()) return E_ABORT;
    ULONG got = 0;
    HRESULT hr = inner->Read(buffer, count, &got);
    if (done != nullptr) *done = got;
    read += got;
    if (progress->hook != nullptr && size > 0)
      progress->hook(static_cast<int32_t>((read > size ? size : read) * 1000 / size), 1000, progress->context);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* done) override {
    return inner->Write(buffer, count, done);
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    return inner->Seek(move, origin, position);
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) override { return inner->SetSize(newSize); }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream* to, ULARGE_INTEGER count, ULARGE_INTEGER* readCount,
                                   ULARGE_INTEGER* written) override {
    return inner->CopyTo(to, count, readCount, written);
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override { return inner->Commit(flags); }
  HRESULT STDMETHODCALLTYPE Revert() override { return inner->Revert(); }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override {
    return inner->LockRegion(offset, count, type);
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override {
    return inner->UnlockRegion(offset, count, type);
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override { return inner->Stat(stat, flags); }
  HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override { return inner->Clone(copy); }
};

// Rows per band handed between WIC and the image: a few megabytes.
int32_t BandRows(int32_t width, int32_t bytesPerPixel) {
  const int64_t rowBytes = int64_t(width) * bytesPerPixel;
  const int64_t rows = (int64_t(4) << 20) / (rowBytes > 0 ? rowBytes : 1);
  return static_cast<int32_t>(rows < 1 ? 1 : rows);
}

// Rows y0 .. y0 + rows of the image from WIC's pixels, the channel order
// worked out once. 16-bit samples also keep their file value.
void CopyFromWic(const std::vector<uint8_t>& pixels, const WicShape& shape, bool swap,
                 const std::vector<uint16_t>& rescale, int32_t y0, int32_t rows, HostImage* image) {
  const ChannelMap map = MapChannels(*image, shape);
  const size_t stride = static_cast<size_t>(image->width) * shape.bytesPerPixel;
  for (int32_t y = y0; y < y0 + rows; ++y) {
    const uint8_t* pixel = pixels.data() + static_cast<size_t>(y - y0) * stride;
    uint8_t* to = image->pixels.data() + static_cast<size_t>(y) * ImageRowBytes(*image);
    uint16_t* kept = shape.depth == 16 ? image->fileSamples.data() + (to - image->pixels.data()) / 2 : nullptr;
    for (int32_t x = 0; x < image->width; ++x, pixel += shape.bytesPerPixel) {
      for (int32_t p = 0; p < map.planes; ++p) {
        if (shape.depth == 8) {
          *to++ = pixel[map.channel[p]];
          continue;
        }
        uint16_t value;
        std::memcpy(&value, pixel + 2 * map.channel[p], sizeof value);
        if (swap) value = Swap16(value);
        *kept++ = value;
        value = rescale[value];
        std::memcpy(to, &value, sizeof value);
        to += sizeof value;
      }
    }
  }
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

// The header has been read by then: the file is a PNG, so whatever the
// decoder does not take is missing or damaged.
std::string DecodingFailure(HRESULT hr) {
  if (Interrupted()) return "interrupted";
  if (hr == E_OUTOFMEMORY) return "not enough memory to decode it";
  char code[40];
  std::snprintf(code, sizeof code, " (WIC error 0x%08lx)", static_cast<unsigned long>(hr));
  return std::string("the PNG file is truncated or damaged") + code;
}

// Decodes frame 0 of `decoder` into `image`, converted to `shape`'s WIC
// format, band by band.
bool DecodePixels(IWICImagingFactory* factory, IWICBitmapDecoder* decoder, const WicShape& shape,
                  HostImage* image, std::string* error) {
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* converter = nullptr;
  WICPixelFormatGUID frameFormat = GUID_WICPixelFormatUndefined;
  UINT width = 0, height = 0;
  HRESULT hr = decoder->GetFrame(0, &frame);
  if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
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
  bool sized = SUCCEEDED(hr) && MakeImage(image, static_cast<int32_t>(width), static_cast<int32_t>(height),
                                          shape.colorPlanes, shape.hasAlpha, shape.depth);
  if (SUCCEEDED(hr) && !sized) hr = E_INVALIDARG;
  if (SUCCEEDED(hr)) {
    const bool swap = Measure16BitOrder(factory).swapOnRead;
    const std::vector<uint16_t> rescale = shape.depth == 16 ? HostSamplesFromFile() : std::vector<uint16_t>();
    if (shape.depth == 16) image->fileSamples.assign(image->pixels.size() / 2, 0);
    const UINT stride = width * static_cast<UINT>(shape.bytesPerPixel);
    const int32_t band = BandRows(image->width, shape.bytesPerPixel);
    std::vector<uint8_t> pixels;
    for (int32_t y = 0; y < image->height && SUCCEEDED(hr); y += band) {
      const int32_t rows = image->height - y < band ? image->height - y : band;
      if (Interrupted()) hr = E_ABORT;
      pixels.resize(static_cast<size_t>(stride) * rows);
      const WICRect rect = {0, y, image->width, rows};
      if (SUCCEEDED(hr)) hr = source->CopyPixels(&rect, stride, static_cast<UINT>(pixels.size()), pixels.data());
      if (SUCCEEDED(hr)) CopyFromWic(pixels, shape, swap, rescale, y, rows, image);
    }
  }
  Release(&converter);
  Release(&frame);
  if (hr == E_INVALIDARG) return Fail(error, "image size outside 1..30000 or unreadable frame");
  if (FAILED(hr)) return Fail(error, DecodingFailure(hr));
  return true;
}

// ---- Writing ----

// Gray with transparency has no format of its own among the encoder's, but
// its rows are byte for byte the rows of a format it has: 8-bit gray+alpha
// those of 16-bit gray, 16-bit gray+alpha those of 8-bit RGBA. The filters
// PNG applies work on whole pixels of the same size in both, so the encoded
// data is right as it stands and only the header's bit depth and colour type
// need saying again.
enum class Packing { Plain, GrayAlpha8AsGray16, GrayAlpha16AsBgra8 };

struct EncoderShape {
  WicShape shape;
  Packing packing;
};

EncoderShape EncoderShapeFor(const HostImage& image) {
  if (image.colorPlanes == 1 && image.hasAlpha)
    return image.depth == 16 ? EncoderShape{kBgra8, Packing::GrayAlpha16AsBgra8}
                             : EncoderShape{kGray16, Packing::GrayAlpha8AsGray16};
  return {ShapeForImage(image), Packing::Plain};
}

// File samples of one plane that a sample inside the painted rectangle takes
// when it holds their host value: the exact colours the user asked for.
struct PreferredSample {
  uint16_t host;
  uint16_t file;
};

// The file value of each 16-bit sample: what was read, where the host's
// sample still matches it; otherwise the nearest file value, or a colour
// the user gave that maps to the same host value.
struct FileSampleChooser {
  std::vector<uint16_t> fromHost = FileSamplesFromHost();
  std::vector<uint16_t> toHost = HostSamplesFromFile();
  std::vector<PreferredSample> preferred[3];
  Rect painted = {0, 0, 0, 0};
};

void PreferColors(const HostImage& image, const PngWriteOptions& options, FileSampleChooser* chooser) {
  chooser->painted = options.painted;
  for (const RGBColor& color : options.colors) {
    const uint16_t channels[3] = {color.red, color.green, color.blue};
    for (int32_t p = 0; p < image.colorPlanes; ++p)
      for (int32_t c = image.colorPlanes == 1 ? 0 : p; c <= (image.colorPlanes == 1 ? 2 : p); ++c)
        chooser->preferred[p].push_back({HostSampleFrom16(channels[c]), channels[c]});
  }
}

uint16_t ChooseFileSample(const FileSampleChooser& chooser, const HostImage& image, size_t index, int32_t x,
                          int32_t y, int32_t plane, uint16_t host) {
  const Rect& r = chooser.painted;
  if (plane < image.colorPlanes && y >= r.top && y < r.bottom && x >= r.left && x < r.right)
    for (const PreferredSample& sample : chooser.preferred[plane])
      if (sample.host == host) return sample.file;
  if (index < image.fileSamples.size() && chooser.toHost[image.fileSamples[index]] == host)
    return image.fileSamples[index];
  return chooser.fromHost[host];
}

// Rows y0 .. y0 + rows of the image as the encoder takes them.
void CopyToWic(const HostImage& image, const EncoderShape& encoder, bool swap, const FileSampleChooser& chooser,
               int32_t y0, int32_t rows, std::vector<uint8_t>* pixels) {
  const WicShape& shape = encoder.shape;
  const int32_t planes = ImagePlanes(image);
  int32_t channel[4] = {0, 0, 0, 0};
  for (int32_t p = 0; p < planes; ++p) channel[p] = WicChannel(shape, p);
  const size_t stride = static_cast<size_t>(image.width) * shape.bytesPerPixel;
  pixels->assign(stride * static_cast<size_t>(rows), 0);
  uint16_t file[4];
  for (int32_t y = y0; y < y0 + rows; ++y) {
    uint8_t* pixel = pixels->data() + static_cast<size_t>(y - y0) * stride;
    const size_t rowStart = static_cast<size_t>(y) * image.width * planes;
    for (int32_t x = 0; x < image.width; ++x, pixel += shape.bytesPerPixel) {
      for (int32_t p = 0; p < planes; ++p) {
        const uint16_t host = GetSample(image, x, y, p);
        file[p] = image.depth == 8 ? host
                                   : ChooseFileSample(chooser, image, rowStart + size_t(x) * planes + p, x, y, p,
                                                      host > kHostSampleMax16 ? kHostSampleMax16 : host);
      }
      switch (encoder.packing) {
        case Packing::GrayAlpha8AsGray16: {
          uint16_t both = static_cast<uint16_t>(file[0] << 8 | file[1]);
          if (swap) both = Swap16(both);
          std::memcpy(pixel, &both, sizeof both);
          break;
        }
        case Packing::GrayAlpha16AsBgra8:
          // The encoder stores B, G, R, A as R, G, B, A: gray high, gray low, alpha high, alpha low.
          pixel[2] = static_cast<uint8_t>(file[0] >> 8);
          pixel[1] = static_cast<uint8_t>(file[0]);
          pixel[0] = static_cast<uint8_t>(file[1] >> 8);
          pixel[3] = static_cast<uint8_t>(file[1]);
          break;
        case Packing::Plain:
          for (int32_t p = 0; p < planes; ++p) {
            if (shape.depth == 8) {
              pixel[channel[p]] = static_cast<uint8_t>(file[p]);
              continue;
            }
            const uint16_t value = swap ? Swap16(file[p]) : file[p];
            std::memcpy(pixel + 2 * channel[p], &value, sizeof value);
          }
          break;
      }
    }
  }
}

typedef DWORD(WINAPI* Crc32Proc)(DWORD, const BYTE*, INT);

// Says the header of an encoded gray+alpha PNG again: bit depth, colour type
// 4, and the header's checksum.
bool RelabelAsGrayAlpha(std::vector<uint8_t>* png, int32_t depth) {
  static const Crc32Proc crc32 =
      reinterpret_cast<Crc32Proc>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlComputeCrc32")));
  if (crc32 == nullptr || png->size() < 33 || std::memcmp(png->data() + 12, "IHDR", 4) != 0) return false;
  uint8_t* header = png->data();
  header[24] = static_cast<uint8_t>(depth);
  header[25] = 4;
  const DWORD crc = crc32(0, header + 12, 17);
  for (int i = 0; i < 4; ++i) header[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  return true;
}

// The PNG file's bytes, encoded in memory so that the file on disk is
// written in one go and only once it is complete.
bool EncodePixels(IWICImagingFactory* factory, const HostImage& image, const PngWriteOptions& options,
                  std::vector<uint8_t>* png, std::string* error) {
  const EncoderShape encoder = EncoderShapeFor(image);
  const WicShape& shape = encoder.shape;
  const bool swap = Measure16BitOrder(factory).swapOnWrite;
  FileSampleChooser chooser;
  if (image.depth == 16) PreferColors(image, options, &chooser);
  IStream* stream = nullptr;
  IWICBitmapEncoder* wicEncoder = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  IPropertyBag2* properties = nullptr;
  WICPixelFormatGUID format = *shape.format;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &wicEncoder);
  if (SUCCEEDED(hr)) hr = wicEncoder->Initialize(stream, WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = wicEncoder->CreateNewFrame(&frame, &properties);
  if (SUCCEEDED(hr)) hr = frame->Initialize(properties);
  if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height));
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  const bool formatKept = SUCCEEDED(hr) && IsEqualGUID(format, *shape.format);
  if (formatKept) {
    const UINT stride = static_cast<UINT>(image.width * shape.bytesPerPixel);
    const int32_t band = BandRows(image.width, shape.bytesPerPixel);
    std::vector<uint8_t> pixels;
    for (int32_t y = 0; y < image.height && SUCCEEDED(hr); y += band) {
      if (Interrupted()) hr = E_ABORT;
      const int32_t rows = image.height - y < band ? image.height - y : band;
      if (SUCCEEDED(hr)) CopyToWic(image, encoder, swap, chooser, y, rows, &pixels);
      if (SUCCEEDED(hr)) hr = frame->WritePixels(static_cast<UINT>(rows), stride, static_cast<UINT>(pixels.size()), pixels.data());
      if (options.progress != nullptr) options.progress(y + rows, image.height, options.progressContext);
    }
  }
  if (formatKept && SUCCEEDED(hr)) hr = frame->Commit();
  if (formatKept && SUCCEEDED(hr)) hr = wicEncoder->Commit();
  HGLOBAL memory = nullptr;
  if (formatKept && SUCCEEDED(hr)) hr = GetHGlobalFromStream(stream, &memory);
  ULARGE_INTEGER end = {};
  if (formatKept && SUCCEEDED(hr)) hr = stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &end);
  if (formatKept && SUCCEEDED(hr)) {
    const uint8_t* bytes = static_cast<const uint8_t*>(GlobalLock(memory));
    if (bytes != nullptr) png->assign(bytes, bytes + end.QuadPart);
    GlobalUnlock(memory);
    if (bytes == nullptr) hr = E_OUTOFMEMORY;
  }
  Release(&properties);
  Release(&frame);
  Release(&wicEncoder);
  Release(&stream);
  if (Interrupted()) return Fail(error, "interrupted");
  if (FAILED(hr)) return Fail(error, HresultText("encoding", hr));
  if (!formatKept) return Fail(error, "the PNG encoder does not take this pixel format");
  if (encoder.packing != Packing::Plain && !RelabelAsGrayAlpha(png, image.depth))
    return Fail(error, "the encoder wrote an unexpected header");
  return true;
}

}  // namespace

bool ReadPng(const char* path, HostImage* image, std::string* error, const PngProgress& progress) {
  const std::string prefix = std::string("cannot read ") + path + ": ";
  PngHeader header;
  std::string reason;
  if (!ReadHeader(path, &header, &reason)) return Fail(error, prefix + reason);
  IWICImagingFactory* factory = WicFactory(error);
  if (factory == nullptr) return false;
  IWICStream* file = nullptr;
  HRESULT hr = factory->CreateStream(&file);
  if (SUCCEEDED(hr)) hr = file->InitializeFromFilename(WidePath(path).c_str(), GENERIC_READ);
  STATSTG stat = {};
  if (SUCCEEDED(hr)) hr = file->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) {
    Release(&file);
    return Fail(error, prefix + HresultText("opening", hr));
  }
  IStream* watched = new WatchedStream(file, stat.cbSize.QuadPart, &progress);
  IWICBitmapDecoder* decoder = nullptr;
  hr = factory->CreateDecoderFromStream(watched, nullptr, WICDecodeMetadataCacheOnDemand, &decoder);
  watched->Release();
  if (FAILED(hr)) return Fail(error, prefix + DecodingFailure(hr));
  WicShape shape = ShapeForFile(header.colourType, header.bitDepth);
  bool decoded = DecodePixels(factory, decoder, shape, image, &reason);
  if (!decoded && shape.depth == 8 && !Interrupted()) {
    // Converters cover fewer targets than sources (wine's has no 1-bit gray to
    // 8-bit gray): go through BGRA, which every converter offers.
    shape = shape.colorPlanes == 1 ? kGrayAlpha8 : kBgra8;
    decoded = DecodePixels(factory, decoder, shape, image, &reason);
  }
  Release(&decoder);
  if (!decoded) return Fail(error, prefix + reason);
  const int colourType = header.colourType;
  if (colourType != 4 && colourType != 6 && image->hasAlpha && AllOpaque(*image)) *image = WithoutAlpha(*image);
  return true;
}

bool WritePng(const char* path, const HostImage& image, std::string* error, const PngWriteOptions& options) {
  if (image.pixels.size() != static_cast<size_t>(ImageRowBytes(image)) * static_cast<size_t>(image.height) ||
      image.width < 1 || image.height < 1)
    return Fail(error, std::string("cannot write ") + path + ": the image is empty or inconsistent");
  IWICImagingFactory* factory = WicFactory(error);
  if (factory == nullptr) return false;
  std::vector<uint8_t> png;
  std::string reason;
  if (!EncodePixels(factory, image, options, &png, &reason))
    return Fail(error, std::string("cannot write ") + path + ": " + reason);
  return ReplaceFileContents(path, png.data(), png.size(), error);
}
