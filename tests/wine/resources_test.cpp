// What a host learns from the built Vardelkist.8bf before running it: the
// property list, the scripting terminology and the version information, read
// back from the module's resource section and compared with the expected
// bytes. Then what our host does with modules whose property list is missing
// or damaged.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/terminology_ids.h"
#include "resources/version.h"
#include "tests/expected_resources.h"
#include "tests/wine/test_support.h"
#include "tools/vkhost/property_list.h"

namespace {

const WORD japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
const int resourceId = 16000;

HMODULE OpenAsData(const std::string& path) {
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

// The resource in exactly `language`; empty when the module has none there.
std::vector<uint8_t> ResourceInLanguage(const char* type, WORD language) {
  std::vector<uint8_t> bytes;
  HMODULE module = OpenAsData(PluginPath());
  if (module == nullptr) return bytes;
  HRSRC info = FindResourceExA(module, type, MAKEINTRESOURCEA(resourceId), language);
  HGLOBAL loaded = info != nullptr ? LoadResource(module, info) : nullptr;
  const uint8_t* data = loaded != nullptr ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  if (data != nullptr) bytes.assign(data, data + SizeofResource(module, info));
  FreeLibrary(module);
  return bytes;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
  reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
  return TRUE;
}

std::vector<WORD> LanguagesOf(const char* type) {
  std::vector<WORD> languages;
  HMODULE module = OpenAsData(PluginPath());
  if (module == nullptr) return languages;
  EnumResourceLanguagesA(module, type, MAKEINTRESOURCEA(resourceId), CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  FreeLibrary(module);
  return languages;
}

std::string Hex(const std::vector<uint8_t>& bytes, size_t at) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", at < bytes.size() ? bytes[at] : 0);
  return text;
}

// Offset of the first difference, or the shorter size.
size_t FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

void ExpectSameBytes(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& wanted) {
  size_t at = FirstDifference(actual, wanted);
  EXPECT_EQ(actual.size(), wanted.size());
  EXPECT_EQ(at, wanted.size()) << "first difference at byte 0x" << std::hex << at << ": 0x"
                               << Hex(actual, at) << ", expected 0x" << Hex(wanted, at);
}

// --- A walker over the terminology, enough for one suite without classes,
// comparison operators or enumerations.

struct AeteParameter {
  std::string name;
  uint32_t key = 0;
  uint32_t type = 0;
  std::string description;
  uint16_t flags = 0;
};

struct AeteEvent {
  std::string name;
  std::string description;
  uint32_t eventClass = 0;
  uint32_t eventId = 0;
  uint32_t replyType = 0;
  uint16_t replyFlags = 0;
  uint32_t directType = 0;
  uint16_t directFlags = 0;
  std::vector<AeteParameter> parameters;
};

struct Aete {
  std::string suiteName;
  uint32_t suiteId = 0;
  std::vector<AeteEvent> events;
  size_t end = 0;
};

struct AeteReader {
  const std::vector<uint8_t>& bytes;
  size_t at;
  bool ok;
};

uint32_t ReadUnsigned(AeteReader* r, size_t size) {
  if (!r->ok || r->bytes.size() - r->at < size) {
    r->ok = false;
    return 0;
  }
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i) value |= uint32_t(r->bytes[r->at + i]) << (8 * i);
  r->at += size;
  return value;
}

uint16_t Read16(AeteReader* r) { return uint16_t(ReadUnsigned(r, 2)); }
uint32_t Read32(AeteReader* r) { return ReadUnsigned(r, 4); }

std::string ReadPascal(AeteReader* r) {
  size_t length = ReadUnsigned(r, 1);
  if (!r->ok || r->bytes.size() - r->at < length) {
    r->ok = false;
    return std::string();
  }
  std::string text(reinterpret_cast<const char*>(&r->bytes[r->at]), length);
  r->at += length;
  return text;
}

AeteParameter ReadParameter(AeteReader* r) {
  AeteParameter parameter;
  parameter.name = ReadPascal(r);
  parameter.key = Read32(r);
  parameter.type = Read32(r);
  parameter.description = ReadPascal(r);
  parameter.flags = Read16(r);
  return parameter;
}

AeteEvent ReadEvent(AeteReader* r) {
  AeteEvent event;
  event.name = ReadPascal(r);
  event.description = ReadPascal(r);
  event.eventClass = Read32(r);
  event.eventId = Read32(r);
  event.replyType = Read32(r);
  ReadPascal(r);
  event.replyFlags = Read16(r);
  event.directType = Read32(r);
  ReadPascal(r);
  event.directFlags = Read16(r);
  for (int count = Read16(r); r->ok && count > 0; --count) event.parameters.push_back(ReadParameter(r));
  return event;
}

bool WalkTerminology(const std::vector<uint8_t>& bytes, Aete* aete) {
  AeteReader r = {bytes, 0, true};
  Read16(&r);                                   // reserved
  ReadUnsigned(&r, 1);                          // major version
  ReadUnsigned(&r, 1);                          // minor version
  Read16(&r);                                   // language
  Read16(&r);                                   // script
  if (Read16(&r) != 1) return false;            // suites
  aete->suiteName = ReadPascal(&r);
  ReadPascal(&r);
  aete->suiteId = Read32(&r);
  Read16(&r);                                   // level
  Read16(&r);                                   // version
  for (int count = Read16(&r); r.ok && count > 0; --count) aete->events.push_back(ReadEvent(&r));
  for (int list = 0; list < 3; ++list)          // classes, comparison operators, enumerations
    if (Read16(&r) != 0) return false;
  aete->end = r.at;
  return r.ok;
}

// --- The resources as built.

TEST(Resources, PropertyListIsStoredInJapaneseOnly) {
  EXPECT_EQ(LanguagesOf("PIPL"), std::vector<WORD>{japanese});
  EXPECT_EQ(LanguagesOf("AETE"), std::vector<WORD>{japanese});
}

TEST(Resources, PropertyListHasTheExpectedBytes) {
  std::vector<uint8_t> list = ResourceInLanguage("PIPL", japanese);
  EXPECT_EQ(list.size(), 678u);
  ExpectSameBytes(list, expected::PropertyList());
}

TEST(Resources, TerminologyHasTheExpectedBytes) {
  std::vector<uint8_t> terminology = ResourceInLanguage("AETE", japanese);
  EXPECT_EQ(terminology.size(), 148u);
  ExpectSameBytes(terminology, expected::Terminology());
}

TEST(Resources, PropertyListParsesToItsLastByte) {
  PluginProperties properties;
  std::string error;
  ASSERT_TRUE(ReadModuleProperties(PluginPath().c_str(), &properties, &error)) << error;
  EXPECT_EQ(properties.propertyCount, 13);
  EXPECT_EQ(properties.parsedBytes, 678u);
  EXPECT_EQ(properties.kind, uint32_t('8BFM'));
  EXPECT_EQ(properties.name, "Vardelkist...");
  EXPECT_EQ(properties.name.size(), 13u);
  EXPECT_EQ(properties.category, "FalmetPlug");
  EXPECT_EQ(properties.version, 0x00040000u);
  EXPECT_EQ(properties.modes[0], 0x50);
  EXPECT_EQ(properties.enableRule, expected::enableRule);
}

TEST(Resources, PropertiesStartWhereExpected) {
  std::vector<uint8_t> list = ResourceInLanguage("PIPL", japanese);
  ASSERT_EQ(list.size(), 678u);
  size_t at = 10;
  for (size_t start : expected::propertyStarts) {
    EXPECT_EQ(at, start);
    uint32_t length = 0;
    std::memcpy(&length, &list[at + 12], 4);
    at += 16 + ((length + 3) & ~3u);
    ASSERT_LE(at, list.size());
  }
  EXPECT_EQ(at, list.size());
}

TEST(Resources, TerminologyWalksToItsLastByte) {
  std::vector<uint8_t> terminology = ResourceInLanguage("AETE", japanese);
  Aete aete;
  ASSERT_TRUE(WalkTerminology(terminology, &aete));
  EXPECT_EQ(aete.end, 148u);
  EXPECT_EQ(aete.end, terminology.size());
  EXPECT_EQ(aete.suiteName, "falmet");
  ASSERT_EQ(aete.events.size(), 1u);
  const AeteEvent& event = aete.events[0];
  EXPECT_EQ(event.name, "Vardelkist");
  EXPECT_EQ(event.description, "Plot Prime Number");
  EXPECT_EQ(event.replyType, uint32_t('null'));
  EXPECT_EQ(event.directType, uint32_t('#ImR'));
  EXPECT_EQ(event.directFlags, 0xB000);
  ASSERT_EQ(event.parameters.size(), 2u);
  EXPECT_EQ(event.parameters[0].key, uint32_t('draw'));
  EXPECT_EQ(event.parameters[1].key, uint32_t('shft'));
  for (const AeteParameter& parameter : event.parameters) {
    EXPECT_EQ(parameter.type, uint32_t('long'));
    EXPECT_EQ(parameter.flags, 0);
    EXPECT_EQ(parameter.description, parameter.name);
  }
}

TEST(Resources, TerminologyKeysAreTheOnesTheScriptingCodeUses) {
  Aete aete;
  ASSERT_TRUE(WalkTerminology(ResourceInLanguage("AETE", japanese), &aete));
  ASSERT_EQ(aete.events.size(), 1u);
  ASSERT_EQ(aete.events[0].parameters.size(), 2u);
  EXPECT_EQ(aete.events[0].parameters[0].key, keyDraw);
  EXPECT_EQ(aete.events[0].parameters[1].key, keyShft);
  EXPECT_EQ(aete.events[0].eventClass, plotEventClass);
  EXPECT_EQ(aete.events[0].eventId, plotEventId);
}

TEST(Resources, TerminologyLinkMatchesTheTerminology) {
  PluginProperties properties;
  std::string error;
  ASSERT_TRUE(ReadModuleProperties(PluginPath().c_str(), &properties, &error)) << error;
  ASSERT_TRUE(properties.hasTerminology);
  EXPECT_EQ(properties.terminologyId, resourceId);
  EXPECT_EQ(properties.terminologyScope, "falmet Vardelkist");

  std::vector<uint8_t> terminology;
  ASSERT_TRUE(ReadModuleResource(PluginPath().c_str(), "AETE", properties.terminologyId, &terminology));
  Aete aete;
  ASSERT_TRUE(WalkTerminology(terminology, &aete));
  ASSERT_EQ(aete.events.size(), 1u);
  EXPECT_EQ(properties.terminologyClass, aete.events[0].eventClass);
  EXPECT_EQ(properties.terminologyEvent, aete.events[0].eventId);
  EXPECT_EQ(aete.suiteId, aete.events[0].eventClass);
  EXPECT_EQ(std::memcmp(&terminology[0x4A], "C0grGirt", 8), 0);
}

// The parameter records' name fields: text up to the first zero byte.
std::string ParameterRecordName(const std::vector<uint8_t>& list, int record) {
  size_t data = expected::propertyStarts[10 + record] + 16;
  auto field = list.begin() + data;
  return std::string(field, std::find(field, field + 32, 0));
}

TEST(Resources, ShiftJisNamesHaveTheirByteLengthsInBothResources) {
  std::vector<uint8_t> list = ResourceInLanguage("PIPL", japanese);
  ASSERT_EQ(list.size(), 678u);
  EXPECT_EQ(ParameterRecordName(list, 0), std::string("\x95\x60\x89\xE6"));          // 描画
  EXPECT_EQ(ParameterRecordName(list, 1), std::string("\x83\x56\x83\x74\x83\x67"));  // シフト

  Aete aete;
  ASSERT_TRUE(WalkTerminology(ResourceInLanguage("AETE", japanese), &aete));
  ASSERT_EQ(aete.events.size(), 1u);
  ASSERT_EQ(aete.events[0].parameters.size(), 2u);
  EXPECT_EQ(aete.events[0].parameters[0].name.size(), 4u);
  EXPECT_EQ(aete.events[0].parameters[1].name.size(), 6u);
  EXPECT_EQ(aete.events[0].parameters[0].name, ParameterRecordName(list, 0));
  EXPECT_EQ(aete.events[0].parameters[1].name, ParameterRecordName(list, 1));
}

TEST(Resources, EntryPointNamedByThePropertyListIsExported) {
  PluginProperties properties;
  std::string error;
  ASSERT_TRUE(ReadModuleProperties(PluginPath().c_str(), &properties, &error)) << error;
  EXPECT_EQ(HostEntryPoint(properties), "PluginMain");
  // Only the entry of the module's own word size is named.
  EXPECT_EQ(sizeof(void*) == 8 ? properties.entryPoint32 : properties.entryPoint64, "");
  HMODULE module = LoadLibraryA(PluginPath().c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_NE(reinterpret_cast<void*>(GetProcAddress(module, HostEntryPoint(properties).c_str())), nullptr);
  FreeLibrary(module);
}

std::string VersionString(const std::vector<char>& info, const char* block, const char* name) {
  std::string query = std::string("\\StringFileInfo\\") + block + "\\" + name;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), query.c_str(), &value, &length) || value == nullptr) return "(missing)";
  return static_cast<const char*>(value);
}

