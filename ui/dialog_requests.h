// What the parameter dialog does with OK, Cancel, close and a preview
// refresh, decided without a window. While a composition runs, the engine's
// host callbacks may deliver these requests; they are then put off and acted
// on in their order once it has ended: at most one refresh (its latest flag)
// and the first of OK, Cancel and close. Remembering them, rather than
// posting them again, keeps a host that empties the message queue inside its
// callbacks from spinning.
#pragma once

#include <cstdint>

#include "host/host_api.h"

enum class DialogRequest { Ok, Cancel, Close, Refresh };

enum class DialogStep {
  Ignore,     // the dialog has ended (or the request is dropped): nothing
  Defer,      // put off: post WM_PREVIEW_ABORT to the dialog
  Merge,      // put off with one of its kind already waiting: nothing to post
  Refresh,    // refresh the preview with `value` as the recompute flag
  EndOk,      // confirm and end
  EndCancel,  // restore the parameters and end with `value`
};

struct DialogAction {
  DialogStep step;
  uintptr_t value;
};

// One dialog's state between its messages.
struct DialogFlow {
  bool initialised;  // the dialog's window came up
  bool ended;        // OK, Cancel or close has ended it
  bool confirmed;    // ... and it was OK
  DialogAction waiting[2];  // put off during a composition, in their order
  int waitingCount;
};

// A dialog not yet open: nothing initialised, ended or waiting.
void ResetDialogFlow(DialogFlow* flow);

// The step for a request. `value` is the refresh's recompute flag, or the
// close message's wParam (whose low word ends the dialog); `composing` says
// that a composition is running. An ending step marks the dialog ended.
DialogAction DecideRequest(DialogFlow* flow, DialogRequest request, uintptr_t value, bool composing);

// After a composition: the next request that waited for it, until none is
// left or one has ended the dialog (then the rest are dropped).
bool NextWaitingRequest(DialogFlow* flow, DialogAction* action);

// Edits change the parameters unless Cancel or close has ended the dialog:
// the edit box that loses the focus then must not undo the restore.
bool DialogTakesEdits(const DialogFlow& flow);

// What the dialog answers once it has gone, given the result word it left
// (`standing`): -30900 when it never came up (no whole-image request was
// made, so the run must not go on), -128 when it was not confirmed and
// nothing else failed, otherwise `standing`.
OSErr DialogOutcome(const DialogFlow& flow, OSErr standing);
