#include "tests/wine/test_support.h"

#include <windows.h>

std::string ExecutableDirectory() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return ".";
  std::string directory(path, length);
  size_t slash = directory.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : directory.substr(0, slash);
}

std::string PluginPath() { return ExecutableDirectory() + "\\" + PluginFileName(); }

const char* PluginFileName() { return sizeof(void*) == 8 ? "Vardelkist64.8bf" : "Vardelkist.8bf"; }

std::string OtherWordSizePluginPath() {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("VARDELKIST_OTHER_PLUGIN", path, sizeof path);
  return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

std::string ScratchPath(const char* suffix) {
  static int counter = 0;
  return ExecutableDirectory() + "\\scratch_" + std::to_string(GetCurrentProcessId()) + "_" +
         std::to_string(++counter) + suffix;
}

uint32_t NextTestRandom(uint32_t* state, uint32_t range) {
  *state ^= *state << 13;
  *state ^= *state >> 17;
  *state ^= *state << 5;
  return *state % range;
}
