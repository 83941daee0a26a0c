// The product version, defined here only: CMake reads the three numbers from
// this file, and the version resource, the about box and the dialog title
// spell the text from them.
#ifndef VARDELKIST_RESOURCES_VERSION_H
#define VARDELKIST_RESOURCES_VERSION_H

#define VARDELKIST_VERSION_MAJOR 1
#define VARDELKIST_VERSION_MINOR 0
#define VARDELKIST_VERSION_PATCH 0

#define VARDELKIST_STRINGIFY_(tokens) #tokens
#define VARDELKIST_STRINGIFY(tokens) VARDELKIST_STRINGIFY_(tokens)
// "1.0.0"
#define VARDELKIST_VERSION_TEXT \
  VARDELKIST_STRINGIFY(VARDELKIST_VERSION_MAJOR.VARDELKIST_VERSION_MINOR.VARDELKIST_VERSION_PATCH)

#endif
