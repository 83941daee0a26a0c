// Where the preview looks: the visible rectangle of the image under the
// preview control, scrolling by a drag, and rectangle intersection. All of it
// is 16-bit arithmetic on the globals' fields, wrapping like the host's
// coordinates.
#pragma once

#include "host/globals.h"

// Moves the scroll centre by a drag of dx preview pixels right and dy down:
// the image follows the cursor. Each axis is kept so that the preview stays
// inside the image, or centred on it when the preview is the larger.
void ScrollPreview(FilterGlobals* globals, int16_t dx, int16_t dy);

// The image area under the preview, in image coordinates.
void GetVisibleRect(const FilterGlobals* globals, Rect* rect);

// The intersection of `a` and `b`, each put in order first; an axis without
// overlap becomes 0..0 on its own. `out` may be `a` or `b`.
void IntersectRects(Rect* out, const Rect* a, const Rect* b);
