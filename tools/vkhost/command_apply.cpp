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
// --host-profile NAME behaves like the hosts users have (see host.h); with
// "partial" the host drops the parameters, so the dialog opens on every run
// with the values last confirmed, not those of --layout and --shift.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/globals.h"
#include "tools/vkhost/command_line.h"
#include "tools/vkhost/host.h"
#include "tools/vkhost/screenshot.h"

namespace {

constexpr int64_t kProgressBarPixels = 250000;  // smaller images finish before a bar helps
constexpr int kBarWidth = 40;

struct ApplyArguments {
  const char* plugin = nullptr;
  const char* input = nullptr;
  const char* output = nullptr;
  FilterParameters parameters = {drawNormal, 0};
  RGBColor foreground = {0, 0, 0};
  RGBColor background = {65535, 65535, 65535};
  Rect rect = {0, 0, 0, 0};
  int32_t abortAt = 0;
  bool deep = false;
  bool dialog = false;
  bool showPreview = false;
  const char* screenshot = nullptr;
  const char* recordPath = nullptr;
  const char* replayPath = nullptr;
  HostDescriptor replay;
  std::vector<std::string> profiles;
};

constexpr int kPreviewControl = 1007;

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
    HostOptions probe;
    ok = ApplyHostProfile(value, &probe);
    args->profiles.push_back(value);
  } else if (option == "--record" && ok) {
    args->recordPath = value;
  } else if (option == "--replay" && ok) {
    args->replayPath = value;
  } else if (option == "--abort-at" && ok) {
    ok = ParseInteger(value, 1, 0x7FFFFFFF, &args->abortAt);
  } else if (ok) {
    *error = "unknown option " + option;
    return false;
  }
  if (!ok) *error = "bad or missing value for " + option;
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
  if (count < 3) *error = "apply needs PLUGIN.8bf IN.png OUT.png";
  return count == 3;
}

// ---- Progress on the terminal, and Ctrl+C ----

struct ProgressBar {
  int shownPercent = -1;
};

void DrawProgress(int32_t done, int32_t total, void* context) {
  ProgressBar* bar = static_cast<ProgressBar*>(context);
  if (total <= 0) return;
  int64_t percent = int64_t(done) * 100 / total;
  percent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
  if (percent == bar->shownPercent) return;
  bar->shownPercent = static_cast<int>(percent);
  char cells[kBarWidth + 1];
  int filled = static_cast<int>(percent * kBarWidth / 100);
  for (int i = 0; i < kBarWidth; ++i) cells[i] = i < filled ? '#' : '.';
  cells[kBarWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %3d%%", cells, bar->shownPercent);
  std::fflush(stderr);
}

void EndProgress(const ProgressBar& bar) {
  if (bar.shownPercent >= 0) std::fputc('\n', stderr);
}

HostSession* interruptible = nullptr;

// Runs on a thread of its own; the filter hears of it at its next abort poll.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  RequestAbort(interruptible);
  return TRUE;
}

// ---- The dialog's preview ----

// The dialog's template keeps its preview hidden; show it, and release a
// "drag" on it so that the plug-in composes it once.
void ShowPreview(HWND dialog) {
  HWND control = GetDlgItem(dialog, kPreviewControl);
  if (control == nullptr || IsWindowVisible(control)) return;
  EnableWindow(control, TRUE);
  ShowWindow(control, SW_SHOW);
  PostMessageA(control, WM_LBUTTONUP, 0, 0);
}

struct DialogActions {
  bool showPreview = false;
  ScreenshotRequest screenshot;
};

void ActOnDialog(void* window, void* context) {
  const DialogActions* actions = static_cast<const DialogActions*>(context);
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
  interruptible = session;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  HostRunReport report = RunFilter(session, image, run);
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  interruptible = nullptr;
  EndProgress(*static_cast<ProgressBar*>(session->options.progressContext));
  if (!report.error.empty()) return Complain(kExitFailed, report.error);
  PrintCalls(report);
  PrintParameters(session);
  if (session->options.floatingPoint.set)
    std::printf("floating point: %d exceptions, %d calls changed the control words\n",
                session->log.floatingPointExceptions, session->log.floatingPointStateChanged);
  std::printf("result %d (%s)\n", report.result, ResultName(report.result));
  std::printf("plug-in time %.1f ms\n", report.pluginSeconds * 1e3);
  if (report.result == -30904 && session->errorString[0] != 0)
    return Complain(kExitFailed, "the filter reports: " + PascalText(session->errorString));
  if (report.continueCapped) return Complain(kExitFailed, "the filter never stopped asking for data");
  if (report.result != noErr)
    return Complain(kExitFailed, std::string("the filter failed with ") + std::to_string(report.result) + " (" +
                                     ResultName(report.result) + "); nothing written");
  if (args.recordPath != nullptr) return SaveRecording(session, args.recordPath);
  return kExitOk;
}

int Apply(const HostPlugin& plugin, HostImage* image, const ApplyArguments& args) {
  ProgressBar bar;
  HostOptions options;
  options.foreground = args.foreground;
  options.background = args.background;
  options.abortAtPoll = args.abortAt;
  options.progressContext = &bar;
  for (const std::string& profile : args.profiles) ApplyHostProfile(profile, &options);
  DialogActions actions;
  actions.showPreview = args.showPreview;
  if (args.screenshot != nullptr) actions.screenshot.path = args.screenshot;
  if (args.showPreview || args.screenshot != nullptr) {
    options.dialogHook = ActOnDialog;
    options.dialogContext = &actions;
  }
  if (int64_t(image->width) * image->height >= kProgressBarPixels) options.progressHook = DrawProgress;
  std::string error;
  HostSession* session = OpenSession(plugin.entry, options, &error);
  if (session == nullptr) return Complain(kExitFailed, error);
  int code = Filter(session, image, args);
  CloseSession(session);
  if (actions.screenshot.failed) return Complain(kExitFailed, "could not take the screenshot");
  if (args.screenshot != nullptr) std::printf("wrote %s\n", args.screenshot);
  return code;
}

}  // namespace

int RunApply(int argc, char** argv) {
  ApplyArguments args;
  std::string error;
  if (!ParseApply(argc, argv, &args, &error)) return Complain(kExitUsage, error);
  // A bad action stops everything before the picture is touched.
  if (args.replayPath != nullptr && !LoadAction(args.replayPath, &args.replay, &error))
    return Complain(kExitFailed, "cannot play back the action: " + error);
  const auto start = std::chrono::steady_clock::now();
  HostImage image;
  if (!ReadPng(args.input, &image, &error)) return Complain(kExitFailed, error);
  if (args.deep && image.depth != 16) image = ConvertDepth(image, 16);
  const auto read = std::chrono::steady_clock::now();
  HostPlugin plugin;
  if (!LoadPlugin(args.plugin, &plugin, &error)) return Complain(kExitFailed, error);
  int code = Apply(plugin, &image, args);
  UnloadPlugin(&plugin);
  if (code != kExitOk) return code;
  const auto filtered = std::chrono::steady_clock::now();
  if (!WritePng(args.output, image, &error)) return Complain(kExitFailed, error);
  const auto written = std::chrono::steady_clock::now();
  using Milliseconds = std::chrono::duration<double, std::milli>;
  std::printf("wrote %s (reading %.0f ms, the run %.0f ms, writing %.0f ms)\n", args.output,
              Milliseconds(read - start).count(), Milliseconds(filtered - read).count(),
              Milliseconds(written - filtered).count());
  return kExitOk;
}
