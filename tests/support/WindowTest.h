#pragma once

#include "TestFiles.h"
#include "TestSupport.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorSetupPage.h"
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

// A fixture for a window the test opens on files it writes first, its cycle
// running on an echo that answers every device in 1 ms, so that nothing
// leaves the machine.
struct TRunningWindowTest : ::testing::Test {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    std::unique_ptr<TForm1> form;

    QString ini() const { return folder.file(QStringLiteral("velmora.ini")); }
    // Writes the data file and the settings (`settings` holds keys of the
    // main section), then opens the window.
    void open(const QByteArray& devices, const QByteArray& settings = {}) {
        WriteTestFile(folder.file("net.dat"), devices);
        WriteTestFile(ini(), "[VELMORA Settings]\r\nDATFile=" + folder.file("net.dat").toUtf8() +
                                 "\r\n" + settings + "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n");
        reopen();
    }
    // The window started afresh on what the files hold now.
    void reopen() {
        form.reset();
        form = std::make_unique<TForm1>(TestWindowOptions());
        form->Session().Cycle().SetEcho([](const QString&, int) {
            TEchoResult r;
            r.replied = true;
            r.roundTripTime = 1;
            return r;
        });
    }
    TMonitorSetupPage* page() { return Named<TMonitorSetupPage>(*form, "MonitorSetup"); }
};
