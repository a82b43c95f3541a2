// What the host's five callbacks do, for any filter description: a filter's
// own callbacks (filter_table.cpp) pass theirs. A module holds one filter.
#pragma once

#include "engine/filter_description.h"
#include "host_interface/host_records.h"

int32_t InitFilter(const FilterDescription& filter, FilterContext* context);
int32_t ExitFilter(FilterContext* context);
int32_t ProcessFilterFrame(FilterContext* context, FrameInfo* frame);
int32_t UpdateFilter(const FilterDescription& filter, FilterContext* context, int32_t hostValue);
int32_t HandleFilterMessage(const FilterDescription& filter, uint32_t message, int32_t wParam,
                            FilterContext* context);
