#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "host/plugin_entry.h"
#include "preview/preview_buffers.h"
#include "preview/preview_window.h"
#include "resources/version.h"
#include "ui/dialog_ids.h"
#include "ui/dialog_requests.h"
#include "ui/dialog_rules.h"
#include "ui/dialog_setup.h"
#include "ui/parameter_dialog.h"
#include "ui/place_dialog.h"

namespace {

constexpr int kParameterTemplate = PARAMETER_DIALOG_ID;
constexpr int kPreviewControl = PREVIEW_CONTROL;
constexpr int kShiftLabel = SHIFT_LABEL;
constexpr int kShiftEdit = SHIFT_EDIT;
constexpr int kShiftSlider = SHIFT_SLIDER;
constexpr int kSpiralButton = SPIRAL_BUTTON;
constexpr int kNormalButton = NORMAL_BUTTON;
constexpr int kLayoutLabel = LAYOUT_LABEL;
constexpr int kLayoutButtons[] = {kNormalButton, kSpiralButton};  // indexed by draw
constexpr int kShiftMaximum = 65535;

const char kTitle[] = "Vardelkist " VARDELKIST_VERSION_TEXT;
// Code page 932 (Shift-JIS) bytes of the labels.
const char kShiftText[] = "\x83\x56\x83\x74\x83\x67";               // shift
const char kLayoutText[] = "\x95\x60\x89\xE6";                       // drawing
const char kNormalText[] = "\x95\x81\x92\xCA";                       // normal
const char kSpiralText[] = "\x82\xA4\x82\xB8\x82\xDC\x82\xAB";       // spiral

// One dialog at a time.
FilterGlobals* dialogGlobals = nullptr;
uint32_t savedParameters = 0;
DialogFlow dialogFlow;

FilterParameters* Parameters() { return GetFilterParameters(dialogGlobals->filterRecord); }

uint32_t LoadParameterWord() {
  uint32_t word;
  std::memcpy(&word, Parameters(), sizeof word);
  return word;
}

void RestoreParameterWord() { std::memcpy(Parameters(), &savedParameters, sizeof savedParameters); }

// The labels are code page 932 text; shown through the wide call they read
// right whatever the system's code page is.
void SetLabel(HWND dialog, int id, const char* cp932) {
  wchar_t wide[16];
  const int length = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932, -1, wide, 16);
  if (length > 0) {
    SetDlgItemTextW(dialog, id, wide);
  } else {
    SetDlgItemTextA(dialog, id, cp932);
  }
}

void SyncShift(HWND dialog, int sliderId, int editId, uint16_t* shft, uint16_t value) {
  SendDlgItemMessageA(dialog, sliderId, TBM_SETPOS, TRUE, value);
  const LRESULT position = SendDlgItemMessageA(dialog, sliderId, TBM_GETPOS, 0, 0);
  *shft = static_cast<uint16_t>(position);
  char text[8];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(position));
  HWND edit = GetDlgItem(dialog, editId);
  SetWindowTextA(edit, text);
  const int length = GetWindowTextLengthA(edit);
  SendMessageA(edit, EM_SETSEL, length, length);
}

void SetRadioGroup(HWND dialog, int16_t* draw, int index, int count, const int* ids) {
  const int selected = RadioGroupSelection(index, count);
  if (selected < 0) return;
  for (int i = 0; i < count; ++i)
    SendDlgItemMessageA(dialog, ids[i], BM_SETCHECK, i == selected ? BST_CHECKED : BST_UNCHECKED, 0);
  *draw = static_cast<int16_t>(selected);
}

void InitDialog(HWND dialog, WPARAM wParam, LPARAM lParam) {
  dialogGlobals = reinterpret_cast<FilterGlobals*>(lParam);
  savedParameters = LoadParameterWord();
  dialogFlow.initialised = true;
  ShowTemplateTextsWide(dialog, kParameterTemplate);
  SetWindowTextA(dialog, kTitle);
  PlaceDialog(dialog);
  SubclassPreview(dialog, kPreviewControl, wParam, lParam);
  GetPreviewRect(dialog, kPreviewControl, &dialogGlobals->previewRect);
  AllocPreviewBuffers(dialogGlobals);
  const OSErr delivered = InitPreview(dialogGlobals);
  PublishResult(dialogGlobals, delivered);
  // Without the whole image there is nothing the preview may read.
  if (delivered != noErr) FreePreviewBuffers(dialogGlobals);
  SetLabel(dialog, kShiftLabel, kShiftText);
  SendDlgItemMessageA(dialog, kShiftSlider, TBM_SETRANGEMAX, TRUE, kShiftMaximum);
  SendDlgItemMessageA(dialog, kShiftSlider, TBM_SETRANGEMIN, TRUE, 0);
  SyncShift(dialog, kShiftSlider, kShiftEdit, &Parameters()->shft, Parameters()->shft);
  SetLabel(dialog, kLayoutLabel, kLayoutText);
  SetLabel(dialog, kNormalButton, kNormalText);
  SetLabel(dialog, kSpiralButton, kSpiralText);
  SetRadioGroup(dialog, &Parameters()->draw, Parameters()->draw, 2, kLayoutButtons);
}

void Refresh(HWND dialog, WPARAM recompute) {
  HWND control = GetDlgItem(dialog, kPreviewControl);
  RefreshPreview(control, dialogGlobals, 0);
  // A recompute the engine stopped stands until the dialog ends, and the
  // host's callbacks meanwhile see it.
  const OSErr plotted = RefreshPreview(control, dialogGlobals, recompute);
  if (plotted != noErr) PublishResult(dialogGlobals, plotted);
}

