#include "EMAILLog.h"

#include "mail/MailDelivery.h"
#include "platform/LogModel.h"
#include "platform/Prompts.h"

#include <QAction>
#include <QMenu>
#include <QRegularExpression>

TEMAILLog::TEMAILLog(QWidget* parent) : TLogPane(parent) {
    setObjectName(QStringLiteral("EMAILLog"));
    setAccessibleName(QStringLiteral("EMAIL Log"));
    buildPopupMenu();
}

void TEMAILLog::buildPopupMenu() {
    PopupMenuEMAILLog = new QMenu(this);
    PopupMenuEMAILLog->setObjectName(QStringLiteral("PopupMenuEMAILLog"));
    auto add = [this](const char* name, const QString& caption, const QKeySequence& keys,
                      void (TEMAILLog::*handler)()) {
        return AddCommand(PopupMenuEMAILLog, name, caption, keys,
                          [this, handler] { (this->*handler)(); });
    };
    EditCutEMAILLog = add("EditCutEMAILLog", QStringLiteral("Cu&t"),
                          QKeySequence(Qt::CTRL | Qt::Key_X), &TEMAILLog::cut);
    EditCopyEMAILLog = add("EditCopyEMAILLog", QStringLiteral("&Copy"),
                           QKeySequence(Qt::CTRL | Qt::Key_C), &TEMAILLog::copy);
    EditSelectAllEMAILLog = add("EditSelectAllEMAILLog", QStringLiteral("Select &All"),
                                QKeySequence(Qt::CTRL | Qt::Key_A), &TEMAILLog::selectAll);
    ActionClearMAILLog = add("ActionClearMAILLog", QStringLiteral("Clear Log..."), QKeySequence(),
                             &TEMAILLog::ActionClearMAILLogExecute);
    FileOpenEMAILLog = add("FileOpenEMAILLog", QStringLiteral("&Open..."), QKeySequence(),
                           &TEMAILLog::FileOpenEMAILLogAccept);
    FileSaveAsEMAILLog = add("FileSaveAsEMAILLog", QStringLiteral("Save &As..."), QKeySequence(),
                             &TEMAILLog::FileSaveAsEMAILLogAccept);
    PopupMenuEMAILLog->addSeparator();
    ActionDisplayEMAILQueue =
        add("ActionDisplayEMAILQueue", QStringLiteral("Display Pending EMAILS"), QKeySequence(),
            &TEMAILLog::ActionDisplayEMAILQueueExecute);
    ActionClearEMAILQueue =
        add("ActionClearEMAILQueue", QStringLiteral("Clear EMAIL Notification Queue..."),
            QKeySequence(), &TEMAILLog::ActionClearEMAILQueueExecute);
    EnableWithSelection(EditCutEMAILLog, EditCopyEMAILLog);
    SetPopupMenu(PopupMenuEMAILLog);
}

void TEMAILLog::AppendLog(const QString& text) {
    Model().AppendText(text);
}

void TEMAILLog::ActionClearMAILLogExecute() {
    ClearWithQuestion();
}

void TEMAILLog::FileOpenEMAILLogAccept() {
    OpenInEditor(QStringLiteral("Open EMAIL Log"));
}

void TEMAILLog::FileSaveAsEMAILLogAccept() {
    SaveAs(QStringLiteral("Save EMAIL Log"));
}

void TEMAILLog::ActionDisplayEMAILQueueExecute() {
    if (delivery)
        delivery->ActionDisplayEMAILQueueExecute();
}

void TEMAILLog::ActionClearEMAILQueueExecute() {
    if (!delivery)
        return;
    delivery->ShowLog();
    const bool yes =
        Prompts().AskYesNo(QStringLiteral("Are you sure ?"), QStringLiteral("Clear EMAIL Queue"));
    delivery->ClearEMAILQueue(yes);
}
