// A track or check box by its number, with the value it starts at: what
// the command line gives and the runs and reports hand to the plug-in.
#pragma once

#include <cstdint>

struct IndexedValue {
    int index;
    int32_t value;
};
