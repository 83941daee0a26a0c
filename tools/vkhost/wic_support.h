// Windows Imaging Component plumbing shared by the PNG reader and writer.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <string>

template <class T>
void Release(T** object) {
  if (*object != nullptr) (*object)->Release();
  *object = nullptr;
}

std::string HresultText(const char* what, HRESULT hr);

// The process's imaging factory, made on first use (COM initialised then).
// Null with a reason in `error` when WIC is missing.
IWICImagingFactory* WicFactory(std::string* error);

// Whether 16-bit samples must be byte-swapped between machine order and what
// the PNG codec takes or gives. Windows' codec uses machine order both ways;
// wine's encoder takes file (big-endian) order. Measured once, on a tiny PNG
// of known content, so either behaviour is handled.
struct Wic16BitOrder {
  bool swapOnRead = false;
  bool swapOnWrite = false;
};
Wic16BitOrder Measure16BitOrder(IWICImagingFactory* factory);
