#include "LogPane.h"

#include "platform/ErrorGuard.h"
#include "platform/Launcher.h"
#include "platform/LogModel.h"
#include "platform/Prompts.h"
#include "platform/TextLines.h"
#include "platform/VelmoraError.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

TPrintDialogHook printDialogHook;

} // namespace

void SetPrintDialogHook(TPrintDialogHook hook) {
    printDialogHook = std::move(hook);
}

bool RunPrintDialog(QPrinter& printer, QWidget* parent) {
    if (printDialogHook)
        return printDialogHook(printer, parent);
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    return dialog.exec() == QDialog::Accepted;
}

TLogPane::TLogPane(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The model keeps the one-step undo, so that a line the system adds and
    // an edit of the operator's never undo each other.
    setUndoRedoEnabled(false);
    ownModel = std::make_unique<TLogModel>();
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!syncing)
            viewEdited();
    });
    SetModel(nullptr);
}

TLogPane::~TLogPane() {
    disconnect(model, nullptr, this, nullptr);
}

void TLogPane::SetModel(TLogModel* m) {
    if (model)
        disconnect(model, nullptr, this, nullptr);
    model = m ? m : ownModel.get();
    connect(model, &TLogModel::Appended, this, &TLogPane::showAppended);
    connect(model, &TLogModel::Reset, this, &TLogPane::showAll);
    if (model != ownModel.get())
        connect(model, &QObject::destroyed, this, [this] {
            model = nullptr;
            SetModel(nullptr);
        });
    showAll();
}

void TLogPane::showAll() {
    syncing = true;
    setPlainText(model->Lines().join(QLatin1Char('\n')));
    moveCursor(QTextCursor::End);
    syncing = false;
}

void TLogPane::showAppended(const QString& line) {
    syncing = true;
    if (model->Count() == 1 && document()->isEmpty())
        setPlainText(line);
    else
        appendPlainText(line);
    syncing = false;
}

void TLogPane::viewEdited() {
    model->EditedInView(viewLines());
}

void TLogPane::AppendLine(const QString& text) {
    model->Append(text);
}

QStringList TLogPane::viewLines() const {
    QStringList lines;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        lines << b.text();
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList TLogPane::Lines() const {
    // As the pane shows them: a last empty line is no line.
    QStringList lines = model->Lines();
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool TLogPane::CanUndoLast() const {
    return model->CanUndo();
}

void TLogPane::UndoLast() {
    model->Undo();
}

bool TLogPane::ClearWithQuestion() {
    if (!Prompts().AskYesNo(QStringLiteral("Are you sure ?"), QStringLiteral("Clear Log")))
        return false;
    model->Clear();
    return true;
}

void TLogPane::OpenInEditor(const QString& dialogTitle) {
    const QString path = Prompts().OpenFileName(dialogTitle, kLogFilter, kLogExtension, QString());
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    // An editor that fails to start is not reported.
    Launcher().OpenTextEditor(path);
}

void TLogPane::SaveAs(const QString& dialogTitle) {
    const QString path = Prompts().SaveFileName(dialogTitle, kLogFilter, kLogExtension, QString());
    if (!path.isEmpty())
        SaveTo(path);
}

void TLogPane::SaveTo(const QString& path) const {
    if (!model->SaveTo(path))
        throw TVelmoraError(QStringLiteral("Cannot create file %1").arg(path));
}

void TLogPane::PrintCopies(QPrinter& printer, int copies, const QString& jobTitle) {
    for (int copy = 1; copy <= copies; ++copy) {
        printer.setDocName(jobTitle);
        // Each copy is a job of its own; a copy count left on the printer
        // would multiply every job again.
        printer.setCopyCount(1);
        print(&printer);
        emit PrintJobDone(copy);
    }
}

void TLogPane::RunCommand(const std::function<void()>& command) {
    Guarded(command);
}

QAction* TLogPane::AddCommand(QMenu* menu, const char* name, const QString& caption,
                              const QKeySequence& keys, std::function<void()> command) {
    auto* a = new QAction(caption, this);
    a->setObjectName(QLatin1String(name));
    a->setShortcut(keys);
    a->setShortcutContext(Qt::WidgetShortcut);
    connect(a, &QAction::triggered, this, [this, command] { RunCommand(command); });
    menu->addAction(a);
    return a;
}

void TLogPane::EnableWithSelection(QAction* cut, QAction* copy) {
    cut->setEnabled(false);
    copy->setEnabled(false);
    connect(this, &QPlainTextEdit::copyAvailable, cut, &QAction::setEnabled);
    connect(this, &QPlainTextEdit::copyAvailable, copy, &QAction::setEnabled);
}

void TLogPane::SetPopupMenu(QMenu* menu) {
    popup = menu;
}

QAction* TLogPane::actionForKey(const QKeyEvent* e) const {
    if (!popup)
        return nullptr;
    const QKeySequence pressed(e->keyCombination());
    for (QAction* a : popup->actions())
        if (!a->shortcut().isEmpty() && a->shortcut() == pressed)
            return a;
    return nullptr;
}

bool TLogPane::event(QEvent* e) {
    // The editor claims Ctrl+Z, Ctrl+C and friends for itself, and the
    // window's shortcuts would take Ctrl+O: claim the menu's keys here so
    // that keyPressEvent hands them to the menu's actions.
    if (e->type() == QEvent::ShortcutOverride && actionForKey(static_cast<QKeyEvent*>(e))) {
        e->accept();
        return true;
    }
    return QPlainTextEdit::event(e);
}

void TLogPane::keyPressEvent(QKeyEvent* e) {
    if (QAction* a = actionForKey(e)) {
        if (a->isEnabled())
            a->trigger();
        e->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void TLogPane::contextMenuEvent(QContextMenuEvent* e) {
    if (!popup) {
        QPlainTextEdit::contextMenuEvent(e);
        return;
    }
    // popup(), not exec(): the menu must not hold up the event loop.
    popup->popup(e->globalPos());
    e->accept();
}
