// Our host's property-list reader over arbitrary resource bytes: it must
// never read outside them, and what it accepts must be self-consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/vkhost/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so that any read past them is caught.
  std::vector<uint8_t> bytes(data, data + size);
  PluginProperties properties;
  std::string error;
  const bool parsed = ParsePropertyList(bytes.data(), bytes.size(), &properties, &error);
  if (parsed && properties.parsedBytes != size) std::abort();
  if (!parsed && error.empty()) std::abort();
  return 0;
}
