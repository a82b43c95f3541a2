// How every interface pointer the engine holds is given up: once, and never
// twice, so that any release can be repeated on a record in any state.
#pragma once

template <typename Interface>
void ReleaseInterface(Interface*& pointer)
{
    if (pointer != nullptr) {
        pointer->Release();
        pointer = nullptr;
    }
}
