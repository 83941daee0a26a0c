#include "preview/preview_geometry.h"

namespace {

int16_t Wrap(int32_t value) { return static_cast<int16_t>(value); }

// One axis of the preview: its span in image pixels and the image's extent.
struct Axis {
  int16_t span;     // preview pixels times the zoom
  int16_t half;
  int16_t extent;   // image rows or columns
};

Axis MakeAxis(int16_t previewLow, int16_t previewHigh, int16_t zoom, int16_t extent) {
  const int16_t span = Wrap(Wrap(previewHigh - previewLow) * zoom);
  return {span, Wrap(span / 2), extent};
}

Axis VerticalAxis(const FilterGlobals* globals) {
  return MakeAxis(globals->previewRect.top, globals->previewRect.bottom, globals->zoom,
                  globals->filterRecord->imageSize.v);
}

Axis HorizontalAxis(const FilterGlobals* globals) {
  return MakeAxis(globals->previewRect.left, globals->previewRect.right, globals->zoom,
                  globals->filterRecord->imageSize.h);
}

int16_t ScrollCentre(const Axis& axis, int16_t centre, int16_t zoom, int16_t delta) {
  if (axis.span > axis.extent) return Wrap(axis.extent / 2);
  centre = Wrap(centre - zoom * delta);
  if (centre < axis.half) centre = axis.half;
  if (centre > Wrap(axis.extent - axis.half)) centre = Wrap(axis.extent - axis.half);
  return centre;
}

void VisibleSpan(const Axis& axis, int16_t centre, int16_t* low, int16_t* high) {
  if (axis.span > axis.extent) {
    *low = Wrap((axis.extent - axis.span) / 2);
    *high = Wrap(*low + axis.span);
    return;
  }
  *low = Wrap(centre - axis.half);
  *high = Wrap(*low + axis.span);
  if (*low < 0) {
    *low = 0;
    *high = axis.span;
  }
  if (*high > axis.extent) {
    *high = axis.extent;
    *low = Wrap(axis.extent - axis.span);
  }
}

void Order(int16_t* low, int16_t* high) {
  if (*low > *high) {
    const int16_t swap = *low;
    *low = *high;
    *high = swap;
  }
}

void Overlap(int16_t lowA, int16_t highA, int16_t lowB, int16_t highB, int16_t* low, int16_t* high) {
  *low = lowA > lowB ? lowA : lowB;
  *high = highA < highB ? highA : highB;
  if (*low >= *high) *low = *high = 0;
}

}  // namespace

void ScrollPreview(FilterGlobals* globals, int16_t dx, int16_t dy) {
  globals->centerV = ScrollCentre(VerticalAxis(globals), globals->centerV, globals->zoom, dy);
  globals->centerH = ScrollCentre(HorizontalAxis(globals), globals->centerH, globals->zoom, dx);
}

void GetVisibleRect(const FilterGlobals* globals, Rect* rect) {
  VisibleSpan(VerticalAxis(globals), globals->centerV, &rect->top, &rect->bottom);
  VisibleSpan(HorizontalAxis(globals), globals->centerH, &rect->left, &rect->right);
}

void IntersectRects(Rect* out, const Rect* a, const Rect* b) {
  Rect first = *a;
  Rect second = *b;
  Order(&first.left, &first.right);
  Order(&first.top, &first.bottom);
  Order(&second.left, &second.right);
  Order(&second.top, &second.bottom);
  Overlap(first.left, first.right, second.left, second.right, &out->left, &out->right);
  Overlap(first.top, first.bottom, second.top, second.bottom, &out->top, &out->bottom);
}
