// vkhost: our filter host on the command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "tools/vkhost/command_line.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  vkhost apply PLUGIN.8bf IN.png OUT.png [--layout normal|spiral] [--shift N]\n"
    "               [--fg RRGGBB] [--bg RRGGBB] [--rect top,left,bottom,right]\n"
    "               [--abort-at N] [--16bit] [--dialog] [--show-preview]\n"
    "               [--screenshot DIALOG.png] [--record ACTION.txt] [--replay ACTION.txt]\n"
    "               [--host-profile standard|partial|unmasked-fp ...]\n"
    "  vkhost generate OUT.png WIDTH HEIGHT [--gray] [--alpha] [--16bit]\n"
    "  vkhost --info PLUGIN.8bf\n"
    "  vkhost about PLUGIN.8bf [--screenshot ABOUT.png]\n";

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

int main(int argc, char** argv) {
  std::set_new_handler(OutOfMemory);
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
