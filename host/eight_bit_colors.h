// Hosts that put 8-bit colour values into the 16-bit colour fields.
#pragma once

#include "host/host_api.h"

// True when every component of `foreground` and `background` equals the byte
// at the same index of `foreColor` and `backColor`, and at least one of them
// is non-zero: the host has given 0..255 values where the API has 0..65535.
//
// Exact: a host that follows the API derives its bytes from the 16-bit
// values (v / 257, rounded or truncated), and such a byte equals v only for
// v = 0; the all-zero case (black on black) reads the same either way and is
// left to the API's scale.
bool ColorsAreEightBit(const FilterRecord* record);
