// Named sets of host options: the hosts users have, as far as the plug-in
// can tell them apart.
#include "tools/vkhost/host.h"

namespace {

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

}  // namespace

bool ApplyHostProfile(const std::string& name, HostOptions* options) {
  if (name == "standard") return true;
  if (name == "partial") {
    Partial(options);
    return true;
  }
  if (name == "unmasked-fp") {
    UnmaskedFloatingPoint(options);
    return true;
  }
  return false;
}
