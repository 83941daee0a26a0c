// Reading the texts out of a dialog template resource (a DLGTEMPLATE or a
// DLGTEMPLATEEX), without a window.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kTemplateCaption = -1;  // TemplateText::id of the dialog's own caption

// A text of the template: UTF-16 code units at `offset` bytes into it.
struct TemplateText {
  int id;         // the control's id, or kTemplateCaption
  size_t offset;
  size_t length;  // code units, without the terminating 0
  bool ascii;     // every code unit below 0x80
};

// Stores the caption's and every control's text (names given as ordinals and
// empty texts are left out) into `texts`, in template order, up to
// `capacity` of them. Returns how many were found, or -1 when the template
// is cut short or malformed (nothing stored is then to be used).
int ReadTemplateTexts(const uint8_t* bytes, size_t size, TemplateText* texts, int capacity);
