#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class TLogModel;

class QMenu;
class QPrinter;

// The file dialogs of every log pane offer these.
inline const QString kLogFilter = QStringLiteral("Log Files (*.log)|*.log|All Files (*.*)|*.*");
inline const QString kLogExtension = QStringLiteral("log");

// Runs the print dialog on `printer`; false when the operator cancels. Tests
// install their own so that no modal dialog ever waits.
using TPrintDialogHook = std::function<bool(QPrinter& printer, QWidget* parent)>;
void SetPrintDialogHook(TPrintDialogHook hook); // empty restores QPrintDialog
bool RunPrintDialog(QPrinter& printer, QWidget* parent);

// The behaviour the four log panes share: a view of a log model that the
// system appends lines to and the operator may edit, with clear (after a
// question), open in the text editor, save as, print, and a one-step undo.
class TLogPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TLogPane(QWidget* parent = nullptr);
    ~TLogPane() override;

    // Shows `model` (not owned) from now on; without one the pane keeps a
    // model of its own.
    void SetModel(TLogModel* model);
    TLogModel& Model() const { return *model; }

    // Adds one line at the end, wherever the operator's cursor is. Such a
    // line cannot be undone, and it ends what could be undone before it, so
    // an undo never takes back an edit from under a newer line.
    void AppendLine(const QString& text);
    // The pane's lines; a last empty line (text ending in a line break) does
    // not count.
    QStringList Lines() const;

    bool CanUndoLast() const;
    // Takes back the most recent change; a second call has nothing left.
    void UndoLast();

    // Asks "Are you sure ?" and on Yes removes every line, undoably.
    // Returns whether it cleared.
    bool ClearWithQuestion();
    // Asks for an existing log file and starts the text editor on it.
    void OpenInEditor(const QString& dialogTitle);
    // Asks for a file name and writes the lines there; throws TVelmoraError
    // "Cannot create file %s" when the file cannot be written.
    void SaveAs(const QString& dialogTitle);
    void SaveTo(const QString& path) const;
    // Prints the whole text `copies` times, each as a job of its own titled
    // `jobTitle`; emits PrintJobDone after each.
    void PrintCopies(QPrinter& printer, int copies, const QString& jobTitle);

    // The menu shown on a right click. Shortcuts of its actions work while
    // the pane has the focus, ahead of the editor's own keys and of the
    // window's shortcuts.
    void SetPopupMenu(QMenu* menu);
    QMenu* PopupMenu() const { return popup; }

    // Menu commands run through the standard error guard, so that no
    // exception ever unwinds through Qt's signal code.
    void RunCommand(const std::function<void()>& command);

signals:
    void PrintJobDone(int copy);

protected:
    // One command of the pane's popup menu. Its keys work while the pane
    // has the focus (see event()), and it runs through the command guard.
    QAction* AddCommand(QMenu* menu, const char* name, const QString& caption,
                        const QKeySequence& keys, std::function<void()> command);
    // Cut and copy need a selection, as in any editor.
    void EnableWithSelection(QAction* cut, QAction* copy);

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    QAction* actionForKey(const QKeyEvent* e) const;
    QStringList viewLines() const;
    void showAll();
    void showAppended(const QString& line);
    void viewEdited();

    QMenu* popup = nullptr;
    std::unique_ptr<TLogModel> ownModel;
    TLogModel* model = nullptr;
    bool syncing = false; // the view is being changed from the model
};
