#include "FtpStep.h"

#include "platform/Prompts.h"
#include "web/FtpClient.h"
#include "web/FtpRules.h"

#include <QFileInfo>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

using ftp::Error;

namespace {

const QString kUnsuccessful = QStringLiteral("FTP Transfer Unsuccessful.");

} // namespace

struct TFtpStep::TPrivate {
    enum class TStage { Idle, Leftover, Connect, Commands, FailDisconnect };

    TFtpStep* q;
    TNMFTP NMFTP1;
    TWebPageSettings* boxes = nullptr;
    TPagePaths pages;
    bool running = false;
    TStage stage = TStage::Idle;
    std::vector<std::function<bool()>> commands;
    std::size_t next = 0;
    std::optional<TCmdType> failure; // OnFailure of the operation in progress
    TFtpError error;                 // the one that ends the step
    QTimer runBound;                 // the whole dialogue's
    bool overran = false;            // runBound fired; the step ends with it
    TShowBox showBox;

    explicit TPrivate(TFtpStep* owner) : q(owner) {
        NMFTP1.setObjectName(QStringLiteral("NMFTP1"));
        runBound.setSingleShot(true);
        runBound.setInterval(kRunBoundMs);
        QObject::connect(&runBound, &QTimer::timeout, q, [this] { runBoundPassed(); });
        QObject::connect(&NMFTP1, &TNMFTP::OnConnect, q, [this] { NMFTP1Connect(); });
        QObject::connect(&NMFTP1, &TNMFTP::OnDisconnect, q, [this] { NMFTP1Disconnect(); });
        QObject::connect(&NMFTP1, &TNMFTP::OnConnectionFailed, q,
                         [this] { NMFTP1ConnectionFailed(); });
        QObject::connect(&NMFTP1, &TNMFTP::OnConnectionRequired, q,
                         [this](bool* handled) { NMFTP1ConnectionRequired(handled); });
        QObject::connect(&NMFTP1, &TNMFTP::OnError, q,
                         [this](int number, const QString& text) { NMFTP1Error(number, text); });
        QObject::connect(&NMFTP1, &TNMFTP::OnSuccess, q,
                         [this](TCmdType kind) { NMFTP1Success(kind); });
        QObject::connect(&NMFTP1, &TNMFTP::OnFailure, q,
                         [this](bool* handled, TCmdType kind) { NMFTP1Failure(handled, kind); });
        QObject::connect(&NMFTP1, &TNMFTP::Done, q,
                         [this](TNMFTP::TOperation, const TFtpError& e) { done(e); });
    }

    void line(const QString& entry) { emit q->Line(entry); }

    // The event lines read the boxes as they are when the event comes.
    QString host() const { return boxes ? boxes->ftpHost : QString(); }

    void NMFTP1Connect() { line(QStringLiteral("FTP Connected to Host: ") + host()); }
    void NMFTP1Disconnect() { line(QStringLiteral("FTP Disconnected from Host: ") + host()); }
    void NMFTP1ConnectionFailed() {
        line(QStringLiteral("FTP Connection Failure.\nThe FTP->Connect() method failed to "
                            "connect to Host"));
    }
    void NMFTP1ConnectionRequired(bool*) {
        line(QStringLiteral("FTP Method Failure.\nAn FTP method was called that requires an "
                            "active connection to a remote host."));
    }
    void NMFTP1Error(int number, const QString& text) {
        line(QStringLiteral("Winsock Error.\nError Number: %1\nError Message: %2")
                 .arg(number)
                 .arg(text));
    }
    void NMFTP1Success(TCmdType kind) {
        if (kind == TNMFTP::cmdUpload) {
            line(QStringLiteral("Success: cmdUpload  - Velmora HTML File Copied to ") + host() +
                 QLatin1Char(':') + (boxes ? boxes->ftpPort + boxes->ftpFolder : QString()));
            return;
        }
        line(QStringLiteral("Success: ") + TNMFTP::CmdTypeName(kind));
    }
    // The disconnect comes first and its line with it, so the failure text
    // is added once the operation has ended (failed()).
    void NMFTP1Failure(bool*, TCmdType kind) { failure = kind; }

