#include "ui/dialog_template.h"

#include <cstring>

namespace {

constexpr uint16_t kExtendedSignature = 0xFFFF;
constexpr uint32_t kSetFont = 0x40;  // DS_SETFONT (DS_SHELLFONT includes it)

struct Cursor {
  const uint8_t* bytes;
  size_t size;
  size_t at;
  bool ok;
};

void Skip(Cursor* cursor, size_t count) {
  if (count > cursor->size - cursor->at) cursor->ok = false;
  if (cursor->ok) cursor->at += count;
}

uint16_t Word(Cursor* cursor) {
  uint16_t value = 0;
  if (cursor->ok && cursor->size - cursor->at >= sizeof value) std::memcpy(&value, cursor->bytes + cursor->at, sizeof value);
  Skip(cursor, sizeof value);
  return value;
}

uint32_t Dword(Cursor* cursor) {
  uint32_t value = 0;
  if (cursor->ok && cursor->size - cursor->at >= sizeof value) std::memcpy(&value, cursor->bytes + cursor->at, sizeof value);
  Skip(cursor, sizeof value);
  return value;
}

void AlignToDword(Cursor* cursor) { Skip(cursor, (4 - cursor->at % 4) % 4); }

// A name or ordinal field: 0 (none), 0xFFFF and an ordinal, or a string.
// Fills `text` for a string and returns true then.
bool Name(Cursor* cursor, int id, TemplateText* text) {
  const size_t start = cursor->at;
  const uint16_t first = Word(cursor);
  if (first == 0) return false;
  if (first == 0xFFFF) {
    Word(cursor);
    return false;
  }
  bool ascii = first < 0x80;
  size_t length = 1;
  for (uint16_t unit = Word(cursor); cursor->ok && unit != 0; unit = Word(cursor), ++length) ascii = ascii && unit < 0x80;
  *text = {id, start, length, ascii};
  return cursor->ok;
}

void Keep(const TemplateText& text, TemplateText* texts, int capacity, int* count) {
  if (*count < capacity) texts[*count] = text;
  ++*count;
}

}  // namespace

int ReadTemplateTexts(const uint8_t* bytes, size_t size, TemplateText* texts, int capacity) {
  Cursor cursor = {bytes, size, 0, bytes != nullptr};
  const bool extended = Word(&cursor) == 1 && Word(&cursor) == kExtendedSignature;
  uint32_t style;
  if (extended) {
    Skip(&cursor, 8);  // help id, extended style
    style = Dword(&cursor);
  } else {
    cursor.at = 0;
    style = Dword(&cursor);
    Skip(&cursor, 4);  // extended style
  }
  const uint16_t controls = Word(&cursor);
  Skip(&cursor, 8);  // x, y, cx, cy
  TemplateText text;
  int count = 0;
  Name(&cursor, 0, &text);  // menu
  Name(&cursor, 0, &text);  // window class
  if (Name(&cursor, kTemplateCaption, &text)) Keep(text, texts, capacity, &count);
  if (style & kSetFont) {
    Skip(&cursor, extended ? 6 : 2);  // point size (weight, italic, character set)
    Name(&cursor, 0, &text);           // typeface
  }
  for (uint16_t i = 0; i < controls && cursor.ok; ++i) {
    AlignToDword(&cursor);
    Skip(&cursor, extended ? 20 : 16);  // (help id,) styles, x, y, cx, cy
    const int id = extended ? static_cast<int>(Dword(&cursor)) : Word(&cursor);
    Name(&cursor, 0, &text);  // class
    if (Name(&cursor, id, &text)) Keep(text, texts, capacity, &count);
    Skip(&cursor, Word(&cursor));  // creation data
  }
  return cursor.ok ? count : -1;
}
