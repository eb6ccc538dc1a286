#pragma once

#include "WebSettings.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class TDeviceGrid;
class TFtpStep;
class TLogModel;

// The publication of the status pages: a run writes the three pages, hands
// them to the FTP step and copies them to a folder, recording each step in
// the Transfer Log; the schedule starts a run every interval. One run at a
// time: a run asked for while one is in progress starts nothing.
class TPublisher : public QObject {
    Q_OBJECT
public:
    struct Host {
        std::function<const TDeviceGrid&()> grid;
        std::function<QStringList()> logLines;
        std::function<unsigned()> upColor; // 0x00BBGGRR
        std::function<unsigned()> downColor;
        std::function<QString()> clockText;
        // The pages are named after it and written beside it.
        std::function<QString()> executablePath;
    };

    explicit TPublisher(Host host, QObject* parent = nullptr);
    ~TPublisher() override;

    // The page's boxes. Edits take effect at the next step that reads them;
    // Apply only makes them survive a restart.
    TWebPageSettings& Boxes() { return boxes; }
    TLogModel& TransferLog() const { return *transferLog; }
    TFtpStep& Ftp() const { return *ftp; }

    // "Create Now": writes the pages, then the FTP and copy steps. Returns
    // false (and does nothing) while a run is in progress.
    bool ButtonWebPageTransferFileClick();
    bool Running() const { return running; }
    TPagePaths Paths() const;

    // The schedule step of each clock tick.
    void TimerTimeTick();
    int PublishCounter() const { return publishCounter; }
    // Any click on "Output Velmora Grid to Web Page".
    void CheckBoxVelmoraWebPageClick(bool ticked);
    void CheckBoxAnonymousAccountClick(bool ticked);

signals:
    // The step changed box texts (trimmed them, or the anonymous pair).
    void BoxesChanged();
    void RunEnded();
    // An error that ended the run, for the standard error display.
    void RunFailed(const QString& text);

private:
    void createPage(const QString& path, const QByteArray& bytes, const QString& line);
    void copyPagesToDrive();
    void endRun();
    void log(const QString& entry);

    Host host;
    TWebPageSettings boxes;
    TLogModel* transferLog;
    TFtpStep* ftp;
    TPagePaths pages;
    bool running = false;
    bool scheduled = false; // the run in progress was started by the schedule
    int publishCounter = 0;
};
