#pragma once

#include "WebSettings.h"

#include <QObject>
#include <QString>
#include <functional>

// The FTP step of a publication run: checks the boxes and pages, logs in,
// changes to the host folder, selects TYPE A, uploads the three pages and
// quits, adding every Transfer Log line of the dialogue. It never waits in
// a nested event loop: it goes on by the FTP client's completion signals and
// ends with Finished.
class TFtpStep : public QObject {
    Q_OBJECT
public:
    explicit TFtpStep(QObject* parent = nullptr);
    ~TFtpStep() override;

    // Starts the step; does nothing but emit Finished(false, {}) when
    // "Use FTP to Transfer Web Page" is not ticked. `boxes` stays owned by
    // the caller and must outlive the step: the step trims its host, user,
    // password, port and folder texts in place (as the boxes are) and the
    // event lines read the host, port and folder from it when they come.
    // "FTP Login Failure" is shown (SetShowBox), and the step goes on when
    // it has been closed. Finished always comes after Run has
    // returned; a call while the step runs is ignored.
    void Run(TWebPageSettings& boxes, const TPagePaths& pages, const QString& clockText);
    bool Running() const;

    // Bound on every wait of the dialogue (lookup, connect, each reply, the
    // data connection's accept, each send), in milliseconds.
    void SetTimeOut(int ms);
    // Bound on the whole dialogue, from the connect to the QUIT, in
    // milliseconds (3 minutes unless set): a server that answers each
    // command just inside the bound of a wait cannot hold a run for long.
    // Passing it ends the run with "FTP Time-out".
    void SetRunBound(int ms);
    static constexpr int kRunBoundMs = 3 * 60 * 1000;

    // How "FTP Login Failure" is shown; `closed` runs once it has been
    // closed, never before the call has returned. Prompts().ShowMessage
    // unless set.
    using TShowBox = std::function<void(const QString& text, const QString& caption,
                                        std::function<void()> closed)>;
    void SetShowBox(TShowBox show);

signals:
    // One Transfer Log entry (it may hold line feeds).
    void Line(const QString& entry);
    // The step has ended. `endsRun`: an error that ends the whole run (the
    // copy step is skipped); `errorText` is then shown in an error box.
    void Finished(bool endsRun, const QString& errorText);

private:
    struct TPrivate;
    TPrivate* d;
};
