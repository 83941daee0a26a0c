// The contents of a scripting descriptor as our host keeps them: typed values
// under four-character keys, in the order they were recorded. Portable, so
// that the text form can be tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kTypeInteger = 0x6C6F6E67;  // 'long'
constexpr uint32_t kTypeFloat = 0x646F7562;    // 'doub'
constexpr uint32_t kTypeBoolean = 0x626F6F6C;  // 'bool'

struct DescriptorItem {
  uint32_t key = 0;
  uint32_t type = kTypeInteger;
  int32_t integer = 0;  // integer and boolean (0 or 1) values
  double number = 0;    // float values
};

typedef std::vector<DescriptorItem> HostDescriptor;

// The text form, one item a line after a header line:
//   vkhost descriptor 1
//   'draw' 'long' 1
//   'shft' 'long' 41
//   end
// Codes are four characters between single quotes; values are decimal
// (booleans 0 or 1, floats in %.17g).
std::string FormatDescriptor(const HostDescriptor& descriptor);

// Reads the text form back. False with a reason naming the line for anything
// else: a missing header or end line (a truncated file), a malformed line, an
// unknown type, a value out of range or with trailing characters, more than
// kMaxDescriptorItems items, text after the end line.
bool ParseDescriptor(const std::string& text, HostDescriptor* descriptor, std::string* error);

constexpr size_t kMaxDescriptorItems = 256;
