#include "Publisher.h"

#include "FtpStep.h"
#include "WebPages.h"
#include "platform/LogModel.h"
#include "platform/Prompts.h"
#include "platform/TextLines.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

TPublisher::TPublisher(Host h, QObject* parent)
    : QObject(parent), host(std::move(h)), transferLog(new TLogModel(this)),
      ftp(new TFtpStep(this)) {
    connect(ftp, &TFtpStep::Line, this, &TPublisher::log);
    ftp->SetShowBox([this](const QString& text, const QString& caption,
                           std::function<void()> closed) { showBox(text, caption, closed); });
    connect(ftp, &TFtpStep::Finished, this, [this](bool endsRun, const QString& errorText) {
        // The step trims its boxes as it goes.
        emit BoxesChanged();
        if (endsRun) {
            showBox(errorText, QStringLiteral("Velmora"), {});
            endRun();
            emit RunFailed(errorText);
            return;
        }
        copyPagesToDrive();
        endRun();
    });
}

TPublisher::~TPublisher() = default;

TPagePaths TPublisher::Paths() const {
    return TPagePaths::ForExecutable(host.executablePath());
}

void TPublisher::log(const QString& entry) {
    transferLog->Append(entry);
}

bool TPublisher::createPage(const QString& path, const QByteArray& bytes, const QString& line) {
    if (TextLines::WriteBytes(path, bytes)) {
        log(line);
        return true;
    }
    // Said here, since an older copy may still be there for the steps to
    // mistake for this run's.
    log(path + QStringLiteral(" could not be written."));
    return false;
}

void TPublisher::showBox(const QString& text, const QString& caption,
                         std::function<void()> closed) {
    if (boxOpen) {
        log(text + QStringLiteral("  (not shown: an error box is open)"));
        if (closed)
            QTimer::singleShot(0, this, std::move(closed));
        return;
    }
    boxOpen = true;
    TPrompts& prompts = host.prompts ? host.prompts() : Prompts();
    prompts.ShowMessage(text, caption, TPrompts::Icon::Error,
                        [self = QPointer<TPublisher>(this), closed = std::move(closed)] {
                            if (self)
                                self->boxOpen = false;
                            if (closed)
                                closed();
                        });
}

bool TPublisher::ButtonWebPageTransferFileClick() {
    if (running)
        return false;
    running = true;
    pages = Paths();
    transferLog->Clear();
    const QString clock = host.clockText();
    if (!createPage(pages.index, WebPages::IndexPage(),
                    pages.index +
                        QStringLiteral(" created.  This is the page you should start with.")))
        pages.notWritten << QStringLiteral("Index");
    if (!createPage(pages.grid,
                    WebPages::GridPage(host.grid(), host.upColor(), host.downColor(), clock),
                    pages.grid + QStringLiteral(" created.")))
        pages.notWritten << QStringLiteral("Grid");
    if (!createPage(pages.log, WebPages::LogPage(host.logLines(), clock),
                    pages.log + QStringLiteral(" created.")))
        pages.notWritten << QStringLiteral("Log");
    // The FTP step goes on by its own signals and ends with Finished, which
    // continues with the copy step.
    ftp->Run(boxes, pages, clock);
    return true;
}

void TPublisher::copyPagesToDrive() {
    if (!boxes.copyToDrive)
        return;
    log(QStringLiteral("Local/Network drive Transfer Initiated on: ") + host.clockText());
    boxes.drivePath = boxes.drivePath.trimmed();
    emit BoxesChanged();
    QString folder = boxes.drivePath;
    if (folder.isEmpty()) {
        log(QStringLiteral("Local Copy Unsucessful."));
        log(QStringLiteral("  - Destination drive:path is empty."));
        return;
    }
    if (const TPagePaths::TCheck c = pages.Check(); !c.Ok()) {
        log(QStringLiteral("Local Copy Unsucessful."));
        for (const QString& name : c.notWritten)
            log(QStringLiteral("  - Velmora %1 HTML file could not be written.").arg(name));
        if (c.missing)
            log(QStringLiteral("  - Velmora Index/Grid/Log HTML files do not exist."));
        return;
    }
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    struct TCopy {
        const QString& source;
        const char* name;
    };
    const TCopy copies[] = {{pages.index, "Index"}, {pages.grid, "Grid"}, {pages.log, "Log"}};
    for (const TCopy& c : copies) {
        const QString target = folder + QFileInfo(c.source).fileName();
        QFile in(c.source);
        // A copy replaces the target in one step, so a reader of the folder
        // never sees half a page.
        const bool ok = in.open(QIODevice::ReadOnly) && TextLines::WriteBytes(target, in.readAll());
        if (ok) {
            log(QStringLiteral("Local Copy Successful"));
            log(QStringLiteral("  - Velmora %1 HTML File Copied to %2")
                    .arg(QLatin1String(c.name), target));
        } else {
            log(QStringLiteral("Local Copy of Velmora %1 HTML file Unsuccessful.")
                    .arg(QLatin1String(c.name)));
        }
    }
}

void TPublisher::endRun() {
    running = false;
    if (scheduled) {
        scheduled = false;
        publishCounter = 0;
    }
    emit RunEnded();
}

void TPublisher::TimerTimeTick() {
    // A run in progress holds the count; it starts again when the run ends.
    if (!boxes.publish || running)
        return;
    bool hoursOk = false, minutesOk = false;
    const int h = boxes.hours.trimmed().toInt(&hoursOk);
    const int m = boxes.minutes.trimmed().toInt(&minutesOk);
    if (!hoursOk || !minutesOk)
        return;
    ++publishCounter;
    if (publishCounter >= h * 3600 + m * 60) {
        scheduled = true;
        ButtonWebPageTransferFileClick();
    }
}

void TPublisher::CheckBoxVelmoraWebPageClick(bool ticked) {
    boxes.publish = ticked;
    publishCounter = 0;
}

void TPublisher::CheckBoxAnonymousAccountClick(bool ticked) {
    boxes.SetAnonymous(ticked);
    emit BoxesChanged();
}
