// The host's main window: never shown, but real, so that the plug-in's
// dialogs have an owner as they would in an editor.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstring>

#include "tools/vkhost/host_internal.h"

namespace {

HHOOK dialogWatch = nullptr;
HostSession* watchedSession = nullptr;
HWND openDialog = nullptr;  // the first dialog shown in the call, until it is destroyed
std::chrono::steady_clock::time_point dialogOpened;

void DialogClosed() {
  if (openDialog == nullptr) return;
  const std::chrono::duration<double> open = std::chrono::steady_clock::now() - dialogOpened;
  watchedSession->internals->hostSeconds += open.count();
  openDialog = nullptr;
}

// Activation comes after WM_INITDIALOG, so the dialog's controls are ready.
// Only windows of this thread are ours to answer: wine runs a thread's CBT
// hook even when the thread merely tries to activate another program's window
// (the next one on the desktop, after closing a dialog of its own), and that
// program may be another host process on the same desktop.
LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam) {
  HWND window = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_DESTROYWND && window == openDialog) DialogClosed();
  if (code == HCBT_ACTIVATE && watchedSession != nullptr &&
      GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    char className[16] = {0};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0) {
      if (openDialog == nullptr) {
        openDialog = window;
        dialogOpened = std::chrono::steady_clock::now();
      }
      if (watchedSession->options.dialogHook != nullptr)
        watchedSession->options.dialogHook(window, watchedSession->options.dialogContext);
    }
  }
  return CallNextHookEx(dialogWatch, code, wParam, lParam);
}

const char kWindowClass[] = "VardelkistHostWindow";

bool RegisterOnce() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kWindowClass;
  registered = RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return registered;
}

// Editors register the common controls at start-up; the plug-in's dialog
// relies on the trackbar class being there.
void RegisterCommonControls() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
}

}  // namespace

bool CreateHostWindow(HostInternals* internals, bool messageOnly, std::string* error) {
  RegisterCommonControls();
  if (!RegisterOnce()) {
    if (error != nullptr) *error = "cannot register the host window class (" + ErrorWords(GetLastError()) + ")";
    return false;
  }
  // A message-only window needs no display (under wine, no X server).
  internals->window = CreateWindowExA(0, kWindowClass, "Vardelkist host", messageOnly ? 0 : WS_OVERLAPPEDWINDOW,
                                      CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, messageOnly ? HWND_MESSAGE : nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
  if (internals->window == nullptr) {
    if (error != nullptr)
      *error = "cannot create the host window (" + ErrorWords(GetLastError()) +
               "): a run that may show the filter's dialog needs a display, under wine an X server (DISPLAY)";
    return false;
  }
  return true;
}

void DestroyHostWindow(HostInternals* internals) {
  if (internals->window != nullptr) DestroyWindow(internals->window);
  internals->window = nullptr;
}

intptr_t StaleWindowHandle() {
  HWND window = CreateWindowExA(0, kWindowClass, "closed document", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window != nullptr) DestroyWindow(window);
  return window != nullptr ? reinterpret_cast<intptr_t>(window) : intptr_t{0x7FFE0010};
}

void BeginDialogWatch(HostSession* session) {
  if (dialogWatch != nullptr) return;
  watchedSession = session;
  dialogWatch = SetWindowsHookExA(WH_CBT, WatchActivation, nullptr, GetCurrentThreadId());
}

void EndDialogWatch() {
  if (watchedSession != nullptr) DialogClosed();
  if (dialogWatch != nullptr) UnhookWindowsHookEx(dialogWatch);
  dialogWatch = nullptr;
  watchedSession = nullptr;
}

void CancelOpenDialog() {
  HWND dialog = openDialog;
  if (dialog != nullptr) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

bool UseHeadlessDesktop() {
  HDESK desktop = CreateDesktopW(L"vkhost-headless", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  return desktop != nullptr && SetThreadDesktop(desktop);
}
