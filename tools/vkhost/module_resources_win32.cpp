// Reading a module's resources without running it: the module is mapped as
// data, so neither its DLLMain nor any of its imports is touched.
#include <windows.h>

#include <string>
#include <vector>

#include "tools/vkhost/host_internal.h"
#include "tools/vkhost/property_list.h"

namespace {

HMODULE OpenAsData(const char* path) {
  const std::wstring wide = WidePath(path);
  HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  // Systems before Vista know only the plain data-file mapping.
  if (module == nullptr) module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  return module;
}

// A resource name is either a small integer or a string; keep either beyond the enumeration.
struct ResourceName {
  bool found = false;
  bool isNumber = false;
  WORD number = 0;
  std::string text;
};

LPCSTR AsParameter(const ResourceName& name) {
  return name.isNumber ? MAKEINTRESOURCEA(name.number) : name.text.c_str();
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
  ResourceName* first = reinterpret_cast<ResourceName*>(param);
  first->found = true;
  first->isNumber = IS_INTRESOURCE(name);
  if (first->isNumber) first->number = LOWORD(reinterpret_cast<ULONG_PTR>(name));
  else first->text = name;
  return FALSE;
}

struct FirstLanguage {
  bool found = false;
  WORD language = 0;
};

BOOL CALLBACK TakeFirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
  FirstLanguage* first = reinterpret_cast<FirstLanguage*>(param);
  first->found = true;
  first->language = language;
  return FALSE;
}

// Copies resource (type, name) in the first language the module holds it in.
bool CopyResource(HMODULE module, LPCSTR type, LPCSTR name, std::vector<uint8_t>* bytes) {
  FirstLanguage first;
  EnumResourceLanguagesA(module, type, name, TakeFirstLanguage, reinterpret_cast<LONG_PTR>(&first));
  if (!first.found) return false;
  HRSRC info = FindResourceExA(module, type, name, first.language);
  if (info == nullptr) return false;
  DWORD size = SizeofResource(module, info);
  HGLOBAL loaded = LoadResource(module, info);
  const uint8_t* data = loaded != nullptr ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  if (data == nullptr) return false;
  bytes->assign(data, data + size);
  return true;
}

std::string ErrorText(const char* what, const char* path) {
  DWORD code = GetLastError();  // before any allocation below can change it
  return std::string(what) + " " + path + ": " + ErrorWords(code);
}

bool Fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

bool ReadFirstPropertyList(HMODULE module, const char* path, std::vector<uint8_t>* bytes, std::string* error) {
  ResourceName first;
  EnumResourceNamesA(module, "PIPL", TakeFirstName, reinterpret_cast<LONG_PTR>(&first));
  if (!first.found) return Fail(error, std::string("no PIPL resource in ") + path);
  if (!CopyResource(module, "PIPL", AsParameter(first), bytes))
    return Fail(error, ErrorText("cannot load the PIPL resource of", path));
  return true;
}

bool CheckFilter(const PluginProperties& properties, const char* path, std::string* error) {
  if (properties.kind != kFilterKind) return Fail(error, std::string(path) + " is not a filter: its 'kind' is not '8BFM'");
  if (!HostEntryPoint(properties).empty()) return true;
  // The commonest reason a filter is missing from a menu: built for the other word size.
  const bool host64 = sizeof(void*) == 8;
  const std::string& other = host64 ? properties.entryPoint32 : properties.entryPoint64;
  std::string reason = std::string(path) + " names no entry point for " +
                       (host64 ? "64-bit hosts ('8664')" : "32-bit hosts ('wx86')");
  if (!other.empty()) reason += std::string(": it is a ") + (host64 ? "32" : "64") + "-bit plug-in";
  return Fail(error, reason);
}

}  // namespace

bool ReadModuleProperties(const char* path, PluginProperties* out, std::string* error) {
  *out = PluginProperties();
  HMODULE module = OpenAsData(path);
  if (module == nullptr) return Fail(error, ErrorText("cannot open", path));
  std::vector<uint8_t> bytes;
  bool read = ReadFirstPropertyList(module, path, &bytes, error);
  FreeLibrary(module);
  if (!read) return false;
  std::string reason;
  if (!ParsePropertyList(bytes.data(), bytes.size(), out, &reason))
    return Fail(error, std::string("malformed PIPL in ") + path + ": " + reason);
  return CheckFilter(*out, path, error);
}

bool ReadModuleResource(const char* path, const char* type, int id, std::vector<uint8_t>* bytes) {
  bytes->clear();
  HMODULE module = OpenAsData(path);
  if (module == nullptr) return false;
  bool read = CopyResource(module, type, MAKEINTRESOURCEA(id), bytes);
  FreeLibrary(module);
  return read;
}
