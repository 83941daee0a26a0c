// The descriptor's text form, for vkhost's recorded actions.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/vkhost/descriptor.h"

namespace {

const char kHeader[] = "vkhost descriptor 1";
const char kEndLine[] = "end";
const char kBadLine[] = "expected 'KEY' 'TYPE' VALUE with TYPE 'long', 'bool' or 'doub', or \"end\"";
const char kCutLine[] = "the file ends in the middle of a line (truncated?)";

std::string QuotedCode(uint32_t code) {
  std::string text = "'";
  for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>((code >> shift) & 0xFF);
  return text + "'";
}

bool Printable(char c) { return c >= 0x20 && c < 0x7F; }

// A code between quotes at `*at`; moves past it and one following space.
bool ReadCode(const std::string& line, size_t* at, uint32_t* code) {
  if (*at + 6 > line.size() || line[*at] != '\'' || line[*at + 5] != '\'') return false;
  uint32_t value = 0;
  for (size_t i = 1; i <= 4; ++i) {
    const char c = line[*at + i];
    if (!Printable(c)) return false;
    value = value << 8 | static_cast<uint8_t>(c);
  }
  *code = value;
  *at += 6;
  if (*at < line.size() && line[*at] != ' ') return false;
  if (*at < line.size()) ++*at;
  return true;
}

bool ReadInteger(const std::string& text, int64_t low, int64_t high, int32_t* value) {
  if (text.empty() || text.size() > 12) return false;
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

bool ReadNumber(const std::string& text, double* value) {
  if (text.empty() || text.size() > 40) return false;
  char* end = nullptr;
  errno = 0;
  const double parsed = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

bool ReadValue(const std::string& text, DescriptorItem* item) {
  switch (item->type) {
    case kTypeInteger: return ReadInteger(text, INT32_MIN, INT32_MAX, &item->integer);
    case kTypeBoolean: return ReadInteger(text, 0, 1, &item->integer);
    case kTypeFloat: return ReadNumber(text, &item->number);
    default: return false;
  }
}

bool ParseItem(const std::string& line, DescriptorItem* item) {
  size_t at = 0;
  if (!ReadCode(line, &at, &item->key) || !ReadCode(line, &at, &item->type)) return false;
  return ReadValue(line.substr(at), item);
}

bool Fail(std::string* error, size_t line, const char* what) {
  if (error != nullptr) *error = (line > 0 ? "line " + std::to_string(line) + ": " : std::string()) + what;
  return false;
}

}  // namespace

std::string FormatDescriptor(const HostDescriptor& descriptor) {
  std::string text = std::string(kHeader) + "\n";
  for (const DescriptorItem& item : descriptor) {
    char value[40];
    if (item.type == kTypeFloat) {
      std::snprintf(value, sizeof value, "%.17g", item.number);
    } else {
      std::snprintf(value, sizeof value, "%ld", static_cast<long>(item.integer));
    }
    text += QuotedCode(item.key) + " " + QuotedCode(item.type) + " " + value + "\n";
  }
  return text + kEndLine + "\n";
}

bool ParseDescriptor(const std::string& text, HostDescriptor* descriptor, std::string* error) {
  descriptor->clear();
  size_t start = 0, number = 0;
  bool ended = false;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool cut = end == std::string::npos;
    if (cut) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    ++number;
    if (ended) {
      if (!line.empty()) return Fail(error, number, "text after the end line");
    } else if (number == 1) {
      if (line != kHeader) return Fail(error, number, "not a vkhost descriptor (the first line must read \"vkhost descriptor 1\")");
    } else if (line == kEndLine) {
      ended = true;
    } else {
      if (descriptor->size() >= kMaxDescriptorItems) return Fail(error, number, "too many items");
      DescriptorItem item;
      if (!ParseItem(line, &item)) return Fail(error, number, cut ? kCutLine : kBadLine);
      descriptor->push_back(item);
    }
  }
  if (number == 0) return Fail(error, 0, "the file is empty");
  // A file cut short loses its end line wherever it was cut.
  if (!ended) return Fail(error, 0, "the file ends before its end line (truncated?)");
  return true;
}
