// vkhost's commands and the argument parsing they share.
#pragma once

#include <cstdint>
#include <string>

#include "host/host_api.h"

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitOutOfMemory = 3;

// Each takes the arguments after the command word.
int RunApply(int argc, char** argv);
int RunGenerate(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunAbout(int argc, char** argv);  // shows the plug-in's about box

// Parsers: false for text that is not exactly what they accept.
bool ParseInteger(const char* text, int32_t low, int32_t high, int32_t* value);
bool ParseColor(const char* text, RGBColor* color);  // RRGGBB, optionally with a leading '#'
bool ParseRect(const char* text, Rect* rect);        // top,left,bottom,right

// Prints "vkhost: message" to stderr and returns `code`.
int Complain(int code, const std::string& message);
