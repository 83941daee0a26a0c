#pragma once

#include <cstdint>

#include "host/globals.h"

// Asks the host for the whole image, all colour planes, no down-sampling,
// and centres the preview on the filter rectangle. Returns advanceState's
// result, also left in the result word.
int16_t InitPreview(FilterGlobals* globals);
