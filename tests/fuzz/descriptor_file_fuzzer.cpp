// Our host's text form of a recorded action over arbitrary text: it must
// never read outside it, and what it accepts must format back to a text that
// reads as the same items.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/vkhost/descriptor.h"

namespace {

bool SameItems(const HostDescriptor& a, const HostDescriptor& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].key != b[i].key || a[i].type != b[i].type || a[i].integer != b[i].integer) return false;
    // Compared as bits: %.17g gives every finite double back exactly.
    if (std::memcmp(&a[i].number, &b[i].number, sizeof(double)) != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  HostDescriptor items;
  std::string error;
  if (!ParseDescriptor(text, &items, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (items.size() > kMaxDescriptorItems) std::abort();
  HostDescriptor again;
  if (!ParseDescriptor(FormatDescriptor(items), &again, &error) || !SameItems(items, again)) std::abort();
  return 0;
}
