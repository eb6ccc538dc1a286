#pragma once

#include "WebSettings.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class TDeviceGrid;
class TFtpStep;
class TLogModel;
class TPrompts;

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
        // The executable's name in the pages' folder: the pages are named
        // after it and written in that folder.
        std::function<QString()> executablePath;
        // Where the error boxes go; Prompts() when not set.
        std::function<TPrompts&()> prompts;
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
    // An error that ended the run; shown in an error box unless one is
    // open already.
    void RunFailed(const QString& text);

private:
    bool createPage(const QString& path, const QByteArray& bytes, const QString& line);
    // At most one error box of the runs at a time: while one is open, a
    // later run only logs what it would have shown (a schedule of every
    // tick against a refusing server would open one a second).
    void showBox(const QString& text, const QString& caption, std::function<void()> closed);
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
    bool boxOpen = false;
    int publishCounter = 0;
};
