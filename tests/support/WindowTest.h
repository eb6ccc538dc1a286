#pragma once

#include "TestSupport.h"
#include "monitor/MonitorCycle.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <gtest/gtest.h>
#include <memory>

// A test's window: closing it does not quit the application.
inline TForm1::Options TestWindowOptions() {
    TForm1::Options o;
    o.quitOnClose = false;
    return o;
}

// A fixture with the window open in a fresh program folder, scripted
// prompts and a recording launcher, its cycle's timers stopped so that only
// the test moves the cycle.
struct TWindowTest : ::testing::Test {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    std::unique_ptr<TForm1> form;

    void SetUp() override { OpenWindow(); }
    // The window started afresh on what the program folder holds now.
    void OpenWindow() {
        form.reset();
        form = std::make_unique<TForm1>(TestWindowOptions());
        form->Session().Cycle().StopTimers();
    }
};
