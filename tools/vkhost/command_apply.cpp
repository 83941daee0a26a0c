// vkhost apply: runs a filter on a PNG, without its dialog as an editor
// repeats a filter with saved settings, or with it (--dialog) as when the
// user picks the filter from the menu.
//
// The layout and shift reach the plug-in the way saved settings do: before the
// run the host puts a parameters handle of its own suite into the record,
// holding the plug-in's 4-byte parameter block {int16 draw; uint16 shft}. The
// plug-in finds a parameters handle and uses it instead of making its own;
// with the dialog they are the values it opens with.
//
// --record FILE keeps the descriptor the filter hands back at Finish, as an
// editor recording an action; --replay FILE hands such a descriptor in again,
// silently, or with --dialog through the dialog (the layout and shift come
// from the file, not the options).
//
// --host-profile NAME[,NAME...] behaves like the hosts users have (see
// host.h); with "partial" the host drops the parameters, so the filter opens
// its dialog on every run. Without --dialog our host answers any dialog the
// filter shows itself, with the values of --layout and --shift and OK, so
// that a script never waits for a user.
//
// --repeat N runs the filter N times over the picture, for its time: what it
// paints does not depend on what it painted before, and the samples it keeps
// come out as they went in, so the picture written is that of one run.
//
// The output file is replaced only by a complete new picture; on any failure
// or an interrupt (Ctrl+C, exit status 130) it is left as it was.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/globals.h"
#include "tools/vkhost/command_line.h"
#include "tools/vkhost/host.h"
#include "tools/vkhost/screenshot.h"
#include "ui/dialog_ids.h"

namespace {

constexpr int64_t kProgressBarPixels = 250000;  // smaller images finish before a bar helps
constexpr int kBarWidth = 40;
constexpr double kRedrawSeconds = 0.1;
constexpr int kExitInterrupted = 130;  // as a shell reports a program ended by SIGINT

struct ApplyArguments {
  const char* plugin = nullptr;
  const char* input = nullptr;
  const char* output = nullptr;
  FilterParameters parameters = {drawNormal, 0};
  RGBColor foreground = {0, 0, 0};
  RGBColor background = {65535, 65535, 65535};
  Rect rect = {0, 0, 0, 0};
  int32_t abortAt = 0;
  int32_t runs = 1;
  bool deep = false;
  bool dialog = false;
  bool showPreview = false;
  bool headless = false;  // a message-only host window on a desktop of its own
  const char* screenshot = nullptr;
  const char* recordPath = nullptr;
  const char* replayPath = nullptr;
  HostDescriptor replay;
  HostOptions profiled;  // the host options the --host-profile names set
};

// What each option with a value takes, for the message when it gets something else.
const char* Expected(const std::string& option) {
  if (option == "--layout") return "normal or spiral";
  if (option == "--shift") return "a whole number 0..65535";
  if (option == "--fg" || option == "--bg") return "a colour as six hex digits RRGGBB, e.g. 1E3C8C";
  if (option == "--rect") return "top,left,bottom,right in pixels, each 0..30000";
  if (option == "--abort-at") return "a poll count 1..2147483647";
  if (option == "--repeat") return "a run count 1..1000";
  return "a file name";
}

// "partial,unmasked-fp": every name must be known.
bool ParseProfiles(const char* value, HostOptions* profiled, std::string* error) {
  std::string rest = value;
  while (true) {
    const size_t comma = rest.find(',');
    const std::string name = rest.substr(0, comma);
    if (!ApplyHostProfile(name, profiled)) {
      *error = "unknown host profile '" + name + "'; --host-profile takes one or more of " + HostProfileNames() +
               ", separated by commas";
      return false;
    }
    if (comma == std::string::npos) return true;
    rest = rest.substr(comma + 1);
  }
}

bool ParseOption(int argc, char** argv, int* i, ApplyArguments* args, std::string* error) {
  const std::string option = argv[*i];
  if (option == "--16bit") {
    args->deep = true;
    return true;
  }
  if (option == "--dialog") {
    args->dialog = true;
    return true;
  }
  if (option == "--show-preview") {
    args->dialog = args->showPreview = true;
    return true;
  }
  const char* value = *i + 1 < argc ? argv[++*i] : nullptr;
  int32_t number = 0;
  bool ok = value != nullptr;
  if (option == "--layout" && ok) {
    ok = std::strcmp(value, "normal") == 0 || std::strcmp(value, "spiral") == 0;
    args->parameters.draw = std::strcmp(value, "spiral") == 0 ? drawSpiral : drawNormal;
  } else if (option == "--shift" && ok) {
    ok = ParseInteger(value, 0, 65535, &number);
    args->parameters.shft = static_cast<uint16_t>(number);
  } else if (option == "--fg" && ok) {
    ok = ParseColor(value, &args->foreground);
  } else if (option == "--bg" && ok) {
    ok = ParseColor(value, &args->background);
  } else if (option == "--rect" && ok) {
    ok = ParseRect(value, &args->rect);
  } else if (option == "--screenshot" && ok) {
    args->dialog = true;
    args->screenshot = value;
  } else if (option == "--host-profile" && ok) {
    return ParseProfiles(value, &args->profiled, error);
  } else if (option == "--record" && ok) {
    args->recordPath = value;
  } else if (option == "--replay" && ok) {
    args->replayPath = value;
  } else if (option == "--abort-at" && ok) {
    ok = ParseInteger(value, 1, 0x7FFFFFFF, &args->abortAt);
  } else if (option == "--repeat" && ok) {
    ok = ParseInteger(value, 1, 1000, &args->runs);
  } else if (ok) {
    *error = "unknown option " + option;
    return false;
  }
  if (!ok && value == nullptr) *error = option + " needs a value: " + Expected(option);
  else if (!ok) *error = option + " takes " + Expected(option) + ", not '" + value + "'";
  return ok;
}

bool ParseApply(int argc, char** argv, ApplyArguments* args, std::string* error) {
  const char** positional[] = {&args->plugin, &args->input, &args->output};
  size_t count = 0;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--", 2) == 0) {
      if (!ParseOption(argc, argv, &i, args, error)) return false;
    } else if (count < 3) {
      *positional[count++] = argv[i];
    } else {
      *error = std::string("unexpected argument ") + argv[i];
      return false;
    }
  }
  if (count < 3) {
    *error = "apply needs PLUGIN.8bf IN.png OUT.png";
    return false;
  }
  // A dialog waits for a person, and an action is recorded or played back once.
  if (args->runs > 1 && (args->dialog || args->recordPath != nullptr || args->replayPath != nullptr)) {
    *error = "--repeat runs the filter without --dialog, --show-preview, --screenshot, --record or --replay";
    return false;
  }
  return true;
}

