// The registration table the host reads once at load time, and the callbacks
// it points to, all for the colour-correction filter. Everything here is
// static data: the host keeps the pointers for as long as the module is
// loaded.
#include "filter_table.h"

#include "core/correction_tracks.h"
#include "correction_filter.h"
#include "filter_callbacks.h"

namespace {

// The registration arrays, one column of the track rows each.
constexpr auto trackDefaults = ColumnOf(correctionTracks, &TrackRow::defaultValue);
constexpr auto trackMinimums = ColumnOf(correctionTracks, &TrackRow::minimum);
constexpr auto trackMaximums = ColumnOf(correctionTracks, &TrackRow::maximum);

// Not const: the host's type for the table is writable, and a host that
// writes into it must not fault. The plug-in itself never writes it.
FilterTable filterTable = {
    0x00040000u,  // flags: bit 18 only
    0,
    0,
    correctionFilter.name,
    trackCount,
    trackNames,
    trackDefaults.values,
    trackMinimums.values,
    trackMaximums.values,
    correctionFilter.checkCount,
    correctionFilter.checkNames,
    correctionFilter.checkDefaults,
    onProcess,
    onInit,
    onExit,
    onUpdate,
    onWindowMessage,
    nullptr,  // trackValues, checkValues, hostFunctions, window and
    nullptr,  // moduleInstance are the host's, in its own FilterContext
    0,
    0,
    correctionFilter.information,
    0,
    0,
    nullptr,
    nullptr,
    nullptr,
    {},
};

}  // namespace

extern "C" FilterTable* __cdecl GetFilterTable(void)
{
    return &filterTable;
}

int32_t __cdecl onProcess(FilterContext* context, FrameInfo* frame)
{
    return ProcessFilterFrame(context, frame);
}

int32_t __cdecl onInit(FilterContext* context)
{
    return InitFilter(correctionFilter, context);
}

int32_t __cdecl onExit(FilterContext* context)
{
    return ExitFilter(context);
}

int32_t __cdecl onUpdate(FilterContext* context, int32_t hostValue)
{
    return UpdateFilter(correctionFilter, context, hostValue);
}

int32_t __cdecl onWindowMessage(HWND, uint32_t message, int32_t wParam, int32_t, void*,
                                FilterContext* context)
{
    return HandleFilterMessage(correctionFilter, message, wParam, context);
}
