#include "CommandLine.h"
#include "InstanceLock.h"
#include "TerminationSignals.h"
#include "window/MainWindow.h"

#include "platform/ErrorGuard.h"
#include "platform/SettingsFile.h"
#include "platform/VelmoraError.h"
#include "ui/DialogPrompts.h"

#include <QApplication>

namespace {

// Errors that escape a handler end up here: show them and carry on.
class TVelmoraApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const TVelmoraError& e) {
            ShowError(e.message());
        } catch (const std::exception& e) {
            ShowError(QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    // Before the application: --help needs no display.
    const TCommandLine commandLine = ParseCommandLine(
        Arguments(argc, argv),
        {QStringLiteral("velmora"),
         QStringLiteral("Velmora, a network-availability monitor: probes a list of devices\n"
                        "with ICMP echo requests and shows their state."),
         true});
    if (!Obey(commandLine))
        return commandLine.exitCode;
    TVelmoraApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Velmora"));
    app.setApplicationDisplayName(QStringLiteral("Velmora"));
    // The tray icon keeps the program alive while the window is hidden.
    app.setQuitOnLastWindowClosed(false);

    // A termination signal asks the window to close, through the same rule
    // as its close button, so a busy probe is finished first. Handlers go in
    // before the window is built: start-up may wait on the operator (the DNS
    // server prompt), and a signal then cancels that question first.
    TForm1* form = nullptr;
    bool closeWanted = false;
    TTerminationSignals terminations;
    QObject::connect(&terminations, &TTerminationSignals::Requested, &app, [&] {
        if (form) {
            form->TerminationRequested();
            return;
        }
        closeWanted = true;
        TForm1::CancelModalDialogs();
    });

    TInstanceLock lock(SettingsFilePath());
    if (!lock.Acquire()) {
        TDialogPrompts dialogs;
        SetDefaultPrompts(&dialogs);
        ShowError(lock.Refusal());
        SetDefaultPrompts(nullptr);
        return 1;
    }

    try {
        TForm1 window;
        form = &window;
        window.show();
        if (closeWanted)
            window.close();
        app.exec();
        form = nullptr;
    } catch (const std::exception& e) {
        form = nullptr;
        ShowError(QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
