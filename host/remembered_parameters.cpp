#include "host/remembered_parameters.h"

namespace {

FilterParameters remembered = {drawNormal, 0};

}  // namespace

void RememberParameters(const FilterParameters& values) { remembered = values; }

FilterParameters StartingParameters() { return remembered; }

void ForgetRememberedParameters() { remembered = {drawNormal, 0}; }
