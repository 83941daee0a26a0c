#include "preview/preview_request.h"

#include "host/handles.h"
#include "host/host_request.h"

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
  RequestAllPlanes(record);
  *globals->result = record->advanceState();
  return *globals->result;
}
