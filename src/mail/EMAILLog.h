#pragma once

#include "ui/LogPane.h"

class QAction;
class QMenu;
class TMailDelivery;

// The EMAIL Log pane `EMAILLog` with its popup menu: the edit commands, the
// shared log-pane commands and the two queue commands.
class TEMAILLog : public TLogPane {
    Q_OBJECT
public:
    explicit TEMAILLog(QWidget* parent = nullptr);

    // The queue commands of the popup act on this delivery.
    void SetDelivery(TMailDelivery* d) { delivery = d; }

    // A text the SMTP client logs may hold several lines (a command with
    // its CR LF, the whole message); each becomes a line of the pane.
    void AppendLog(const QString& text);

    void ActionClearMAILLogExecute();
    void FileOpenEMAILLogAccept();
    void FileSaveAsEMAILLogAccept();
    void ActionDisplayEMAILQueueExecute();
    // Asks "Are you sure ?" ("Clear EMAIL Queue") and clears on Yes.
    void ActionClearEMAILQueueExecute();

    QMenu* PopupMenuEMAILLog = nullptr;
    QAction* EditCutEMAILLog = nullptr;
    QAction* EditCopyEMAILLog = nullptr;
    QAction* EditSelectAllEMAILLog = nullptr;
    QAction* ActionClearMAILLog = nullptr;
    QAction* FileOpenEMAILLog = nullptr;
    QAction* FileSaveAsEMAILLog = nullptr;
    QAction* ActionDisplayEMAILQueue = nullptr;
    QAction* ActionClearEMAILQueue = nullptr;

private:
    void buildPopupMenu();

    TMailDelivery* delivery = nullptr;
};
