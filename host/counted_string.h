// Length-prefixed strings for the warning texts: byte 0 holds the length,
// the characters follow, and a NUL always stands right after the last one,
// so the text can also be handed to the system as a C string from byte 1.
#pragma once

#include <cstdint>

constexpr int kCountedStringBytes = 256;
// A length of 255 would leave no room for the NUL, so texts stop at 254.
constexpr int kCountedStringMaxLength = 254;

struct CountedString {
  unsigned char bytes[kCountedStringBytes];
};

inline int CountedLength(const CountedString& text) { return text.bytes[0]; }
inline const char* CountedText(const CountedString& text) { return reinterpret_cast<const char*>(text.bytes + 1); }

void EmptyCounted(CountedString* text);

// Appends `count` bytes of `source` from `start` on, as many as fit.
// A count of 0 or less appends nothing.
void AppendCounted(CountedString* destination, const char* source, int start, int count);

// The decimal text of `value`, with a minus sign when negative.
void FormatInteger(int32_t value, CountedString* destination);

// `value` with up to `decimals` digits after a full stop, rounded; a trailing
// zero of two or more decimals is dropped once, and at least one digit
// always follows the stop. Meant for magnitudes with value * 10^(decimals+1)
// below 2^32; larger ones are clamped, never undefined.
void FormatDecimal(CountedString* destination, double value, int decimals);

// Replaces each ^0, ^1, ^2 in `text` by the matching substitute; a null or
// empty substitute removes the placeholder. Substituted text is scanned like
// the rest, except that the character taking the caret's place is not
// examined again. Characters beyond the length limit are dropped.
void SubstitutePlaceholders(CountedString* text, const CountedString* substitute0,
                            const CountedString* substitute1, const CountedString* substitute2);
