// The plug-in's property list and terminology as the tests expect them,
// written out field by field independently of the resource scripts, so that
// a slip in either shows up as a difference.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace expected {

inline void Put16(std::vector<uint8_t>* out, uint16_t value) {
  out->push_back(uint8_t(value));
  out->push_back(uint8_t(value >> 8));
}

inline void Put32(std::vector<uint8_t>* out, uint32_t value) {
  Put16(out, uint16_t(value));
  Put16(out, uint16_t(value >> 16));
}

// A four-character code as a little-endian integer: "kind" lands as "dnik".
inline void PutCode(std::vector<uint8_t>* out, const char* code) {
  for (int i = 3; i >= 0; --i) out->push_back(uint8_t(code[i]));
}

// Bytes as given, no terminator; `length` allows embedded zeros and Shift-JIS.
inline void PutBytes(std::vector<uint8_t>* out, const char* bytes, size_t length) {
  out->insert(out->end(), bytes, bytes + length);
}

inline void PutText(std::vector<uint8_t>* out, const char* text) { PutBytes(out, text, std::strlen(text)); }

inline void PutPascal(std::vector<uint8_t>* out, const char* text) {
  out->push_back(uint8_t(std::strlen(text)));
  PutText(out, text);
}

inline void PutZeros(std::vector<uint8_t>* out, size_t count) { out->insert(out->end(), count, 0); }

inline void PutDouble(std::vector<uint8_t>* out, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Put32(out, uint32_t(bits));
  Put32(out, uint32_t(bits >> 32));
}

inline void PutPropertyHeader(std::vector<uint8_t>* out, const char* key, uint32_t id, uint32_t length) {
  PutCode(out, "8BIM");
  PutCode(out, key);
  Put32(out, id);
  Put32(out, length);
}

// Shift-JIS names of the two parameters.
const char drawName[] = "\x95\x60\x89\xE6";                  // 描画
const char shftName[] = "\x83\x56\x83\x74\x83\x67";          // シフト

inline void PutParameterRecord(std::vector<uint8_t>* out, uint32_t id, const char* name, uint32_t second,
                               uint32_t third, double maximum) {
  PutPropertyHeader(out, "aPAR", id, 100);
  PutText(out, name);
  PutZeros(out, 32 - std::strlen(name));
  Put32(out, 0);
  Put32(out, second);
  Put32(out, third);
  PutDouble(out, 0.0);
  PutDouble(out, maximum);
  PutDouble(out, 0.0);
  PutDouble(out, maximum);
  Put32(out, 10);
  Put32(out, 2);
  PutZeros(out, 16);
}

const char enableRule[] = "in (PSHOP_ImageMode, GrayScaleMode, RGBMode, Gray16Mode, RGB48Mode)";

// The entry point's code property: 'wx86' in the 32-bit module, '8664' in
// the 64-bit one. Everything else is the same in both.
const char entryKey32[] = "wx86";
const char entryKey64[] = "8664";
#if defined(_WIN64)
const char* const entryKey = entryKey64;
#else
const char* const entryKey = entryKey32;
#endif

// The list of the module built for this word size, or with `codeKey` as its
// entry point's property.
inline std::vector<uint8_t> PropertyList(const char* codeKey = entryKey) {
  std::vector<uint8_t> out;
  Put16(&out, 1);
  Put32(&out, 0);
  Put32(&out, 13);
  PutPropertyHeader(&out, "kind", 0, 4);
  PutCode(&out, "8BFM");
  PutPropertyHeader(&out, "name", 0, 16);
  PutPascal(&out, "Vardelkist...");
  PutZeros(&out, 2);
  PutPropertyHeader(&out, "catg", 0, 12);
  PutPascal(&out, "FalmetPlug");
  PutZeros(&out, 1);
  PutPropertyHeader(&out, "vers", 0, 4);
  Put32(&out, 0x00040000);
  PutPropertyHeader(&out, codeKey, 0, 12);
  PutText(&out, "PluginMain");
  PutZeros(&out, 2);
  PutPropertyHeader(&out, "hstm", 0, 36);
  Put32(&out, 0);
  PutText(&out, "C0gr");
  PutText(&out, "Girt");
  Put16(&out, 16000);
  PutText(&out, "falmet Vardelkist");
  PutZeros(&out, 1 + 4);
  PutPropertyHeader(&out, "mode", 0, 4);
  PutBytes(&out, "\x50\0\0\0", 4);
  PutPropertyHeader(&out, "enbl", 0, 72);
  PutText(&out, enableRule);
  PutZeros(&out, 1 + 4);
  PutPropertyHeader(&out, "fici", 0, 28);
  for (int filterCase = 0; filterCase < 7; ++filterCase) PutBytes(&out, "\x01\x01\x01\x00", 4);
  PutPropertyHeader(&out, "aFLT", 0, 68);
  Put32(&out, 1);
  Put32(&out, 0);
  Put32(&out, 0);
  Put32(&out, 76);
  Put32(&out, 2);
  PutText(&out, "Vardelkist");
  PutZeros(&out, 38);
  PutParameterRecord(&out, 0, drawName, 2, 0, 1.0);
  PutParameterRecord(&out, 1, shftName, 5, 2, 65535.0);
  PutPropertyHeader(&out, "eGLO", 0, 4);
  Put32(&out, 0x00385FFC);
  return out;
}

// Where each property's vendor field starts, in file order.
const size_t propertyStarts[13] = {0x0A, 0x1E, 0x3E, 0x5A, 0x6E, 0x8A, 0xBE, 0xD2, 0x12A, 0x156, 0x1AA, 0x21E, 0x292};

inline std::vector<uint8_t> Terminology() {
  std::vector<uint8_t> out;
  Put16(&out, 1);
  out.push_back(1);  // major version
  out.push_back(0);  // minor version
  Put16(&out, 0);
  Put16(&out, 0);
  Put16(&out, 1);  // suites
  PutPascal(&out, "falmet");
  PutPascal(&out, "Plot Prime Number");
  PutText(&out, "C0gr");
  Put16(&out, 1);
  Put16(&out, 1);
  Put16(&out, 1);  // events
  PutPascal(&out, "Vardelkist");
  PutPascal(&out, "Plot Prime Number");
  PutText(&out, "C0gr");
  PutText(&out, "Girt");
  PutCode(&out, "null");
  PutPascal(&out, "");
  Put16(&out, 0x0000);
  PutCode(&out, "#ImR");
  PutPascal(&out, "");
  Put16(&out, 0xB000);
  Put16(&out, 2);  // other parameters
  PutPascal(&out, drawName);
  PutCode(&out, "draw");
  PutCode(&out, "long");
  PutPascal(&out, drawName);
  Put16(&out, 0x0000);
  PutPascal(&out, shftName);
  PutCode(&out, "shft");
  PutCode(&out, "long");
  PutPascal(&out, shftName);
  Put16(&out, 0x0000);
  Put16(&out, 0);  // classes
  Put16(&out, 0);  // comparison operators
  Put16(&out, 0);  // enumerations
  return out;
}

}  // namespace expected
