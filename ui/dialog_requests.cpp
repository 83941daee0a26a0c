#include "ui/dialog_requests.h"

namespace {

constexpr OSErr kHostInsufficient = -30900;  // errPlugInHostInsufficient

DialogStep EndingStep(DialogRequest request) {
  return request == DialogRequest::Ok ? DialogStep::EndOk : DialogStep::EndCancel;
}

// EndDialog's value: 1 for OK, 2 for Cancel, the close message's low word.
uintptr_t EndingValue(DialogRequest request, uintptr_t value) {
  switch (request) {
    case DialogRequest::Ok: return 1;
    case DialogRequest::Cancel: return 2;
    default: return value & 0xFFFF;
  }
}

DialogAction Act(DialogFlow* flow, DialogRequest request, uintptr_t value) {
  if (request == DialogRequest::Refresh) return {DialogStep::Refresh, value};
  flow->ended = true;
  flow->confirmed = request == DialogRequest::Ok;
  return {EndingStep(request), EndingValue(request, value)};
}

DialogAction Wait(DialogFlow* flow, DialogRequest request, uintptr_t value) {
  const bool refresh = request == DialogRequest::Refresh;
  for (int i = 0; i < flow->waitingCount; ++i) {
    DialogAction& waiting = flow->waiting[i];
    const bool waitingRefresh = waiting.step == DialogStep::Refresh;
    if (refresh && waitingRefresh) {
      waiting.value = value;  // the latest flag wins
      return {DialogStep::Merge, 0};
    }
    if (!refresh && !waitingRefresh) return {DialogStep::Merge, 0};  // a dialog ends once
  }
  flow->waiting[flow->waitingCount++] = {refresh ? DialogStep::Refresh : EndingStep(request),
                                         refresh ? value : EndingValue(request, value)};
  return {DialogStep::Defer, 0};
}

}  // namespace

void ResetDialogFlow(DialogFlow* flow) { *flow = DialogFlow{}; }

DialogAction DecideRequest(DialogFlow* flow, DialogRequest request, uintptr_t value, bool composing) {
  if (flow->ended) return {DialogStep::Ignore, 0};
  return composing ? Wait(flow, request, value) : Act(flow, request, value);
}

bool NextWaitingRequest(DialogFlow* flow, DialogAction* action) {
  if (flow->waitingCount == 0 || flow->ended) {
    flow->waitingCount = 0;
    return false;
  }
  *action = flow->waiting[0];
  --flow->waitingCount;
  for (int i = 0; i < flow->waitingCount; ++i) flow->waiting[i] = flow->waiting[i + 1];
  if (action->step != DialogStep::Refresh) {
    flow->ended = true;
    flow->confirmed = action->step == DialogStep::EndOk;
  }
  return true;
}

bool DialogTakesEdits(const DialogFlow& flow) { return !flow.ended || flow.confirmed; }

OSErr DialogOutcome(const DialogFlow& flow, OSErr standing) {
  if (!flow.initialised) return kHostInsufficient;
  if (!flow.confirmed && standing == noErr) return userCanceledErr;
  return standing;
}