// ---- Progress on the terminal, and Ctrl+C ----

// One line per phase (reading, filtering, writing), redrawn in place at
// most ten times a second; nothing at all when stderr is not a terminal.
struct ProgressBar {
  bool enabled = false;
  const char* phase = "";
  int shownPercent = -1;
  std::chrono::steady_clock::time_point lastDrawn;
};

void DrawProgress(int32_t done, int32_t total, void* context) {
  ProgressBar* bar = static_cast<ProgressBar*>(context);
  if (!bar->enabled || total <= 0) return;
  int64_t percent = int64_t(done) * 100 / total;
  percent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
  if (percent == bar->shownPercent) return;
  const auto now = std::chrono::steady_clock::now();
  if (percent < 100 && bar->shownPercent >= 0 &&
      std::chrono::duration<double>(now - bar->lastDrawn).count() < kRedrawSeconds)
    return;
  bar->lastDrawn = now;
  bar->shownPercent = static_cast<int>(percent);
  char cells[kBarWidth + 1];
  int filled = static_cast<int>(percent * kBarWidth / 100);
  for (int i = 0; i < kBarWidth; ++i) cells[i] = i < filled ? '#' : '.';
  cells[kBarWidth] = '\0';
  // One write per redraw: stderr is unbuffered.
  char line[96];
  const int length = std::snprintf(line, sizeof line, "\r%-9s [%s] %3d%%", bar->phase, cells, bar->shownPercent);
  std::fwrite(line, 1, static_cast<size_t>(length), stderr);
}

void BeginPhase(ProgressBar* bar, const char* phase) {
  bar->phase = phase;
  bar->shownPercent = -1;
}

void EndPhase(ProgressBar* bar) {
  if (bar->shownPercent >= 0) std::fputc('\n', stderr);
  bar->shownPercent = -1;
}

// A bar only for a person watching: a console, or under wine a terminal
// (a character device; pipes and files get none).
bool StderrIsTerminal() {
  DWORD mode = 0;
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  return GetConsoleMode(handle, &mode) != 0 || GetFileType(handle) == FILE_TYPE_CHAR;
}

// Runs on a thread of its own: reading and writing stop at their next step,
// the filter at its next abort poll, an open dialog as if cancelled.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  RequestInterrupt();
  CancelOpenDialog();
  return TRUE;
}

int Interrupt(const char* output) {
  return Complain(kExitInterrupted, std::string("interrupted; nothing written to ") + output);
}

// ---- The dialog's preview ----