TEST(Resources, VersionInformationNamesTheProduct) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(PluginPath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(PluginPath().c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  // The numbers and the text come from one definition; the text is the
  // version the about box and the dialog title show.
  EXPECT_STREQ(VARDELKIST_VERSION_TEXT, "1.0.0");
  const DWORD major = VARDELKIST_VERSION_MAJOR, minor = VARDELKIST_VERSION_MINOR, patch = VARDELKIST_VERSION_PATCH;
  EXPECT_EQ(fixed->dwFileVersionMS, (major << 16) | minor);
  EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
  EXPECT_EQ(fixed->dwProductVersionMS, (major << 16) | minor);
  EXPECT_EQ(fixed->dwProductVersionLS, patch << 16);
  EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));

  WORD* translations = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(translations[0], japanese);

  for (const char* block : {"041104B0", "040904B0"}) {
    EXPECT_EQ(VersionString(info, block, "ProductName"), "Vardelkist");
    EXPECT_EQ(VersionString(info, block, "ProductVersion"), VARDELKIST_VERSION_TEXT);
    EXPECT_EQ(VersionString(info, block, "FileVersion"), VARDELKIST_VERSION_TEXT);
    EXPECT_EQ(VersionString(info, block, "FileDescription"), "Plot Prime Number");
    EXPECT_EQ(VersionString(info, block, "Comments"), "Plot Prime Number");
    EXPECT_EQ(VersionString(info, block, "OriginalFilename"), PluginFileName());
  }
}

