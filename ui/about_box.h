#pragma once

#include "host/host_api.h"

// Shows the product box owned by the host window of the about record.
void DoAboutBox(const AboutRecord* about);