// The dialog's template keeps its preview hidden; show it, and release a
// "drag" on it so that the plug-in composes it once.
void ShowPreview(HWND dialog) {
  HWND control = GetDlgItem(dialog, PREVIEW_CONTROL);
  if (control == nullptr || IsWindowVisible(control)) return;
  EnableWindow(control, TRUE);
  ShowWindow(control, SW_SHOW);
  PostMessageA(control, WM_LBUTTONUP, 0, 0);
}

struct DialogActions {
  bool answer = false;  // no --dialog: the host answers for the user
  FilterParameters parameters = {drawNormal, 0};
  bool answered = false;
  bool showPreview = false;
  ScreenshotRequest screenshot;
};

// Sets the parameter dialog to the values given and presses OK; any other
// dialog (a message box) gets OK too.
void AnswerDialog(HWND dialog, DialogActions* actions) {
  if (GetDlgItem(dialog, SHIFT_EDIT) != nullptr) {
    const int button = actions->parameters.draw == drawSpiral ? SPIRAL_BUTTON : NORMAL_BUTTON;
    SendMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
    SetDlgItemTextA(dialog, SHIFT_EDIT, std::to_string(actions->parameters.shft).c_str());
  }
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  actions->answered = true;
}

void ActOnDialog(void* window, void* context) {
  DialogActions* actions = static_cast<DialogActions*>(context);
  if (actions->answer) return AnswerDialog(static_cast<HWND>(window), actions);
  if (actions->showPreview) ShowPreview(static_cast<HWND>(window));
  if (!actions->screenshot.path.empty()) ScheduleScreenshot(window, &actions->screenshot);
}

// ---- The run ----

void PrintCalls(const HostRunReport& report) {
  std::printf("calls:");
  for (const SelectorCall& call : report.calls) std::printf(" %s=%d", SelectorName(call.selector), call.result);
  std::printf("\n");
}

void PrintParameters(const HostSession* session) {
  std::vector<uint8_t> bytes;
  if (!ReadParameters(session, &bytes) || bytes.size() < sizeof(FilterParameters)) return;
  FilterParameters values;
  std::memcpy(&values, bytes.data(), sizeof values);
  const char* layout = values.draw == drawNormal ? "normal" : values.draw == drawSpiral ? "spiral" : "other";
  std::printf("parameters: layout %s (draw %d), shift %u\n", layout, values.draw, values.shft);
}

std::string PascalText(const unsigned char* text) { return std::string(reinterpret_cast<const char*>(text + 1), text[0]); }

int SaveRecording(const HostSession* session, const char* path) {
  if (!session->hasRecorded) return Complain(kExitFailed, "the filter recorded nothing at Finish; nothing written");
  std::string error;
  if (!SaveAction(path, session->recorded, &error)) return Complain(kExitFailed, error);
  std::printf("recorded %s\n", path);
  return kExitOk;
}

int Filter(HostSession* session, HostImage* image, const ApplyArguments& args) {
  if (!SetParameters(session, &args.parameters, sizeof args.parameters))
    return Complain(kExitFailed, "no memory for the parameters handle");
  // plugInDialogDisplay with the dialog, else plugInDialogSilent.
  if (args.replayPath != nullptr) PlayBack(session, args.replay, args.dialog ? 1 : 2);
  HostRunOptions run;
  run.filterRect = args.rect;
  run.showDialog = args.dialog;
  ProgressBar* bar = static_cast<ProgressBar*>(session->options.progressContext);
  BeginPhase(bar, "filtering");
  HostRunReport report;
  std::vector<double> milliseconds;
  for (int32_t done = 0; done < args.runs; ++done) {
    report = RunFilter(session, image, run);
    if (!report.error.empty() || Interrupted() || report.result != noErr) break;
    milliseconds.push_back(report.pluginSeconds * 1e3);
  }
  EndPhase(bar);
  if (!report.error.empty()) return Complain(kExitFailed, report.error);
  if (Interrupted()) return kExitInterrupted;
  PrintCalls(report);
  PrintParameters(session);
  if (session->options.floatingPoint.set)
    std::printf("floating point: %d exceptions, %d calls changed the control words\n",
                session->log.floatingPointExceptions, session->log.floatingPointStateChanged);
  std::printf("result %d (%s)\n", report.result, ResultName(report.result));
  if (milliseconds.size() > 1) {
    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("plug-in time %.1f ms (fastest of %d runs; median %.1f ms)\n", milliseconds.front(),
                static_cast<int>(milliseconds.size()), milliseconds[milliseconds.size() / 2]);
  } else {
    std::printf("plug-in time %.1f ms\n", report.pluginSeconds * 1e3);
  }
  if (report.result == -30904 && session->errorString[0] != 0)
    return Complain(kExitFailed, "the filter reports: " + PascalText(session->errorString));
  if (report.continueCapped) return Complain(kExitFailed, "the filter never stopped asking for data");
  if (report.result != noErr)
    return Complain(kExitFailed, std::string("the filter failed with ") + std::to_string(report.result) + " (" +
                                     ResultName(report.result) + "); nothing written");
  if (args.recordPath != nullptr) return SaveRecording(session, args.recordPath);
  return kExitOk;
}

