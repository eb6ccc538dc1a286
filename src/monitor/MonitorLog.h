#pragma once

#include "ui/LogPane.h"

#include <QString>
#include <memory>

class QAction;
class QMenu;
class QPrinter;

// The monitor log pane `VelmoraMemo` with its popup menu: one line per Up or
// DOWN change and, in verbose mode, per echo. Clearing keeps a backup file
// that the restore command reads when there is nothing to undo.
class TMonitorLog : public TLogPane {
    Q_OBJECT
public:
    // Lines read back from the backup file are cut to this length.
    static constexpr int kMaxRestoredLine = 254;

    explicit TMonitorLog(QWidget* parent = nullptr);
    ~TMonitorLog() override;

    // DataFolder() + "velmora.log".
    static QString BackupFilePath();

    void AppendMonitorLog(const QString& line);
    // Writes every line to `path`; a file that cannot be written is left
    // alone without a word.
    void BackupMonitorLog(const QString& path) const;

    void ActionClearWanLogExecute();
    void ActionVelmoraLogRestoreExecute();
    // Each asks for the file, then opens it in the text editor or writes
    // the lines to it (throwing TVelmoraError when it cannot be created).
    void FileOpenWanLogAccept();
    void FileSaveAsWanLogAccept();
    // The print command: BeforeExecute presets the dialog, Accept prints
    // the copies the operator asked for.
    void PrintDlgVelmoraLogExecute();
    void PrintDlgVelmoraLogBeforeExecute(QPrinter& printer);
    void PrintDlgVelmoraLogAccept(QPrinter& printer);

    QMenu* PopupMenuVelmora = nullptr;
    QAction* ActionVelmoraLogRestore = nullptr;
    QAction* EditCutWanLog = nullptr;
    QAction* EditCopyWanLog = nullptr;
    QAction* ActionClearWanLog = nullptr;
    QAction* EditSelectAllWanLog = nullptr;
    QAction* FileOpenWanLog = nullptr;
    QAction* FileSaveAsWanLog = nullptr;
    QAction* PrintDlgVelmoraLog = nullptr;

private:
    void buildPopupMenu();

    // Kept between prints so the operator's printer choice stays.
    std::unique_ptr<QPrinter> printer;
};
