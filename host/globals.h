// The plug-in's own records: the globals record kept through the host's data
// word, the two user parameters kept in the host's parameters handle, and the
// host identity found at load.
#pragma once

#include <cstdint>

#include "host/host_api.h"

enum : int32_t {
  hostOther = 0,
  hostFireworks = 1,
  hostPhotoshop = 3,
  hostPremiere = 8,
  hostAfterEffects = 11,
};

// Identity of the host process, from its executable's file name.
extern int32_t HostApp;

struct FilterGlobals {
  int16_t* result;              // the host's result word of the current call
  FilterRecord* filterRecord;   // the host's record of the current call
  int16_t showDialog;           // 1: open the parameter dialog at the next Start
  Rect previewRect;             // preview control, dialog client coordinates
  Rect processRect;             // area the engine plots, in delivered-buffer coordinates
  int16_t zoom;
  int16_t centerV;
  int16_t centerH;
  uint8_t* previewPixels;
  uint8_t* previewMask;
  int16_t hasTransparency;
  uint8_t* transparencyPlane;
  // How a later call knows the data word still addresses this record: hosts
  // may hand back a word an earlier process left (see kept_records.h).
  uint32_t keptTag;
  const FilterGlobals* keptAddress;
};

// Data of the parameters handle; the host keeps it between runs.
struct FilterParameters {
  int16_t draw;   // 0 normal (row by row), 1 spiral
  uint16_t shft;  // added to every plotted number
};
static_assert(sizeof(FilterParameters) == 4, "FilterParameters is stored by hosts as 4 bytes");

enum : int16_t {
  drawNormal = 0,
  drawSpiral = 1,
};

// The block behind the parameters handle, reached through the handle's first
// word without locking; null when the host has no usable block.
FilterParameters* GetFilterParameters(const FilterRecord* record);
