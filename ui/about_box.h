#pragma once

#include <cstdint>

#include "host/host_api.h"

// Shows the product box, owned by the host window named in the about
// record's platform data, until the user clicks into it. Returns what the
// system's dialog call returned; nobody needs it.
intptr_t DoAboutBox(const AboutRecord* about);