// Carries out a decided step; true when it acted.
bool Perform(HWND dialog, const DialogAction& action) {
  switch (action.step) {
    case DialogStep::Ignore:
    case DialogStep::Merge: return false;
    case DialogStep::Defer:
      PostAbortRequest(dialog);
      return false;
    case DialogStep::Refresh: Refresh(dialog, action.value); return true;
    case DialogStep::EndOk:
      PublishResult(dialogGlobals, noErr);
      FreePreviewBuffers(dialogGlobals);
      EndDialog(dialog, 1);
      return true;
    case DialogStep::EndCancel:
      PublishResult(dialogGlobals, userCanceledErr);
      RestoreParameterWord();
      FreePreviewBuffers(dialogGlobals);
      EndDialog(dialog, static_cast<INT_PTR>(action.value));
      return true;
  }
  return false;
}

// Acts on what arrived during the composition that just ended.
void RunWaiting(HWND dialog) {
  DialogAction action;
  while (NextWaitingRequest(&dialogFlow, &action)) Perform(dialog, action);
}

// Acts on a request now, or puts it off while a composition runs.
bool Request(HWND dialog, DialogRequest request, WPARAM value) {
  const bool acted = Perform(dialog, DecideRequest(&dialogFlow, request, value, previewBusy == 1));
  if (acted && request == DialogRequest::Refresh) RunWaiting(dialog);
  return acted;
}

void DropQueuedRefreshes() {
  MSG message;
  while (PeekMessageA(&message, nullptr, WM_PREVIEW_REFRESH, WM_PREVIEW_REFRESH, PM_REMOVE)) Sleep(0);
}

BOOL OnPreviewRefresh(HWND dialog, WPARAM recompute) {
  DropQueuedRefreshes();
  return Request(dialog, DialogRequest::Refresh, recompute) ? TRUE : FALSE;
}

BOOL OnShiftEdit(HWND dialog, int notification) {
  ShiftEditEvent event;
  if (notification == EN_CHANGE) {
    event = ShiftEditEvent::Changed;
  } else if (notification == EN_KILLFOCUS) {
    event = ShiftEditEvent::LostFocus;
  } else {
    return FALSE;
  }
  if (!DialogTakesEdits(dialogFlow)) return FALSE;
  char text[kShiftTextBytes] = {0};
  const int copied = static_cast<int>(SendDlgItemMessageA(dialog, kShiftEdit, WM_GETTEXT, sizeof text,
                                                          reinterpret_cast<LPARAM>(text)));
  uint16_t value;
  if (!ShiftFromEdit(event, text, copied, Parameters()->shft, &value)) return FALSE;
  SyncShift(dialog, kShiftSlider, kShiftEdit, &Parameters()->shft, value);
  return TRUE;
}

BOOL OnCommand(HWND dialog, WPARAM wParam) {
  const int id = LOWORD(wParam);
  const int notification = HIWORD(wParam);
  switch (id) {
    case IDOK:
    case IDCANCEL:
      if (notification != 0 || dialogFlow.ended) return FALSE;
      Request(dialog, id == IDOK ? DialogRequest::Ok : DialogRequest::Cancel, wParam);
      return TRUE;
    case kShiftEdit: return OnShiftEdit(dialog, notification);
    case kSpiralButton:
    case kNormalButton:
      if (!DialogTakesEdits(dialogFlow)) return FALSE;
      SetRadioGroup(dialog, &Parameters()->draw, id == kSpiralButton ? 1 : 0, 2, kLayoutButtons);
      return FALSE;
    default: return FALSE;
  }
}

BOOL OnSlider(HWND dialog, LPARAM lParam) {
  HWND slider = reinterpret_cast<HWND>(lParam);
  const LRESULT position = SendMessageA(slider, TBM_GETPOS, 0, 0);
  if (!DialogTakesEdits(dialogFlow)) return FALSE;
  if (LOWORD(GetDlgCtrlID(slider)) != kShiftSlider || position == Parameters()->shft) return FALSE;
  SyncShift(dialog, kShiftSlider, kShiftEdit, &Parameters()->shft, static_cast<uint16_t>(position));
  return TRUE;
}

BOOL OnClose(HWND dialog, WPARAM wParam) {
  return Request(dialog, DialogRequest::Close, wParam) ? TRUE : FALSE;
}

INT_PTR CALLBACK ParameterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitDialog(dialog, wParam, lParam);
    return TRUE;
  }
  if (dialogGlobals == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND: return OnCommand(dialog, wParam);
    case WM_HSCROLL: return OnSlider(dialog, lParam);
    case WM_CLOSE: return OnClose(dialog, wParam);
    case WM_PREVIEW_REFRESH: return OnPreviewRefresh(dialog, wParam);
    default: return FALSE;  // WM_PREVIEW_ABORT included: it is there for the host's abortProc to find
  }
}

}  // namespace

OSErr DoParameterDialog(FilterGlobals* globals) {
  dialogGlobals = nullptr;
  ResetDialogFlow(&dialogFlow);
  previewBusy = 0;
  EnsureTrackbarClass();  // without it DialogBoxParamA fails, answered below
  DialogBoxParamA(static_cast<HINSTANCE>(moduleInstance), MAKEINTRESOURCEA(kParameterTemplate),
                  HostWindow(globals->filterRecord->platformData), ParameterDialogProc,
                  reinterpret_cast<LPARAM>(globals));
  previewBusy = 0;
  FreePreviewBuffers(globals);
  // Cancelled, closed, or destroyed from outside: the parameters as they were.
  if (dialogFlow.initialised && !dialogFlow.confirmed) RestoreParameterWord();
  return DialogOutcome(dialogFlow, *globals->result);
}
