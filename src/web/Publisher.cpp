#include "Publisher.h"

#include "FtpStep.h"
#include "WebPages.h"
#include "platform/LogModel.h"
#include "platform/TextLines.h"

#include <QFile>
#include <QFileInfo>

TPublisher::TPublisher(Host h, QObject* parent)
    : QObject(parent), host(std::move(h)), transferLog(new TLogModel(this)),
      ftp(new TFtpStep(this)) {
    connect(ftp, &TFtpStep::Line, this, &TPublisher::log);
    connect(ftp, &TFtpStep::Finished, this, [this](bool endsRun, const QString& errorText) {
        // The step trims its boxes as it goes.
        emit BoxesChanged();
        if (endsRun) {
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

void TPublisher::createPage(const QString& path, const QByteArray& bytes, const QString& line) {
    // A page that cannot be written is left out silently; the steps that
    // need it report it missing.
    if (TextLines::WriteBytes(path, bytes))
        log(line);
}

bool TPublisher::ButtonWebPageTransferFileClick() {
    if (running)
        return false;
    running = true;
    pages = Paths();
    transferLog->Clear();
    const QString clock = host.clockText();
    createPage(pages.index, WebPages::IndexPage(),
               pages.index + QStringLiteral(" created.  This is the page you should start with."));
    createPage(pages.grid, WebPages::GridPage(host.grid(), host.upColor(), host.downColor(), clock),
               pages.grid + QStringLiteral(" created."));
    createPage(pages.log, WebPages::LogPage(host.logLines(), clock),
               pages.log + QStringLiteral(" created."));
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
    const QString all[] = {pages.index, pages.grid, pages.log};
    for (const QString& p : all) {
        if (!QFileInfo::exists(p)) {
            log(QStringLiteral("Local Copy Unsucessful."));
            log(QStringLiteral("  - Velmora Index/Grid/Log HTML files do not exist."));
            return;
        }
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
