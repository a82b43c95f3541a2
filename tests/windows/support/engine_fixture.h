// The frame of every engine test: a fresh engine record, a host context on a hidden window, message capture and Direct3D
// tracking. At the end it puts every patched pointer back, destroys the
// engine and checks that no message went unexamined and that the engine left
// no reference on the Direct3D object or the device.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "correction_engine.h"
#include "correction_filter.h"
#include "core/correction_tracks.h"
#include "d3d_faults.h"
#include "d3d_tracking.h"
#include "message_capture.h"
#include "pointer_patch.h"

// The plug-in module, loaded from beside the test program: the module the
// engine loads its effect (RCDATA 104) from. Null when it cannot be loaded.
HMODULE EffectModule();

class EngineTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Ends the engine as TearDown does, checks included, and begins again
    // within the same test: for cases run in a loop.
    void StartOver();

    // CreateEngineDevice on the fixture's context.
    bool CreateDevice();
    // CreateDevice that must succeed without a message.
    void CreateReadyEngine();

    CorrectionEngine engine;
    FilterContext context;
};

// The x87 control word of the calling thread.
uint16_t X87ControlWord();
void SetX87ControlWord(uint16_t word);
