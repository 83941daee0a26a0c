// vkhost --info and vkhost generate.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "tools/vkhost/command_line.h"
#include "tools/vkhost/host_internal.h"
#include "tools/vkhost/screenshot.h"

namespace {

// The 'mode' flags, most significant bit of the first byte first.
const char* const kModeNames[16] = {
    "bitmap", "grayscale", "indexed colour", "RGB colour", "CMYK colour", "HSL colour", "HSB colour",
    "multichannel", "duotone", "Lab colour", "gray 16", "RGB 48", "Lab 48", "CMYK 64", "deep multichannel",
    "duotone 16"};

std::string ModeList(const PluginProperties& properties) {
  if (!properties.hasModes) return "(none declared)";
  std::string list;
  for (int bit = 0; bit < 16; ++bit) {
    if ((properties.modes[bit / 8] & (0x80 >> (bit % 8))) == 0) continue;
    list += (list.empty() ? "" : ", ") + std::string(kModeNames[bit]);
  }
  char bytes[40];
  std::snprintf(bytes, sizeof bytes, " (flag bytes %02X %02X %02X %02X)", properties.modes[0], properties.modes[1],
                properties.modes[2], properties.modes[3]);
  return (list.empty() ? "no mode" : list) + bytes;
}

// A code as it reads in the file: the stored little-endian bytes in order.
std::string FileBytes(uint32_t code) {
  std::string text = FourCharCode(code);
  return std::string(text.rbegin(), text.rend());
}

void PrintTerminology(const PluginProperties& properties) {
  if (!properties.hasTerminology) {
    std::printf("terminology:       none\n");
    return;
  }
  std::printf("terminology:       class 0x%08X (bytes \"%s\"), event 0x%08X (bytes \"%s\"), resource %d, scope \"%s\"\n",
              properties.terminologyClass, FileBytes(properties.terminologyClass).c_str(),
              properties.terminologyEvent, FileBytes(properties.terminologyEvent).c_str(),
              properties.terminologyId, properties.terminologyScope.c_str());
}

std::string EntryText(const std::string& entry) { return entry.empty() ? "(none)" : entry; }

// The module's own version, from its version resource: the product version
// text in its first language, else the fixed file version.
std::string ModuleVersion(const char* path) {
  const std::wstring wide = WidePath(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  std::vector<uint8_t> block(size);
  if (size == 0 || !GetFileVersionInfoW(wide.c_str(), 0, size, block.data())) return "(no version resource)";
  struct Translation {
    WORD language, codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length) &&
      length >= sizeof(Translation)) {
    wchar_t key[64];
    _snwprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion", translations->language, translations->codePage);
    wchar_t* text = nullptr;
    if (VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&text), &length) && length > 0)
      return Utf8FromWide(text);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr)
    return "(no version resource)";
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS));
}

void PrintProperties(const char* path, const PluginProperties& properties) {
  std::printf("file:              %s\n", path);
  std::printf("plug-in version:   %s\n", ModuleVersion(path).c_str());
  std::printf("interface version: %u.%u (the filter interface it needs)\n", properties.version >> 16,
              properties.version & 0xFFFF);
  std::printf("kind:              '%s'%s\n", FourCharCode(properties.kind).c_str(),
              properties.kind == kFilterKind ? " (filter)" : "");
  std::printf("name:              %s\n", properties.name.c_str());
  std::printf("category:          %s\n", properties.category.c_str());
  std::printf("entry:             %s (32-bit hosts), %s (64-bit hosts)\n", EntryText(properties.entryPoint32).c_str(),
              EntryText(properties.entryPoint64).c_str());
  std::printf("modes:             %s\n", ModeList(properties).c_str());
  std::printf("enable rule:       %s\n", properties.enableRule.empty() ? "(none)" : properties.enableRule.c_str());
  PrintTerminology(properties);
  std::printf("properties:        %d\n", properties.propertyCount);
}

}  // namespace

int RunInfo(int argc, char** argv) {
  if (argc != 1) return Complain(kExitUsage, "--info needs exactly one PLUGIN.8bf");
  UseHeadlessDesktop();
  PluginProperties properties;
  std::string error;
  if (!ReadModuleProperties(argv[0], &properties, &error)) return Complain(kExitFailed, error);
  PrintProperties(argv[0], properties);
  return kExitOk;
}

void CaptureDialog(void* window, void* context) {
  ScheduleScreenshot(window, static_cast<const ScreenshotRequest*>(context));
}

int RunAbout(int argc, char** argv) {
  const bool withPicture = argc == 3 && std::strcmp(argv[1], "--screenshot") == 0;
  if (argc != 1 && !withPicture) return Complain(kExitUsage, "about needs one PLUGIN.8bf [--screenshot OUT.png]");
  HostPlugin plugin;
  std::string error;
  if (!LoadPlugin(argv[0], &plugin, &error)) return Complain(kExitFailed, error);
  HostOptions options;
  ScreenshotRequest screenshot;
  if (withPicture) {
    screenshot.path = argv[2];
    options.dialogHook = CaptureDialog;
    options.dialogContext = &screenshot;
  }
  HostSession* session = OpenSession(plugin.entry, options, &error);
  if (session == nullptr) {
    UnloadPlugin(&plugin);
    return Complain(kExitFailed, error);
  }
  const int16_t result = ShowAbout(session);
  CloseSession(session);
  UnloadPlugin(&plugin);
  std::printf("about: result %d (%s)\n", result, ResultName(result));
  if (screenshot.failed) return Complain(kExitFailed, "could not take the screenshot");
  if (withPicture) std::printf("wrote %s\n", argv[2]);
  return result == noErr ? kExitOk : kExitFailed;
}

int RunGenerate(int argc, char** argv) {
  if (argc < 3) return Complain(kExitUsage, "generate needs OUT.png WIDTH HEIGHT");
  int32_t width = 0, height = 0;
  if (!ParseInteger(argv[1], 1, kMaxImageSide, &width) || !ParseInteger(argv[2], 1, kMaxImageSide, &height))
    return Complain(kExitUsage, "WIDTH and HEIGHT must be 1..30000");
  bool gray = false, alpha = false, deep = false;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--gray") == 0) gray = true;
    else if (std::strcmp(argv[i], "--alpha") == 0) alpha = true;
    else if (std::strcmp(argv[i], "--16bit") == 0) deep = true;
    else return Complain(kExitUsage, std::string("unknown option ") + argv[i]);
  }
  UseHeadlessDesktop();
  HostImage image;
  MakeImage(&image, width, height, gray ? 1 : 3, alpha, deep ? 16 : 8);
  FillGradient(&image);
  std::string error;
  if (!WritePng(argv[0], image, &error)) return Complain(kExitFailed, error);
  std::printf("wrote %s (%dx%d, %s%s, %d-bit)\n", argv[0], width, height, gray ? "gray" : "RGB",
              alpha ? "+alpha" : "", deep ? 16 : 8);
  return kExitOk;
}
