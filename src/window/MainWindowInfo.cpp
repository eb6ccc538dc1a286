// The Info menu's dialogs.
#include "MainWindow.h"

#include "InfoDialogs.h"
#include "devices/SessionInfoDlg.h"
#include "monitor/MonitorCycle.h"
#include "session/Session.h"

void TForm1::Winsock1Click() {
    // Window-modal without a nested event loop: the cycle and the clock run
    // on while it is open.
    auto* dialog = new TSockInfo(*session, this);
    dialog->open();
}

void TForm1::SessoniInformation1Click() {
    const TMonitorCycle& cycle = session->Cycle();
    auto* dialog = new TSessionInfoDlg(
        session->Grid(),
        [&cycle] {
            return TSessionInfoDlg::TCounters{cycle.LoopCount(), cycle.CurrentRow()};
        },
        cycle.TimerInterSite().interval(), this);
    dialog->show();
}

void TForm1::AboutVelmora1Click() {
    auto* dialog = new TAboutBox(this);
    dialog->open();
}
