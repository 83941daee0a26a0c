// Recorded actions on disk, in the descriptor's text form.
#include <cstdio>

#include "tools/vkhost/host_internal.h"

namespace {

constexpr long kMaxActionBytes = 64 * 1024;

bool Fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

}  // namespace

bool SaveAction(const char* path, const HostDescriptor& descriptor, std::string* error) {
  const std::string text = FormatDescriptor(descriptor);
  return ReplaceFileContents(path, text.data(), text.size(), error);
}

bool LoadAction(const char* path, HostDescriptor* descriptor, std::string* error) {
  FILE* file = _wfopen(WidePath(path).c_str(), L"rb");
  if (file == nullptr) return Fail(error, std::string("cannot open ") + path + ": " + ErrorWords(GetLastError()));
  std::string text(static_cast<size_t>(kMaxActionBytes) + 1, '\0');
  const size_t read = std::fread(&text[0], 1, text.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return Fail(error, std::string("cannot read ") + path);
  if (read > static_cast<size_t>(kMaxActionBytes)) return Fail(error, std::string(path) + " is too large for an action");
  text.resize(read);
  std::string reason;
  if (!ParseDescriptor(text, descriptor, &reason)) return Fail(error, std::string(path) + ": " + reason);
  return true;
}
