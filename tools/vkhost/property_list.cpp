// Property list parsing. Every read goes through a cursor that knows how many
// bytes are left, so malformed input ends in an error message, never in a read
// outside the buffer.
#include "tools/vkhost/property_list.h"

#include <cstdio>

namespace {

const size_t headerSize = 10;    // reserved word, list version, property count
const size_t propertyHeaderSize = 16;  // vendor, key, id, length

struct Cursor {
  const uint8_t* bytes;
  size_t size;
  size_t offset;
};

size_t Remaining(const Cursor& cursor) { return cursor.size - cursor.offset; }

uint32_t ReadLittle32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t ReadLittle16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

std::string CodeText(uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = char(code >> shift);
    text += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return "'" + text + "'";
}

std::string Describe(const char* format, size_t a, size_t b = 0, size_t c = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

bool Fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

// A property's data, already known to lie inside the list.
struct PropertyData {
  uint32_t key;
  const uint8_t* bytes;
  size_t length;
};

bool ReadPascalString(const PropertyData& data, std::string* text, std::string* error) {
  if (data.length < 1 || size_t(data.bytes[0]) + 1 > data.length)
    return Fail(error, CodeText(data.key) + ": Pascal string longer than its property");
  text->assign(reinterpret_cast<const char*>(data.bytes + 1), data.bytes[0]);
  return true;
}

// A zero-terminated string starting `start` bytes into the data.
bool ReadCString(const PropertyData& data, size_t start, std::string* text, std::string* error) {
  for (size_t i = start; i < data.length; ++i) {
    if (data.bytes[i] == 0) {
      text->assign(reinterpret_cast<const char*>(data.bytes + start), i - start);
      return true;
    }
  }
  return Fail(error, CodeText(data.key) + ": string not terminated within its property");
}

bool ReadWord(const PropertyData& data, uint32_t* value, std::string* error) {
  if (data.length != 4) return Fail(error, CodeText(data.key) + Describe(": length %zu, expected 4", data.length));
  *value = ReadLittle32(data.bytes);
  return true;
}

bool ReadTerminologyLink(const PropertyData& data, PluginProperties* out, std::string* error) {
  const size_t scopeStart = 14;  // version, class, event, resource id
  if (data.length <= scopeStart) return Fail(error, "'hstm': too short for its fixed fields");
  out->terminologyClass = ReadLittle32(data.bytes + 4);
  out->terminologyEvent = ReadLittle32(data.bytes + 8);
  out->terminologyId = int16_t(ReadLittle16(data.bytes + 12));
  out->hasTerminology = true;
  return ReadCString(data, scopeStart, &out->terminologyScope, error);
}

bool ReadModes(const PropertyData& data, PluginProperties* out, std::string* error) {
  if (data.length < 1 || data.length > 4) return Fail(error, Describe("'mode': length %zu, expected 1 to 4", data.length));
  for (size_t i = 0; i < 4; ++i) out->modes[i] = i < data.length ? data.bytes[i] : 0;
  out->hasModes = true;
  return true;
}

// Properties this host does not use are skipped; their framing was checked already.
bool ReadProperty(const PropertyData& data, PluginProperties* out, std::string* error) {
  switch (data.key) {
    case 'kind': return ReadWord(data, &out->kind, error);
    case 'name': return ReadPascalString(data, &out->name, error);
    case 'catg': return ReadPascalString(data, &out->category, error);
    case 'vers': return ReadWord(data, &out->version, error);
    case 'wx86': return ReadCString(data, 0, &out->entryPoint32, error);
    case '8664': return ReadCString(data, 0, &out->entryPoint64, error);
    case 'hstm': return ReadTerminologyLink(data, out, error);
    case 'mode': return ReadModes(data, out, error);
    case 'enbl': return ReadCString(data, 0, &out->enableRule, error);
    default: return true;
  }
}

bool ParseOneProperty(Cursor* cursor, int index, PluginProperties* out, std::string* error) {
  if (Remaining(*cursor) < propertyHeaderSize)
    return Fail(error, Describe("property %zu: header runs past the end at byte %zu", size_t(index + 1), cursor->offset));
  const uint8_t* header = cursor->bytes + cursor->offset;
  uint32_t vendor = ReadLittle32(header);
  uint32_t key = ReadLittle32(header + 4);
  int32_t length = int32_t(ReadLittle32(header + 12));
  cursor->offset += propertyHeaderSize;
  std::string where = Describe("property %zu ", size_t(index + 1)) + CodeText(key);
  if (length < 0) return Fail(error, where + ": negative length");
  size_t padded = (size_t(length) + 3) & ~size_t(3);  // no overflow: length < 2^31
  if (padded > Remaining(*cursor))
    return Fail(error, where + Describe(": length %zu runs past the end (%zu bytes left)", size_t(length), Remaining(*cursor)));
  PropertyData data = {key, cursor->bytes + cursor->offset, size_t(length)};
  cursor->offset += padded;
  if (vendor != '8BIM') return true;
  return ReadProperty(data, out, error);
}

}  // namespace

bool ParsePropertyList(const uint8_t* bytes, size_t size, PluginProperties* out, std::string* error) {
  *out = PluginProperties();
  if (bytes == nullptr || size < headerSize) return Fail(error, Describe("property list of %zu bytes is shorter than its header", size));
  uint32_t listVersion = ReadLittle32(bytes + 2);
  if (listVersion != 0) return Fail(error, Describe("unknown property list version %zu", listVersion));
  int32_t count = int32_t(ReadLittle32(bytes + 6));
  // Each property takes at least its header, which bounds a believable count.
  if (count < 0 || size_t(count) > (size - headerSize) / propertyHeaderSize)
    return Fail(error, Describe("property count %zu does not fit in %zu bytes", size_t(uint32_t(count)), size));
  Cursor cursor = {bytes, size, headerSize};
  for (int i = 0; i < count; ++i) {
    if (!ParseOneProperty(&cursor, i, out, error)) return false;
    out->propertyCount = i + 1;
    out->parsedBytes = cursor.offset;
  }
  out->parsedBytes = cursor.offset;
  if (cursor.offset != size)
    return Fail(error, Describe("%zu trailing bytes after %zu properties", size - cursor.offset, size_t(count)));
  return true;
}
