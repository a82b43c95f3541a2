// The registration table the host reads once at load time. Everything here is
// static data: the host keeps the pointers for as long as the module is loaded.
#include "filter_table.h"

#include "host_interface/tracks.h"

namespace {

const int32_t trackDefaults[trackCount] = {};
const int32_t trackMinimums[trackCount] = {
    colourTrackMinimum, colourTrackMinimum, colourTrackMinimum, colourTrackMinimum,
    colourTrackMinimum, colourTrackMinimum, colourTrackMinimum, colourTrackMinimum,
    colourTrackMinimum, colourTrackMinimum, colourTrackMinimum, colourTrackMinimum,
    colourTrackMinimum, colourTrackMinimum, colourTrackMinimum, kindF32,
};
// The Format track's slider stops at the last format kind. A host
// that sends more gets kindNone (ClampFormatKind), which the engine answers
// with the lowest kind the device can use, as it does for an unavailable kind.
const int32_t trackMaximums[trackCount] = {
    colourTrackMaximum, colourTrackMaximum, colourTrackMaximum, colourTrackMaximum,
    colourTrackMaximum, colourTrackMaximum, colourTrackMaximum, colourTrackMaximum,
    colourTrackMaximum, colourTrackMaximum, colourTrackMaximum, colourTrackMaximum,
    colourTrackMaximum, colourTrackMaximum, colourTrackMaximum, formatTrackMaximum,
};

// The host reads captions in code page 932, so the Japanese caption
// ("synchronise R, G and B") is stored as its Shift-JIS bytes.
const char* const checkNames[1] = {
    "RGB\x82\xF0\x93\xAF\x8A\xFA\x82\xB3\x82\xB9\x82\xE9",
};
const int32_t checkDefaults[1] = {0};

// Not const: the host's type for the table is writable, and a host that
// writes into it must not fault. The plug-in itself never writes it.
FilterTable filterTable = {
    0x00040000u,  // flags: bit 18 only
    0,
    0,
    "Tarnel(Prof)",
    trackCount,
    trackNames,
    trackDefaults,
    trackMinimums,
    trackMaximums,
    1,
    checkNames,
    checkDefaults,
    onProcess,
    onInit,
    onExit,
    onUpdate,
    onWindowMessage,
    nullptr,  // trackValues, checkValues, hostFunctions, window and
    nullptr,  // moduleInstance are the host's, in its own FilterContext
    0,
    0,
    "kelvo by Orvin, ver" KELVO_SHORT_VERSION,  // from project(VERSION)
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
