#include "MonitorLog.h"

#include "platform/FileFolders.h"
#include "platform/LogModel.h"
#include "platform/TextLines.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPrinter>

TMonitorLog::TMonitorLog(QWidget* parent) : TLogPane(parent) {
    setObjectName(QStringLiteral("VelmoraMemo"));
    setAccessibleName(QStringLiteral("Monitor Log"));
    buildPopupMenu();
}

TMonitorLog::~TMonitorLog() = default;

void TMonitorLog::buildPopupMenu() {
    PopupMenuVelmora = new QMenu(this);
    PopupMenuVelmora->setObjectName(QStringLiteral("PopupMenuVelmora"));
    auto add = [this](const char* name, const QString& caption, const QKeySequence& keys,
                      void (TMonitorLog::*handler)()) {
        return AddCommand(PopupMenuVelmora, name, caption, keys,
                          [this, handler] { (this->*handler)(); });
    };
    ActionVelmoraLogRestore =
        add("ActionVelmoraLogRestore", QStringLiteral("&Restore Log"),
            QKeySequence(Qt::CTRL | Qt::Key_Z), &TMonitorLog::ActionVelmoraLogRestoreExecute);
    EditCutWanLog = add("EditCutWanLog", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X),
                        &TMonitorLog::cut);
    EditCopyWanLog = add("EditCopyWanLog", QStringLiteral("&Copy"),
                         QKeySequence(Qt::CTRL | Qt::Key_C), &TMonitorLog::copy);
    ActionClearWanLog = add("ActionClearWanLog", QStringLiteral("Clear Log..."), QKeySequence(),
                            &TMonitorLog::ActionClearWanLogExecute);
    EditSelectAllWanLog = add("EditSelectAllWanLog", QStringLiteral("Select &All"),
                              QKeySequence(Qt::CTRL | Qt::Key_A), &TMonitorLog::selectAll);
    FileOpenWanLog = add("FileOpenWanLog", QStringLiteral("&Open..."),
                         QKeySequence(Qt::CTRL | Qt::Key_O), &TMonitorLog::FileOpenWanLogAccept);
    FileSaveAsWanLog = add("FileSaveAsWanLog", QStringLiteral("Save &As..."), QKeySequence(),
                           &TMonitorLog::FileSaveAsWanLogAccept);
    PrintDlgVelmoraLog =
        add("PrintDlgVelmoraLog", QStringLiteral("&Print..."), QKeySequence(Qt::CTRL | Qt::Key_P),
            &TMonitorLog::PrintDlgVelmoraLogExecute);
    EnableWithSelection(EditCutWanLog, EditCopyWanLog);
    SetPopupMenu(PopupMenuVelmora);
}

QString TMonitorLog::BackupFilePath() {
    return DataFolder() + QStringLiteral("velmora.log");
}

void TMonitorLog::AppendMonitorLog(const QString& line) {
    AppendLine(line);
}

void TMonitorLog::BackupMonitorLog(const QString& path) const {
    Model().SaveTo(path);
}

void TMonitorLog::ActionClearWanLogExecute() {
    // Before the question: even a No leaves the backup of what is shown.
    BackupMonitorLog(BackupFilePath());
    ClearWithQuestion();
}

void TMonitorLog::ActionVelmoraLogRestoreExecute() {
    Model().Restore(BackupFilePath(), kMaxRestoredLine);
}

void TMonitorLog::FileOpenWanLogAccept() {
    OpenInEditor(QStringLiteral("Open Velmora Log"));
}

void TMonitorLog::FileSaveAsWanLogAccept() {
    SaveAs(QStringLiteral("Save Velmora Log"));
}

void TMonitorLog::PrintDlgVelmoraLogExecute() {
    if (!printer)
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    PrintDlgVelmoraLogBeforeExecute(*printer);
    if (RunPrintDialog(*printer, this))
        PrintDlgVelmoraLogAccept(*printer);
}

void TMonitorLog::PrintDlgVelmoraLogBeforeExecute(QPrinter& p) {
    p.setCopyCount(1);
}

void TMonitorLog::PrintDlgVelmoraLogAccept(QPrinter& p) {
    PrintCopies(p, p.copyCount(), QStringLiteral("Velmora Log"));
}
