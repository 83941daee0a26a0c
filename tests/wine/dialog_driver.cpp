#include "tests/wine/dialog_driver.h"

#include <commctrl.h>

#include <cstring>

namespace {

struct ScriptState {
  DialogScript* script;
  HWND scripted;  // the dialog the script ran on; it may be activated again
};
ScriptState state = {nullptr, nullptr};

void RunScript(void* window, void* /*context*/) {
  HWND dialog = static_cast<HWND>(window);
  if (dialog == state.scripted) return;
  if (state.scripted != nullptr || state.script == nullptr) {
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return;
  }
  state.scripted = dialog;
  (*state.script)(dialog);
}

}  // namespace

void DriveDialogs(HostOptions* options, DialogScript* script) {
  state = {script, nullptr};
  options->dialogHook = RunScript;
}

void TypeInto(HWND dialog, int id, const char* text) {
  HWND box = GetDlgItem(dialog, id);
  SetFocus(box);
  for (const char* c = text; *c != '\0'; ++c) SendMessageA(box, WM_CHAR, static_cast<unsigned char>(*c), 1);
}

void PasteInto(HWND dialog, int id, const char* text) {
  HWND box = GetDlgItem(dialog, id);
  SetFocus(box);
  SendMessageA(box, EM_SETSEL, 0, -1);
  SendMessageA(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
}

void Focus(HWND dialog, int id) { SetFocus(GetDlgItem(dialog, id)); }

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void PressKey(HWND dialog, UINT key) {
  HWND target = GetFocus();
  if (target == nullptr) target = dialog;
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

void PressClose(HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

void DragSlider(HWND dialog, int id, int toX) {
  HWND slider = GetDlgItem(dialog, id);
  RECT thumb;
  SendMessageA(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  const int y = (thumb.top + thumb.bottom) / 2;
  const int fromX = (thumb.left + thumb.right) / 2;
  SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(fromX, y));
  for (int step = 1; step <= 4; ++step)
    SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(fromX + (toX - fromX) * step / 4, y));
  SendMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(toX, y));
}

HWND ShowPreview(HWND dialog) {
  HWND preview = GetDlgItem(dialog, kPreviewControl);
  EnableWindow(preview, TRUE);
  ShowWindow(preview, SW_SHOW);
  return preview;
}

void DragPreview(HWND dialog, int dx, int dy) {
  HWND preview = GetDlgItem(dialog, kPreviewControl);
  SendMessageA(preview, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 8));
  SendMessageA(preview, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(8 + dx, 8 + dy));
  UpdateWindow(preview);
  SendMessageA(preview, WM_LBUTTONUP, 0, MAKELPARAM(8 + dx, 8 + dy));
}

std::string TextOf(HWND dialog, int id) {
  char text[256] = {0};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

std::wstring WideTextOf(HWND dialog, int id) {
  wchar_t text[256] = {0};
  GetDlgItemTextW(dialog, id, text, 256);
  return text;
}

int SliderPosition(HWND dialog) {
  return static_cast<int>(SendDlgItemMessageA(dialog, kShiftSlider, TBM_GETPOS, 0, 0));
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

bool CaretAtEnd(HWND dialog, int id) {
  DWORD start = 0, end = 0;
  SendDlgItemMessageA(dialog, id, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return start == end && static_cast<int>(end) == GetWindowTextLengthA(GetDlgItem(dialog, id));
}
