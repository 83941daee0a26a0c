// Screenshots of a plug-in dialog: call ScheduleScreenshot from a dialog
// hook; the picture is taken once the dialog has painted, written as PNG to
// `path`, and the dialog is then accepted (OK, or a click for the about box).
#pragma once

#include <string>

struct ScreenshotRequest {
  std::string path;
  mutable bool failed = false;
};

void ScheduleScreenshot(void* window, const ScreenshotRequest* request);