    void finish(bool endsRun, const QString& text = QString()) {
        runBound.stop();
        overran = false;
        stage = TStage::Idle;
        commands.clear();
        // Never from inside a signal of the client: the caller may go on
        // with anything, this step included.
        QTimer::singleShot(0, q, [this, endsRun, text] {
            running = false;
            boxes = nullptr;
            emit q->Finished(endsRun, text);
        });
    }

    void unsuccessful(const QString& why) {
        line(kUnsuccessful);
        line(QStringLiteral("  - ") + why);
        finish(false);
    }

    void run(TWebPageSettings& b, const TPagePaths& p, const QString& clockText) {
        running = true;
        boxes = &b;
        pages = p;
        failure.reset();
        error = {};
        overran = false;
        if (!b.useFtp) {
            finish(false);
            return;
        }
        line(QStringLiteral("FTP Transfer Initiated on: ") + clockText);
        // A line break would end the command it goes into and start another.
        const struct {
            QString* box;
            const char* name;
        } required[] = {
            {&b.ftpHost, "FTP Host"}, {&b.ftpUser, "UserID"}, {&b.ftpPassword, "Password"}};
        for (const auto& r : required) {
            *r.box = r.box->trimmed();
            if (r.box->isEmpty()) {
                unsuccessful(QLatin1String(r.name) + QStringLiteral(" not Specified."));
                return;
            }
            if (HasLineBreak(*r.box)) {
                unsuccessful(QLatin1String(r.name) + QStringLiteral(" holds a line break."));
                return;
            }
        }
        if (const TPagePaths::TCheck c = p.Check(); !c.Ok()) {
            line(kUnsuccessful);
            for (const QString& name : c.notWritten)
                line(QStringLiteral("  - Velmora %1 HTML File could not be written.").arg(name));
            if (c.missing)
                line(QStringLiteral("  - Velmora Index/Grid/Log HTML Files do not exist."));
            finish(false);
            return;
        }
        if (HasLineBreak(b.ftpFolder.trimmed())) {
            unsuccessful(QStringLiteral("Host Folder holds a line break."));
            return;
        }
        // From here on the server sets the pace.
        runBound.start();
        if (NMFTP1.Connected()) {
            stage = TStage::Leftover;
            NMFTP1.Disconnect();
            return;
        }
        connectToServer();
    }

    QString boundText() const {
        const int ms = runBound.interval();
        if (ms % 1000 == 0)
            return QStringLiteral("%1 s").arg(ms / 1000);
        return QStringLiteral("%1 ms").arg(ms);
    }

    // The whole dialogue has taken too long: the operation in progress is
    // given up as a wait that timed out, and the step ends the run.
    void runBoundPassed() {
        if (stage == TStage::Idle)
            return;
        overran = true;
        const TFtpError e = Error(TFtpError::TKind::TimedOut,
                                  QStringLiteral("FTP transfer timed out after ") + boundText());
        error = e;
        if (!NMFTP1.GiveUp(e.text))
            overrunEnded(e);
    }

    void overrunEnded(const TFtpError& e) {
        error = e;
        timedOutLine(e);
        failEnded();
    }

    void connectToServer() {
        boxes->ftpPort = boxes->ftpPort.trimmed();
        quint16 port = 21;
        if (!boxes->ftpPort.isEmpty()) {
            bool ok = false;
            const int n = boxes->ftpPort.toInt(&ok);
            if (!ok || n < 1 || n > 65535) {
                finish(true, QStringLiteral("'%1' is not a valid port number (1 to 65535).")
                                 .arg(boxes->ftpPort));
                return;
            }
            port = quint16(n);
        }
        NMFTP1.Host = boxes->ftpHost;
        NMFTP1.Port = port;
        NMFTP1.UserID = boxes->ftpUser;
        NMFTP1.Password = boxes->ftpPassword;
        stage = TStage::Connect;
        NMFTP1.Connect();
    }