// --- Modules our host must turn away with a reason.

void ExpectNoProperties(const std::string& path, const char* reasonPart) {
  PluginProperties properties;
  std::string error;
  EXPECT_FALSE(ReadModuleProperties(path.c_str(), &properties, &error)) << path;
  EXPECT_NE(error.find(reasonPart), std::string::npos) << error;
}

std::string ThisExecutable() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length);
}

TEST(PropertyListReader, RejectsModulesWithoutPropertyList) {
  ExpectNoProperties("kernel32.dll", "no PIPL");
  ExpectNoProperties(ThisExecutable(), "no PIPL");
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(ReadModuleResource("kernel32.dll", "PIPL", resourceId, &bytes));
  EXPECT_FALSE(ReadModuleResource(PluginPath().c_str(), "PIPL", resourceId + 1, &bytes));
}

TEST(PropertyListReader, RejectsMissingFiles) {
  ExpectNoProperties(ExecutableDirectory() + "\\missing.8bf", "cannot open");
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(ReadModuleResource((ExecutableDirectory() + "\\missing.8bf").c_str(), "PIPL", resourceId, &bytes));
}

TEST(PropertyListReader, RejectsDamageToTheModulesList) {
  std::vector<uint8_t> list;
  ASSERT_TRUE(ReadModuleResource(PluginPath().c_str(), "PIPL", resourceId, &list));
  ASSERT_EQ(list.size(), 678u);
  PluginProperties properties;
  std::string error;
  for (size_t size = 0; size < list.size(); ++size) {
    std::vector<uint8_t> truncated(list.begin(), list.begin() + size);
    EXPECT_FALSE(ParsePropertyList(truncated.data(), truncated.size(), &properties, &error)) << size;
  }
  for (uint32_t count : {12u, 14u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> damaged = list;
    std::memcpy(&damaged[6], &count, 4);
    EXPECT_FALSE(ParsePropertyList(damaged.data(), damaged.size(), &properties, &error)) << count;
  }
  for (uint32_t length : {0xFFFFFFFFu, 0x7FFFFFFFu, 700u}) {
    std::vector<uint8_t> damaged = list;
    std::memcpy(&damaged[expected::propertyStarts[6] + 12], &length, 4);
    EXPECT_FALSE(ParsePropertyList(damaged.data(), damaged.size(), &properties, &error)) << length;
    EXPECT_FALSE(error.empty());
  }
}

// A copy of the plug-in whose property list is replaced by `list`.
std::string PluginWithPropertyList(const std::vector<uint8_t>& list) {
  std::string copy = ScratchPath(".8bf");
  if (!CopyFileA(PluginPath().c_str(), copy.c_str(), FALSE)) return std::string();
  HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
  if (update == nullptr) return std::string();
  std::vector<uint8_t> data = list;  // UpdateResource takes a non-const pointer
  BOOL updated = UpdateResourceA(update, "PIPL", MAKEINTRESOURCEA(resourceId), japanese, data.data(), DWORD(data.size()));
  if (!EndUpdateResourceA(update, !updated) || !updated) return std::string();
  return copy;
}

void ExpectModuleRejected(const std::vector<uint8_t>& list, const char* reasonPart) {
  std::string module = PluginWithPropertyList(list);
  ASSERT_FALSE(module.empty());
  ExpectNoProperties(module, reasonPart);
  DeleteFileA(module.c_str());
}

TEST(PropertyListReader, RejectsModulesWithDamagedLists) {
  std::vector<uint8_t> list = expected::PropertyList();
  ExpectModuleRejected(std::vector<uint8_t>(list.begin(), list.begin() + 300), "malformed PIPL");

  std::vector<uint8_t> wrongCount = list;
  wrongCount[6] = 14;
  ExpectModuleRejected(wrongCount, "malformed PIPL");

  std::vector<uint8_t> notAFilter = list;
  std::memcpy(&notAFilter[expected::propertyStarts[0] + 16], "MFB9", 4);
  ExpectModuleRejected(notAFilter, "not a filter");

  std::vector<uint8_t> noEntryName = list;
  noEntryName[expected::propertyStarts[4] + 16] = 0;
  ExpectModuleRejected(noEntryName, "no entry point");
}

TEST(PropertyListReader, ReadsAnUndamagedCopy) {
  std::string module = PluginWithPropertyList(expected::PropertyList());
  ASSERT_FALSE(module.empty());
  PluginProperties properties;
  std::string error;
  EXPECT_TRUE(ReadModuleProperties(module.c_str(), &properties, &error)) << error;
  DeleteFileA(module.c_str());
}

}  // namespace
