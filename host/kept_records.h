// The data word and the parameters handle come back from the host on every
// call. Some hosts keep them longer than this process lives (a bridge that
// runs each filter call in a new process and saves both in between, or a
// document saved with them), and hand back addresses of memory this process
// never gave out: unmapped, or holding something else. Nothing is followed
// before it is shown to be ours; faults are avoided by asking the system
// about the pages first, since some hosts die on an access violation before
// any handler of ours could run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/globals.h"

// Marks a new globals record so that ForgetUnusableDataWord knows it later.
void MarkGlobals(FilterGlobals* globals);

// Clears the data word unless it names a globals record this module can use,
// so that the call starts a new one as for a data word of 0. A record in a
// block (`inHandle` false) must be one this module made and marked, or a
// host's copy of one in a block of its own; a record in a handle must be in
// one of the host's (when its suite `procs` is usable: its lockProc knows its
// own handles) or in a fallback handle (ours, or a host's copy of one) whose
// record and data are global blocks, the data of the record's size.
void ForgetUnusableDataWord(intptr_t* data, bool inHandle, const HandleProcs* procs);

// Clears the record's parameters handle unless it can be followed: a fallback
// handle whose record and data are global blocks, the data 4 bytes, or a
// host's own handle whose first word addresses 4 bytes that can be read and
// written. A cleared handle is made again, with the values last confirmed in
// this process.
void ForgetUnusableParameters(FilterRecord* record);
