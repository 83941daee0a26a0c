#include "host/counted_string.h"

#include <cstring>

namespace {

void Terminate(CountedString* text, int length) {
  if (length > kCountedStringMaxLength) length = kCountedStringMaxLength;
  text->bytes[0] = static_cast<unsigned char>(length);
  text->bytes[1 + length] = 0;
}

// Toward zero, read as an unsigned 32-bit number; out-of-range values clamp.
double Truncate(double value) {
  if (!(value >= 0.0)) return 0.0;
  if (value >= 4294967295.0) return 4294967295.0;
  return static_cast<double>(static_cast<uint32_t>(value));
}

double PowerOfTen(int exponent) {
  double power = 1.0;
  for (int i = 0; i < exponent; ++i) power *= 10.0;
  return power;
}

void AppendCharacter(CountedString* text, char character) { AppendCounted(text, &character, 0, 1); }

}  // namespace

void EmptyCounted(CountedString* text) {
  text->bytes[0] = 0;
  text->bytes[1] = 0;
}

void AppendCounted(CountedString* destination, const char* source, int start, int count) {
  int length = destination->bytes[0];
  if (length > kCountedStringMaxLength) length = kCountedStringMaxLength;
  if (count > 0 && source != nullptr && start >= 0) {
    const int room = 255 - length;
    const int copied = count < room ? count : room;
    std::memmove(destination->bytes + 1 + length, source + start, static_cast<size_t>(copied));
    length += copied;
  }
  Terminate(destination, length);
}

void FormatInteger(int32_t value, CountedString* destination) {
  EmptyCounted(destination);
  char digits[12];
  int used = 0;
  // Unsigned magnitude, so that the most negative value has one too.
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    digits[used++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) AppendCharacter(destination, '-');
  while (used > 0) AppendCharacter(destination, digits[--used]);
}

void FormatDecimal(CountedString* destination, double value, int decimals) {
  EmptyCounted(destination);
  const bool negative = value < 0.0;
  double magnitude = negative ? -value : value;
  const double scaled = magnitude * PowerOfTen(decimals);
  if (10.0 * (scaled - Truncate(scaled)) >= 5.0) magnitude += 5.0 / PowerOfTen(decimals + 1);
  if (decimals > 1) {
    const double shifted = magnitude * PowerOfTen(decimals - 1);
    if (10.0 * (shifted - Truncate(shifted)) < 1.0) --decimals;
  }
  const double whole = Truncate(magnitude);
  const uint32_t wholeBits = static_cast<uint32_t>(whole);
  FormatInteger(static_cast<int32_t>(negative ? 0u - wholeBits : wholeBits), destination);
  AppendCharacter(destination, '.');
  double fraction = magnitude - whole;
  for (;;) {
    fraction *= 10.0;
    const double digit = Truncate(fraction);
    AppendCharacter(destination, static_cast<char>('0' + static_cast<int>(digit) % 10));
    fraction -= digit;
    if (!(fraction > 0.0)) break;
    if (--decimals <= 0) break;
  }
}

void SubstitutePlaceholders(CountedString* text, const CountedString* substitute0,
                            const CountedString* substitute1, const CountedString* substitute2) {
  const CountedString* substitutes[3] = {substitute0, substitute1, substitute2};
  bool caretPending = false;
  int position = 1;
  while (position <= text->bytes[0]) {
    const unsigned char character = text->bytes[position];
    if (caretPending && character >= '0' && character <= '2') {
      const CountedString* substitute = substitutes[character - '0'];
      const int caret = position - 1;
      CountedString rebuilt;
      EmptyCounted(&rebuilt);
      AppendCounted(&rebuilt, CountedText(*text), 0, caret - 1);
      if (substitute != nullptr) AppendCounted(&rebuilt, CountedText(*substitute), 0, CountedLength(*substitute));
      AppendCounted(&rebuilt, CountedText(*text), position, text->bytes[0] - position);
      *text = rebuilt;
      caretPending = false;
      // The scan resumes after the caret's place: `position` already is that.
      continue;
    }
    caretPending = character == '^';
    ++position;
  }
}
