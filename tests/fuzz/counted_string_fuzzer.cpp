// The warning texts: appending, placeholder substitution and number
// formatting over arbitrary templates, substitutes and values.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/counted_string.h"

namespace {

// The invariant of every counted string: a length of at most 254 and a NUL
// right after the last character.
void Check(const CountedString& text) {
  const int length = CountedLength(text);
  if (length > kCountedStringMaxLength) std::abort();
  if (text.bytes[length + 1] != 0) std::abort();
}

// Takes `count` bytes from the input, fewer at its end.
const char* Take(const uint8_t** data, size_t* size, size_t count, int* taken) {
  const size_t n = count < *size ? count : *size;
  const char* start = reinterpret_cast<const char*>(*data);
  *data += n;
  *size -= n;
  *taken = static_cast<int>(n);
  return start;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  double value;
  std::memcpy(&value, data, sizeof value);
  const int decimals = data[8] % 6;
  const size_t templateLength = data[9];
  const size_t substituteLength = data[10] % 64;
  const int which = data[11] % 4;
  data += 12;
  size -= 12;

  CountedString number;
  FormatDecimal(&number, std::isfinite(value) ? value : 0.0, decimals);
  Check(number);
  // Within the documented magnitudes a stop and a digit after it are always there.
  if (std::isfinite(value) && std::fabs(value) * std::pow(10.0, decimals + 1) < 4e9 && decimals > 0) {
    const char* stop = std::strchr(CountedText(number), '.');
    if (stop == nullptr || stop[1] < '0' || stop[1] > '9') std::abort();
  }
  CountedString integer;
  FormatInteger(static_cast<int32_t>(value > 2e9 || value < -2e9 || !std::isfinite(value) ? 0 : value), &integer);
  Check(integer);

  int taken;
  CountedString text;
  EmptyCounted(&text);
  const char* templateText = Take(&data, &size, templateLength, &taken);
  AppendCounted(&text, templateText, 0, taken);
  AppendCounted(&text, templateText, taken / 2, taken - taken / 2);
  Check(text);
  CountedString substitute;
  EmptyCounted(&substitute);
  const char* substituteText = Take(&data, &size, substituteLength, &taken);
  AppendCounted(&substitute, substituteText, 0, taken);
  Check(substitute);

  SubstitutePlaceholders(&text, which == 0 ? &substitute : nullptr, which == 1 ? &substitute : &number,
                         which == 2 ? &substitute : nullptr);
  Check(text);
  return 0;
}
