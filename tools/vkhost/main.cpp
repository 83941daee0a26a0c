// vkhost: our filter host on the command line.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "tools/vkhost/command_line.h"
#include "tools/vkhost/host.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  vkhost apply PLUGIN.8bf IN.png OUT.png [--layout normal|spiral] [--shift N]\n"
    "               [--fg RRGGBB] [--bg RRGGBB] [--rect top,left,bottom,right]\n"
    "               [--abort-at N] [--repeat N] [--16bit] [--dialog] [--show-preview]\n"
    "               [--screenshot DIALOG.png] [--record ACTION.txt] [--replay ACTION.txt]\n"
    "               [--host-profile NAME[,NAME...]]\n"
    "                 (standard, partial, unmasked-fp, bare, stale, no-callbacks)\n"
    "  vkhost generate OUT.png WIDTH HEIGHT [--gray] [--alpha] [--16bit]\n"
    "  vkhost --info PLUGIN.8bf\n"
    "  vkhost about PLUGIN.8bf [--screenshot ABOUT.png]\n"
    "\n"
    "apply keeps the picture's kind (gray, gray+alpha, RGB, RGBA) and depth (8 or\n"
    "16 bits); samples the filter leaves alone are written back exactly. A palette\n"
    "or interlaced PNG comes out as plain RGB (RGBA when it has transparency), gray\n"
    "below 8 bits as 8-bit gray. OUT.png may be IN.png: it is replaced only by a\n"
    "complete new file, and left as it was on any failure or Ctrl+C.\n"
    "Without --dialog no display is needed, and any dialog the filter opens anyway\n"
    "(--host-profile partial) is answered by the host with the given values and OK.\n"
    "--repeat N runs the filter N times over the picture, which comes out as after\n"
    "one run, and prints the fastest and the median plug-in time.\n"
    "\n"
    "exit status: 0 done, 1 failed, 2 bad command line, 3 out of memory,\n"
    "130 interrupted (Ctrl+C)\n";

// Pictures near the limits of a 32-bit process may not fit; say so plainly.
void OutOfMemory() {
  std::fputs("vkhost: out of memory (the picture is too large for a 32-bit host)\n", stderr);
  std::exit(kExitOutOfMemory);
}

}  // namespace

int Complain(int code, const std::string& message) {
  std::fprintf(stderr, "vkhost: %s\n", message.c_str());
  return code;
}

bool ParseInteger(const char* text, int32_t low, int32_t high, int32_t* value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

bool ParseColor(const char* text, RGBColor* color) {
  if (text == nullptr) return false;
  if (*text == '#') ++text;
  if (std::strlen(text) != 6 || std::strspn(text, "0123456789abcdefABCDEF") != 6) return false;
  unsigned long rgb = std::strtoul(text, nullptr, 16);
  // 0xFF -> 0xFFFF: the host's 16-bit colour scale.
  color->red = static_cast<uint16_t>(((rgb >> 16) & 0xFF) * 257);
  color->green = static_cast<uint16_t>(((rgb >> 8) & 0xFF) * 257);
  color->blue = static_cast<uint16_t>((rgb & 0xFF) * 257);
  return true;
}

bool ParseRect(const char* text, Rect* rect) {
  if (text == nullptr) return false;
  int32_t values[4];
  std::string rest = text;
  for (int i = 0; i < 4; ++i) {
    size_t comma = rest.find(',');
    if ((comma == std::string::npos) != (i == 3)) return false;
    std::string part = rest.substr(0, comma);
    if (!ParseInteger(part.c_str(), 0, 30000, &values[i])) return false;
    rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
  }
  *rect = {static_cast<int16_t>(values[0]), static_cast<int16_t>(values[1]), static_cast<int16_t>(values[2]),
           static_cast<int16_t>(values[3])};
  return true;
}

// The command line as the user typed it: the C runtime's argv is in the ANSI
// code page, which cannot hold every file name; UTF-16 can, and every path
// is UTF-8 from here on.
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

int Dispatch(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "apply") == 0) return RunApply(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "generate") == 0) return RunGenerate(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "--info") == 0) return RunInfo(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "about") == 0) return RunAbout(argc - 2, argv + 2);
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

int main(int, char**) {
  std::set_new_handler(OutOfMemory);
  // Text in binary mode: lines end in LF, as on the system that runs us;
  // UTF-8 file names print as typed on a console too.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> arguments = Utf8Arguments();
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  return Dispatch(static_cast<int>(arguments.size()), argv.data());
}
