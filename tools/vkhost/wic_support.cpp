#include "tools/vkhost/wic_support.h"

#include <cstdio>
#include <cstring>

namespace {

// A 1x1 16-bit gray PNG holding the sample 0x0102.
const BYTE kKnownPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x6A, 0xEE, 0x47, 0x16, 0x00,
    0x00, 0x00, 0x0B, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x60, 0x64, 0x02, 0x00, 0x00, 0x07, 0x00,
    0x04, 0x76, 0x49, 0xE3, 0x28, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
constexpr UINT16 kKnownSample = 0x0102;
constexpr UINT16 kSwappedSample = 0x0201;

// The first 16-bit gray sample of the PNG in `bytes`; 0 when it cannot be decoded.
UINT16 DecodeSample(IWICImagingFactory* factory, BYTE* bytes, DWORD size) {
  IWICStream* stream = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  UINT16 sample = 0;
  HRESULT hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) hr = stream->InitializeFromMemory(bytes, size);
  if (SUCCEEDED(hr)) hr = factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder);
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
  if (SUCCEEDED(hr)) hr = frame->CopyPixels(nullptr, 2, 2, reinterpret_cast<BYTE*>(&sample));
  Release(&frame);
  Release(&decoder);
  Release(&stream);
  return SUCCEEDED(hr) ? sample : 0;
}

// Encodes one 16-bit gray sample into `buffer`; the PNG's size, 0 on failure.
DWORD EncodeSample(IWICImagingFactory* factory, UINT16 sample, BYTE* buffer, DWORD capacity) {
  IWICStream* stream = nullptr;
  IWICBitmapEncoder* encoder = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  WICPixelFormatGUID format = GUID_WICPixelFormat16bppGray;
  ULARGE_INTEGER end = {};
  HRESULT hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) hr = stream->InitializeFromMemory(buffer, capacity);
  if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
  if (SUCCEEDED(hr)) hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
  if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
  if (SUCCEEDED(hr)) hr = frame->SetSize(1, 1);
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  if (SUCCEEDED(hr)) hr = frame->WritePixels(1, 2, 2, reinterpret_cast<BYTE*>(&sample));
  if (SUCCEEDED(hr)) hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  if (SUCCEEDED(hr)) hr = stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &end);
  Release(&frame);
  Release(&encoder);
  Release(&stream);
  return SUCCEEDED(hr) ? static_cast<DWORD>(end.QuadPart) : 0;
}

}  // namespace

std::string HresultText(const char* what, HRESULT hr) {
  const char* meaning = "";
  switch (static_cast<unsigned long>(hr)) {
    case 0x80070002: meaning = ": no such file"; break;
    case 0x80070003: meaning = ": no such folder"; break;
    case 0x80070005: meaning = ": access denied"; break;
    case 0x88982F50: meaning = ": not an image format WIC knows"; break;
    case 0x88982F60: meaning = ": the file is damaged"; break;
    default: break;
  }
  char text[200];
  std::snprintf(text, sizeof text, "%s failed (HRESULT 0x%08lx%s)", what, static_cast<unsigned long>(hr), meaning);
  return text;
}

IWICImagingFactory* WicFactory(std::string* error) {
  static IWICImagingFactory* factory = nullptr;
  if (factory != nullptr) return factory;
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) {
    if (error != nullptr) *error = HresultText("CoInitializeEx", hr);
    return nullptr;
  }
  hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                        reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) {
    if (error != nullptr) *error = HresultText("creating the WIC imaging factory", hr);
    factory = nullptr;
  }
  return factory;
}

Wic16BitOrder Measure16BitOrder(IWICImagingFactory* factory) {
  static bool measured = false;
  static Wic16BitOrder order;
  if (measured) return order;
  measured = true;
  BYTE known[sizeof kKnownPng];
  std::memcpy(known, kKnownPng, sizeof known);
  order.swapOnRead = DecodeSample(factory, known, sizeof known) == kSwappedSample;
  BYTE buffer[1024];
  DWORD size = EncodeSample(factory, kKnownSample, buffer, sizeof buffer);
  UINT16 back = size != 0 ? DecodeSample(factory, buffer, size) : 0;
  if (order.swapOnRead) back = static_cast<UINT16>(back >> 8 | back << 8);
  order.swapOnWrite = back == kSwappedSample;
  return order;
}