    void connectEnded(const TFtpError& e) {
        if (!e.Failed()) {
            afterLogin();
            return;
        }
        timedOutLine(e);
        // The operator's time is not the server's.
        runBound.stop();
        const QString text = QStringLiteral("FTP Login Failure");
        const QString caption = QStringLiteral("FTP Error");
        if (showBox)
            showBox(text, caption, [this] { afterLogin(); });
        else
            Prompts().ShowMessage(text, caption, TPrompts::Icon::Error, [this] { afterLogin(); });
    }

    void afterLogin() {
        if (!NMFTP1.Connected()) {
            line(QStringLiteral("FTP Connect Unsuccessful."));
            line(QStringLiteral("  - Connection to %1:%2 failed.")
                     .arg(NMFTP1.Host)
                     .arg(NMFTP1.Port));
            finish(false);
            return;
        }
        commands.clear();
        next = 0;
        boxes->ftpFolder = boxes->ftpFolder.trimmed();
        if (!boxes->ftpFolder.isEmpty())
            commands.push_back(
                [this, folder = boxes->ftpFolder] { return NMFTP1.ChangeDir(folder); });
        commands.push_back([this] { return NMFTP1.Mode(1); });
        for (const QString& page : {pages.index, pages.grid, pages.log})
            commands.push_back(
                [this, page] { return NMFTP1.Upload(page, QFileInfo(page).fileName()); });
        commands.push_back([this] { return NMFTP1.Disconnect(); });
        stage = TStage::Commands;
        nextCommand();
    }

    void nextCommand() {
        if (next >= commands.size()) {
            finish(false);
            return;
        }
        failure.reset();
        commands[next++]();
    }

    void timedOutLine(const TFtpError& e) {
        if (e.kind == TFtpError::TKind::TimedOut)
            line(QStringLiteral("FTP Time-out: ") + e.text + QLatin1Char('.'));
    }

    // An error after the login ends the whole run, once the connection is
    // down.
    void failed(const TFtpError& e) {
        error = e;
        timedOutLine(e);
        if (NMFTP1.Connected()) {
            stage = TStage::FailDisconnect;
            NMFTP1.Disconnect();
            return;
        }
        failEnded();
    }

    void failEnded() {
        if (failure)
            line(QStringLiteral("Failure: ") + TNMFTP::CmdTypeName(*failure));
        finish(true, error.text);
    }

    void done(const TFtpError& e) {
        // The operation given up by the bound ends here, with the bound's
        // error whatever it reports.
        if (stage != TStage::Idle && overran) {
            overrunEnded(TFtpError(error));
            return;
        }
        switch (stage) {
        case TStage::Idle:
            return;
        case TStage::Leftover:
            if (e.Failed()) {
                finish(true, e.text);
                return;
            }
            connectToServer();
            return;
        case TStage::Connect:
            connectEnded(e);
            return;
        case TStage::Commands:
            if (e.Failed()) {
                failed(e);
                return;
            }
            nextCommand();
            return;
        case TStage::FailDisconnect:
            // The error that ended the step is the one to show.
            failEnded();
            return;
        }
    }
};

TFtpStep::TFtpStep(QObject* parent) : QObject(parent), d(new TPrivate(this)) {}

TFtpStep::~TFtpStep() {
    delete d;
}

void TFtpStep::Run(TWebPageSettings& boxes, const TPagePaths& pages, const QString& clockText) {
    if (d->running)
        return;
    d->run(boxes, pages, clockText);
}

bool TFtpStep::Running() const {
    return d->running;
}

void TFtpStep::SetTimeOut(int ms) {
    d->NMFTP1.TimeOut = ms;
}

void TFtpStep::SetRunBound(int ms) {
    d->runBound.setInterval(ms);
}

void TFtpStep::SetShowBox(TShowBox show) {
    d->showBox = std::move(show);
}
