#include "preview/preview_request.h"

#include "host/handles.h"

namespace {
constexpr Fixed kFixedOne = 0x00010000;
constexpr int16_t kPaddingValue = 255;
}  // namespace

int16_t InitPreview(FilterGlobals* globals) {
  FilterRecord* record = globals->filterRecord;
  const Point size = record->imageSize;
  SetHostRect(&record->inRect, 0, 0, size.h, size.v);
  SetHostRect(&record->outRect, 0, 0, size.h, size.v);
  SetHostRect(&record->maskRect, 0, 0, size.h, size.v);
  const Rect& filter = record->filterRect;
  globals->centerV = static_cast<int16_t>(filter.top + (filter.bottom - filter.top) / 2);
  globals->centerH = static_cast<int16_t>(filter.left + (filter.right - filter.left) / 2);
  globals->zoom = 1;
  record->inputRate = kFixedOne;
  record->maskRate = kFixedOne;
  record->outLoPlane = 0;
  record->inLoPlane = 0;
  record->outHiPlane = static_cast<int16_t>(record->planes - 1);
  record->inHiPlane = record->outHiPlane;
  record->inputPadding = kPaddingValue;
  record->outputPadding = record->inputPadding;
  record->maskPadding = record->inputPadding;
  *globals->result = record->advanceState();
  return *globals->result;
}
