// The five callbacks the host drives. Until the correction engine is in
// place they refuse to start and refuse every frame, so a host never
// believes a frame was corrected.
#include "filter_table.h"

int32_t __cdecl onInit(FilterContext*)
{
    return 0;
}

int32_t __cdecl onExit(FilterContext*)
{
    return 1;
}

int32_t __cdecl onProcess(FilterContext*, FrameInfo*)
{
    return 0;
}

int32_t __cdecl onUpdate(FilterContext*, int32_t)
{
    return 1;
}

int32_t __cdecl onWindowMessage(HWND, uint32_t, int32_t, int32_t, void*, FilterContext*)
{
    return 0;
}
