// The "&EMAIL Notification" menu and the EMAIL Log's queue commands.
#include "MainWindow.h"

#include "dns/DNSResolverPage.h"
#include "mail/EMAILLog.h"
#include "mail/EMAILNotify.h"
#include "mail/MailDelivery.h"
#include "platform/ErrorGuard.h"
#include "platform/LogModel.h"
#include "push/DesktopNotifier.h"
#include "push/PushNotifyDlg.h"
#include "session/Session.h"

#include <QAction>
#include <QMenuBar>

void TForm1::bindMail() {
    EMAILLog->SetDelivery(&session->Delivery());
    auto wire = [this](const char* name, std::function<void(bool)> handler) {
        auto* action = findChild<QAction*>(QLatin1String(name));
        action->setEnabled(true);
        connect(action, &QAction::triggered, this,
                [handler](bool checked) { Guarded([&] { handler(checked); }); });
        return action;
    };
    wire("Parameters1", [this](bool) { Parameters1Click(); });
    wire("PushNotifications1", [this](bool) { PushNotifications1Click(); });
    desktopNotifier = new TDesktopNotifier(
        [this](const QString& line) { session->MonitorLog().Append(line); }, this);
    desktopNotifier->setObjectName(QStringLiteral("DesktopNotifier"));
    connect(session, &TSession::DeviceChanged, this, [this](bool down, const QStringList& cells) {
        if (session->PushSettings().desktopNotify)
            desktopNotifier->DeviceChanged(down, cells);
    });
    ActionHoldEMAIL =
        wire("HoldEMAILNotification1", [this](bool checked) { session->SetHoldEMAIL(checked); });
    wire("DisplayPendingEMAILS1",
         [this](bool) { session->Delivery().ActionDisplayEMAILQueueExecute(); });
    wire("ClearEMAILNotificationQueue1",
         [this](bool) { EMAILLog->ActionClearEMAILQueueExecute(); });
    DebugEMAIL1 = wire("DebugEMAIL1", [this](bool checked) { session->SetDebugEMAIL(checked); });
}

void TForm1::Parameters1Click() {
    TSession& s = *session;
    TEMAILNotify::Execute({s.Email(), s.NotifyAddresses(), s.Queue(),
                           [&s]() -> TIniFile& { return s.Settings(); },
                           [this] { return DNSPage->ShownServer(); },
                           [&s](const QString& server) {
                               const bool changed = s.AddDnsServer(server);
                               s.SaveDNSLists();
                               return changed;
                           },
                           [&s] { return s.ClockText(); }, [this](int c) { HelpContext(c); }},
                          s.Delivery(), this);
}

void TForm1::PushNotifications1Click() {
    TSession& s = *session;
    TPushNotify::Execute({s.PushSettings(), s.Push(), [&s]() -> TIniFile& { return s.Settings(); },
                          [&s] { return s.ClockText(); }, [this](int c) { HelpContext(c); }},
                         this);
}
