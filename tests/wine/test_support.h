// Helpers shared by the wine test programs.
#pragma once

#include <string>

// Directory of the running test executable, without a trailing backslash.
std::string ExecutableDirectory();

// The plug-in under test: the build copies Vardelkist.8bf next to the test
// executable.
std::string PluginPath();

// A file name for scratch output next to the executable, unique per call.
std::string ScratchPath(const char* suffix);
