#include "ui/about_box.h"

// The about box is not built yet; the About selector answers without a box.
void DoAboutBox(const AboutRecord* /*about*/) {}
