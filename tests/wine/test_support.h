// Helpers shared by the wine test programs.
#pragma once

#include <cstdint>
#include <string>

// Directory of the running test executable, without a trailing backslash.
std::string ExecutableDirectory();

// The plug-in under test: the build copies the module of the test program's
// word size (Vardelkist.8bf or Vardelkist64.8bf) next to the test executable.
std::string PluginPath();
const char* PluginFileName();

// The module built for the other word size, named by the test runner in
// VARDELKIST_OTHER_PLUGIN; empty when it is not given.
std::string OtherWordSizePluginPath();

// A small xorshift generator for tests that pick cases at random yet the
// same ones every run: the next value below `range`.
uint32_t NextTestRandom(uint32_t* state, uint32_t range);

// A file name for scratch output next to the executable, unique per call.
std::string ScratchPath(const char* suffix);
