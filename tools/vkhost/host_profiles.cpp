// Named sets of host options: the hosts users have, as far as the plug-in
// can tell them apart.
#include "tools/vkhost/host.h"

namespace {

void Standard(HostOptions*) {}

void Partial(HostOptions* options) {
  options->eightBitColors = true;
  options->forgetsParameters = true;
  options->parametersEveryRun = true;
  options->descriptors.absent = true;
  options->handles.disposeDoesNothing = true;
  options->handles.sizeAnswersZero = true;
  options->zeroColumnBytes = true;
  options->presetAboutResult = true;
  options->finishAfterFailedContinue = false;
}

void UnmaskedFloatingPoint(HostOptions* options) { options->floatingPoint = FloatingPointProfile{true}; }

void Bare(HostOptions* options) {
  options->noCommonControls = true;
  options->nullWindow = true;
  options->descriptors.absent = true;
}

void Stale(HostOptions* options) { options->stale = StaleKept::Recreated; }

// No progress or abort callback: the run cannot be cancelled, and its time is
// the plug-in's own.
void NoCallbacks(HostOptions* options) {
  options->noProgressProc = true;
  options->noAbortProc = true;
}

struct HostProfile {
  const char* name;
  void (*apply)(HostOptions* options);
};

// One row per profile.
const HostProfile kProfiles[] = {
    {"standard", Standard},
    {"partial", Partial},
    {"unmasked-fp", UnmaskedFloatingPoint},
    {"bare", Bare},
    {"stale", Stale},
    {"no-callbacks", NoCallbacks},
};

}  // namespace

bool ApplyHostProfile(const std::string& name, HostOptions* options) {
  for (const HostProfile& profile : kProfiles) {
    if (name != profile.name) continue;
    profile.apply(options);
    return true;
  }
  return false;
}

std::string HostProfileNames() {
  std::string names;
  for (const HostProfile& profile : kProfiles) names += (names.empty() ? "" : ", ") + std::string(profile.name);
  return names;
}
