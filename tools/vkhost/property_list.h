// How our host learns what a plug-in module is, from its property list
// ("PIPL") resource, before running any of its code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kFilterKind = 0x3842464D;  // '8BFM'

struct PluginProperties {
  uint32_t kind = 0;           // kFilterKind for a filter
  std::string name;            // menu name
  std::string category;        // menu category
  uint32_t version = 0;        // interface version: major << 16 | minor
  std::string entryPoint32;    // exported entry for 32-bit hosts, from 'wx86'
  std::string entryPoint64;    // exported entry for 64-bit hosts, from '8664'
  bool hasModes = false;
  uint8_t modes[4] = {0, 0, 0, 0};  // 'mode' flag bytes
  std::string enableRule;      // 'enbl'
  bool hasTerminology = false; // 'hstm'
  uint32_t terminologyClass = 0;
  uint32_t terminologyEvent = 0;
  int16_t terminologyId = 0;
  std::string terminologyScope;
  int propertyCount = 0;
  size_t parsedBytes = 0;      // where parsing ended
};

// The entry a host of this program's word size calls; empty when the module
// has none for it.
inline const std::string& HostEntryPoint(const PluginProperties& properties) {
  return sizeof(void*) == 8 ? properties.entryPoint64 : properties.entryPoint32;
}

// Parses a property list held in memory. False, with a one-line reason in
// `error`, for anything malformed: short header, wrong count, a property
// running past the end, trailing bytes. Never reads outside [bytes, bytes+size).
bool ParsePropertyList(const uint8_t* bytes, size_t size, PluginProperties* out, std::string* error);

// Windows: reads the first "PIPL" resource of the module at `path` without
// running it, and parses it. Checks that it declares a filter with an entry
// point for this program's word size.
bool ReadModuleProperties(const char* path, PluginProperties* out, std::string* error);

// Windows: the raw bytes of resource (type, id) of the module at `path`,
// in any language. False when the module or the resource is missing.
bool ReadModuleResource(const char* path, const char* type, int id, std::vector<uint8_t>* bytes);
