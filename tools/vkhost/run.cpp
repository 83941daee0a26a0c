// Calling the plug-in: single selectors, and whole runs in a host's order.
#include <chrono>
#include <cstring>

#include "tools/vkhost/host_internal.h"

namespace {

bool Fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

bool ImageUsable(const HostImage& image) {
  HostImage shape;
  if (!MakeImage(&shape, image.width, image.height, image.colorPlanes, image.hasAlpha, image.depth)) return false;
  return image.pixels.size() == shape.pixels.size();
}

bool AllZero(const Rect& rect) { return rect.top == 0 && rect.left == 0 && rect.bottom == 0 && rect.right == 0; }

bool FitsImage(const Rect& rect, const HostImage& image) {
  return rect.top >= 0 && rect.left >= 0 && rect.top <= rect.bottom && rect.left <= rect.right &&
         rect.bottom <= image.height && rect.right <= image.width;
}

int16_t Invoke(HostSession* session, int16_t selector, void* record) {
  const HostOptions& options = session->options;
  int16_t result = selector == filterSelectorAbout && options.presetAboutResult ? 1 : options.initialResult;
  HostSession* previous = CurrentSession();
  SetCurrentSession(session);
  BeginDialogWatch(session);
  if (session->options.copyDataWord) CopyDataWord(session);
  const double delivered = session->internals->hostSeconds;
  BeginFloatingPointProfile(session);
  const auto start = std::chrono::steady_clock::now();
  session->entry(selector, record, &session->data, &result);
  const std::chrono::duration<double> inside = std::chrono::steady_clock::now() - start;
  EndFloatingPointProfile(session);
  EndDialogWatch();
  session->log.pluginSeconds += inside.count() - (session->internals->hostSeconds - delivered);
  SetCurrentSession(previous);
  session->log.calls.push_back({selector, result});
  return result;
}

// Before Continue a host delivers what the plug-in asks for, unless
// advanceState already did.
OSErr DeliverForContinue(HostSession* session) {
  if (RequestDelivered(session)) return noErr;
  AdvanceCall call = SnapshotRequest(session->record);
  call.result = DeliverRequest(session);
  call.byHost = true;
  session->log.advances.push_back(call);
  return call.result;
}

void AfterContinue(HostSession* session, int16_t result) {
  HostInternals* internals = session->internals;
  if (result == noErr) {
    WriteBackOutput(session);
  } else {
    internals->outputPending = false;  // a failed step is not applied
  }
  internals->delivered = false;
}

template <class T>
std::vector<T> Since(const std::vector<T>& all, size_t start) {
  return std::vector<T>(all.begin() + static_cast<std::ptrdiff_t>(start), all.end());
}

int16_t Step(HostSession* session, int16_t selector, HostRunReport* report) {
  int16_t result = CallPluginMain(session, selector);
  if (result != noErr && report->result == noErr) report->result = result;
  return result;
}

void RunSelectors(HostSession* session, const HostRunOptions& options, HostRunReport* report) {
  const bool parameters = options.showDialog || session->options.parametersEveryRun;
  if (parameters && Step(session, filterSelectorParameters, report) != noErr) return;
  if (Step(session, filterSelectorPrepare, report) != noErr) return;
  if (Step(session, filterSelectorStart, report) != noErr) return;
  int32_t calls = 0;
  while (RequestPending(session->record)) {
    if (calls++ >= options.maxContinueCalls) {
      report->continueCapped = true;
      break;
    }
    if (Step(session, filterSelectorContinue, report) != noErr) {
      if (!session->options.finishAfterFailedContinue) return;
      break;
    }
  }
  Step(session, filterSelectorFinish, report);
}

}  // namespace

