// The colour-correction filter as the engine and the callbacks see it.
#pragma once

#include "engine/filter_description.h"

extern const FilterDescription correctionFilter;
