// How every interface pointer and library the engine holds is given up:
// once, and never twice, so that any release can be repeated on a record in
// any state. What a release answers is not acted on: the object is ours no
// longer either way.
#pragma once

#include <windows.h>

template <typename Interface>
void ReleaseInterface(Interface*& pointer)
{
    if (pointer != nullptr) {
        pointer->Release();
        pointer = nullptr;
    }
}

inline void ReleaseLibrary(HMODULE& module)
{
    if (module != nullptr) {
        FreeLibrary(module);
        module = nullptr;
    }
}