bool BeginRun(HostSession* session, HostImage* image, const Rect& filterRect, std::string* error) {
  EndRun(session);
  if (image == nullptr || !ImageUsable(*image))
    return Fail(error, "the image is not one the host offers (1 or 3 colour planes, 8 or 16 bits, 1..30000 pixels)");
  Rect rect = filterRect;
  if (AllZero(rect)) rect = {0, 0, static_cast<int16_t>(image->height), static_cast<int16_t>(image->width)};
  if (!FitsImage(rect, *image))
    return Fail(error, "the filter rectangle lies outside the image (" + std::to_string(image->width) + "x" +
                           std::to_string(image->height) + " pixels)");
  session->image = image;
  session->filterRect = rect;
  if (session->options.forgetsParameters) {
    session->parameters = nullptr;
    session->data = 0;
  }
  std::memset(session->errorString, 0, sizeof session->errorString);
  session->log.advanceStateCalls = 0;
  if (session->options.copyParameters) CopyParameters(session);
  HandInStaleMemory(session);
  if (!AllocateRecord(session)) {
    session->image = nullptr;
    return Fail(error, "no memory for the filter record");
  }
  return true;
}

int16_t CallPluginMain(HostSession* session, int16_t selector) {
  if (selector == filterSelectorAbout) return ShowAbout(session);
  if (session->record == nullptr) {
    session->log.calls.push_back({selector, filterBadParameters});
    return filterBadParameters;
  }
  if (selector == filterSelectorContinue) {
    OSErr delivered = DeliverForContinue(session);
    if (delivered != noErr) return delivered;
  }
  if (selector == filterSelectorParameters) BeforeParameters(session);
  int16_t result = Invoke(session, selector, session->record);
  session->parameters = session->record->parameters;  // kept for later runs
  if (selector == filterSelectorContinue) AfterContinue(session, result);
  if (selector == filterSelectorFinish) TakeRecordedDescriptor(session);
  return result;
}

void EndRun(HostSession* session) {
  if (session->record != nullptr) session->parameters = session->record->parameters;
  ReleaseBuffers(session);
  EndRunDescriptors(session);
  if (session->image != nullptr) CheckStaleMemory(session);
  FreeRecord(session);
  session->image = nullptr;
}

HostRunReport RunFilter(HostSession* session, HostImage* image, const HostRunOptions& options) {
  HostRunReport report;
  const HostLog& log = session->log;
  const size_t calls = log.calls.size(), advances = log.advances.size(), progress = log.progress.size();
  const int32_t polls = log.abortPolls;
  const double pluginSeconds = log.pluginSeconds;
  if (!BeginRun(session, image, options.filterRect, &report.error)) {
    report.result = kParamErr;
    return report;
  }
  RunSelectors(session, options, &report);
  EndRun(session);
  report.calls = Since(log.calls, calls);
  report.advances = Since(log.advances, advances);
  report.progress = Since(log.progress, progress);
  report.abortPolls = log.abortPolls - polls;
  report.pluginSeconds = log.pluginSeconds - pluginSeconds;
  return report;
}

int16_t ShowAbout(HostSession* session) {
  AboutRecord about;
  std::memset(&about, 0, sizeof about);
  about.platformData = session->options.noPlatformData ? nullptr : &session->internals->platform;
  return Invoke(session, filterSelectorAbout, &about);
}

const char* SelectorName(int16_t selector) {
  switch (selector) {
    case filterSelectorAbout: return "About";
    case filterSelectorParameters: return "Parameters";
    case filterSelectorPrepare: return "Prepare";
    case filterSelectorStart: return "Start";
    case filterSelectorContinue: return "Continue";
    case filterSelectorFinish: return "Finish";
    default: return "unknown selector";
  }
}

const char* ResultName(int16_t result) {
  switch (result) {
    case noErr: return "noErr";
    case kParamErr: return "paramErr";
    case memFullErr: return "memFullErr";
    case kNilHandleErr: return "nilHandleErr";
    case userCanceledErr: return "userCanceledErr";
    case errMissingParameter: return "errMissingParameter";
    case filterBadParameters: return "filterBadParameters";
    case -30101: return "filterBadMode";
    case -30900: return "errPlugInHostInsufficient";
    case -30904: return "errReportString";
    default: return result > 0 ? "already reported by the plug-in" : "unknown error";
  }
}

std::string FourCharCode(uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((code >> shift) & 0xFF);
    text += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return text;
}
