// The preview's memory and its whole-image request. Buffers are taken when
// the dialog opens and given back on every way out of it.
#pragma once

#include <cstdint>

#include "host/globals.h"

// Preview pixels ((planes + 1) bytes each, room for transparency), one mask
// byte per preview pixel, and with hasTransparency an 8-bit copy of the
// image's transparency. Each is made only when its pointer is null; a refused
// allocation leaves the pointer null, and then nothing is composed.
void AllocPreviewBuffers(FilterGlobals* globals);

// Frees whatever exists and nulls the pointers; a second call does nothing.
void FreePreviewBuffers(FilterGlobals* globals);

// Asks the host for the whole image (all planes, no down-sampling, paddings
// 255), opens the preview on the middle of the filter rectangle at zoom 1,
// and with hasTransparency fetches the transparency plane once into its copy.
// Returns the last advanceState result; the result word is the caller's.
int16_t InitPreview(FilterGlobals* globals);

// One 16-bit sample on the preview's 8-bit scale: the host's full value 32768
// (and above) is 255.
inline uint8_t PreviewSampleFrom16(uint16_t sample) {
  return sample >= 0x8000 ? 255 : static_cast<uint8_t>(sample >> 7);
}