int Apply(const HostPlugin& plugin, HostImage* image, const ApplyArguments& args, ProgressBar* bar) {
  HostOptions options = args.profiled;
  options.foreground = args.foreground;
  options.background = args.background;
  options.abortAtPoll = args.abortAt;
  options.progressContext = bar;
  DialogActions actions;
  actions.answer = !args.dialog;
  actions.parameters = args.parameters;
  actions.showPreview = args.showPreview;
  if (args.screenshot != nullptr) actions.screenshot.path = args.screenshot;
  options.dialogHook = ActOnDialog;
  options.dialogContext = &actions;
  options.messageOnlyWindow = args.headless;
  options.progressHook = DrawProgress;
  std::string error;
  HostSession* session = OpenSession(plugin.entry, options, &error);
  if (session == nullptr) return Complain(kExitFailed, error);
  int code = Filter(session, image, args);
  CloseSession(session);
  if (actions.answered) std::printf("dialog: answered by the host with OK (no --dialog)\n");
  if (actions.screenshot.failed) return Complain(kExitFailed, "could not take the screenshot");
  if (args.screenshot != nullptr) std::printf("wrote %s\n", args.screenshot);
  return code;
}

int ApplyCommand(ApplyArguments args, ProgressBar* bar) {
  std::string error;
  // A bad action stops everything before the picture is touched.
  if (args.replayPath != nullptr && !LoadAction(args.replayPath, &args.replay, &error))
    return Complain(kExitFailed, "cannot play back the action: " + error);
  const auto start = std::chrono::steady_clock::now();
  HostImage image;
  BeginPhase(bar, "reading");
  PngProgress reading;
  reading.hook = DrawProgress;
  reading.context = bar;
  const bool read = ReadPng(args.input, &image, &error, reading);
  EndPhase(bar);
  if (Interrupted()) return Interrupt(args.output);
  if (!read) return Complain(kExitFailed, error + "; nothing written");
  if (args.deep && image.depth != 16) image = ConvertDepth(image, 16);
  bar->enabled = bar->enabled && int64_t(image.width) * image.height >= kProgressBarPixels;
  const auto readTime = std::chrono::steady_clock::now();
  HostPlugin plugin;
  if (!LoadPlugin(args.plugin, &plugin, &error)) return Complain(kExitFailed, error + "; nothing written");
  int code = Apply(plugin, &image, args, bar);
  UnloadPlugin(&plugin);
  if (Interrupted()) return Interrupt(args.output);
  if (code != kExitOk) return code;
  const auto filtered = std::chrono::steady_clock::now();
  PngWriteOptions writing;
  writing.progress = DrawProgress;
  writing.progressContext = bar;
  writing.painted = args.rect;
  if (writing.painted.bottom == 0 && writing.painted.right == 0)
    writing.painted = {0, 0, static_cast<int16_t>(image.height), static_cast<int16_t>(image.width)};
  writing.colors = {args.foreground, args.background};
  BeginPhase(bar, "writing");
  const bool written = WritePng(args.output, image, &error, writing);
  EndPhase(bar);
  if (Interrupted()) return Interrupt(args.output);
  if (!written) return Complain(kExitFailed, error);
  const auto writeTime = std::chrono::steady_clock::now();
  using Milliseconds = std::chrono::duration<double, std::milli>;
  std::printf("wrote %s (reading %.0f ms, the run %.0f ms, writing %.0f ms)\n", args.output,
              Milliseconds(readTime - start).count(), Milliseconds(filtered - readTime).count(),
              Milliseconds(writeTime - filtered).count());
  return kExitOk;
}

}  // namespace

int RunApply(int argc, char** argv) {
  ApplyArguments args;
  std::string error;
  if (!ParseApply(argc, argv, &args, &error)) return Complain(kExitUsage, error);
  // Without a dialog nothing is shown, and no display is needed.
  args.headless = !args.dialog && !args.profiled.parametersEveryRun && UseHeadlessDesktop();
  ProgressBar bar;
  bar.enabled = StderrIsTerminal();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  const int code = ApplyCommand(args, &bar);
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  return code;
}
