#include "host/host_request.h"

#include "host/handles.h"

namespace {
constexpr Fixed kFixedOne = 0x00010000;
constexpr int16_t kPaddingValue = 255;
}  // namespace

void RequestAllPlanes(FilterRecord* record) {
  record->inputRate = kFixedOne;
  record->maskRate = kFixedOne;
  record->outLoPlane = 0;
  record->inLoPlane = 0;
  record->outHiPlane = static_cast<int16_t>(record->planes - 1);
  record->inHiPlane = record->outHiPlane;
  record->inputPadding = kPaddingValue;
  record->outputPadding = record->inputPadding;
  record->maskPadding = record->inputPadding;
}

void EmptyRequest(FilterRecord* record) {
  SetHostRect(&record->inRect, 0, 0, 0, 0);
  SetHostRect(&record->outRect, 0, 0, 0, 0);
  SetHostRect(&record->maskRect, 0, 0, 0, 0);
}

bool SizeFitsRect(const Rect& rect) {
  return int32_t{rect.right} - rect.left <= INT16_MAX && int32_t{rect.bottom} - rect.top <= INT16_MAX;
}
