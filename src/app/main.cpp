#include "MainWindow.h"

#include "platform/ErrorGuard.h"
#include "platform/VelmoraError.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

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
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        struct sigaction sa = {};
        sa.sa_handler = onTerminationSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int s : {SIGTERM, SIGINT, SIGHUP})
            sigaction(s, &sa, nullptr);
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&] {
            char buf[16];
            [[maybe_unused]] auto n = ::read(signalPipe[0], buf, sizeof buf);
            // A modal dialog open (its own event loop) is cancelled first;
            // the close then runs once that loop has returned.
            for (int i = 0; i < 16; ++i) {
                QWidget* modal = QApplication::activeModalWidget();
                if (!modal)
                    break;
                modal->close();
            }
            if (!form) {
                closeWanted = true;
                return;
            }
            QMetaObject::invokeMethod(form, &QWidget::close, Qt::QueuedConnection);
        });
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
