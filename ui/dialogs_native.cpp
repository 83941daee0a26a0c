// Native builds have no windows. The dialog stands in as a user who opens it
// and presses OK at once: the preview's whole-image request is made and the
// stored parameters are confirmed; the about box shows nothing.
#include "preview/preview_buffers.h"
#include "ui/about_box.h"
#include "ui/parameter_dialog.h"

OSErr DoParameterDialog(FilterGlobals* globals) {
  AllocPreviewBuffers(globals);
  const OSErr delivered = InitPreview(globals);
  FreePreviewBuffers(globals);
  return delivered;
}

intptr_t DoAboutBox(const AboutRecord* /*about*/) { return 0; }
