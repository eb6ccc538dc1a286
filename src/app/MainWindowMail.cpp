// The e-mail side of the window: the SMTP client, the queue's delivery and
// the "&EMAIL Notification" menu.
#include "MainWindow.h"

#include "dns/DNSResolverPage.h"
#include "mail/EMAILLog.h"
#include "mail/EMAILNotify.h"
#include "mail/MailDelivery.h"
#include "mail/SMTPClient.h"

#include <QAction>
#include <QTabWidget>

void TForm1::buildMail() {
    smtp = new TSMTPClient(
        email, TimerSMTP, TimerSMTP2,
        {[this](const QString& t) { EMAILLog->AppendLog(t); }, [this] { return closePending; },
         [this] { return DNSPage->ServerList(); }, [this] { return DNSPage->ShownServer(); },
         [this] { return localHostIP; }, [this] { return clockText; }},
        this);
    mailDelivery = new TMailDelivery(queue, email, *smtp, EMAILTimer,
                                     {[this](const QString& l) { EMAILLog->AppendLog(l); },
                                      [this] { PageControl1->setCurrentWidget(TabSheet5); },
                                      [this] { return closePending; }},
                                     this);
    EMAILLog->SetDelivery(mailDelivery);

    auto wire = [this](QAction* action, std::function<void(bool)> handler) {
        action->setEnabled(true);
        connect(action, &QAction::triggered, this,
                [handler](bool checked) { Guarded([&] { handler(checked); }); });
    };
    wire(ActionEMAILParameters, [this](bool) { Parameters1Click(); });
    wire(ActionHoldEMAIL, [this](bool checked) {
        mailDelivery->ActionHoldEMAILNotificationExecute(checked, Settings());
    });
    wire(ActionDisplayPendingEMAILS,
         [this](bool) { mailDelivery->ActionDisplayEMAILQueueExecute(); });
    wire(ActionClearEMAILQueue, [this](bool) { EMAILLog->ActionClearEMAILQueueExecute(); });
    wire(DebugEMAIL1,
         [this](bool checked) { mailDelivery->DebugEMAILExecute(checked, Settings()); });
}

void TForm1::Parameters1Click() {
    TEMAILNotify::Execute({email, notifyAddresses, queue,
                           [this]() -> TIniFile& { return Settings(); },
                           [this] { return DNSPage->ShownServer(); },
                           [this](const QString& s) { return DNSPage->AddToServerList(s); },
                           [this] { return clockText; }, [this](int c) { HelpContext(c); }},
                          *mailDelivery, this);
}
