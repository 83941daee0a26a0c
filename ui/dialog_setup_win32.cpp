#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "host/plugin_entry.h"
#include "ui/dialog_setup.h"
#include "ui/dialog_template.h"

namespace {

constexpr int kMaxTemplateTexts = 32;
constexpr size_t kMaxTextLength = 63;

}  // namespace

// Some host libraries never call InitCommonControlsEx and leave it to the
// program around them, which may not either.
bool EnsureTrackbarClass() {
  WNDCLASSEXA trackbar = {};
  trackbar.cbSize = sizeof trackbar;
  const HINSTANCE module = static_cast<HINSTANCE>(moduleInstance);
  if (GetClassInfoExA(module, TRACKBAR_CLASSA, &trackbar)) return true;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  return InitCommonControlsEx(&controls) && GetClassInfoExA(module, TRACKBAR_CLASSA, &trackbar);
}

void ShowTemplateTextsWide(HWND dialog, int templateId) {
  const HMODULE module = static_cast<HMODULE>(moduleInstance);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5));  // RT_DIALOG
  HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const auto* bytes = static_cast<const uint8_t*>(loaded != nullptr ? LockResource(loaded) : nullptr);
  if (bytes == nullptr) return;
  TemplateText texts[kMaxTemplateTexts];
  const int count = ReadTemplateTexts(bytes, SizeofResource(module, found), texts, kMaxTemplateTexts);
  for (int i = 0; i < count && i < kMaxTemplateTexts; ++i) {
    if (texts[i].ascii || texts[i].length > kMaxTextLength) continue;
    wchar_t wide[kMaxTextLength + 1];
    std::memcpy(wide, bytes + texts[i].offset, texts[i].length * sizeof(wchar_t));
    wide[texts[i].length] = L'\0';
    if (texts[i].id == kTemplateCaption) {
      SetWindowTextW(dialog, wide);
    } else {
      SetDlgItemTextW(dialog, texts[i].id, wide);
    }
  }
}
