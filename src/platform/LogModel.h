#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// A log as a list of lines: the program appends, the operator may edit
// through a view, clear (with a one-step undo), restore and save. Views
// (the log panes, standard output) follow its signals.
class TLogModel : public QObject {
    Q_OBJECT
public:
    explicit TLogModel(QObject* parent = nullptr) : QObject(parent) {}

    const QStringList& Lines() const { return lines; }
    qsizetype Count() const { return lines.size(); }

    // Adds one line at the end. A line added cannot be undone, and it ends
    // what could be undone before it: an undo never takes back a change
    // from under a newer line.
    void Append(const QString& line);
    // Lines from one text (a command with its CR LF, a whole message).
    void AppendText(const QString& text);
    // Replaces every line; the change can be undone once.
    void SetLines(const QStringList& replacement);
    void Clear() { SetLines({}); }
    // Like SetLines, for a change the view already shows (the operator's
    // edit): no Reset is signalled.
    void EditedInView(const QStringList& replacement);

    bool CanUndo() const { return undoable; }
    // Takes back the most recent undoable change; false when there is none.
    bool Undo();

    // Writes every line to `path` (CR LF, atomically); false on failure.
    bool SaveTo(const QString& path) const;
    // Restore: undo when possible, otherwise append the lines of the file
    // at `backupPath`, each cut to `maxLine` characters. A file that cannot
    // be read adds nothing.
    void Restore(const QString& backupPath, int maxLine);

signals:
    void Appended(const QString& line);
    // Every line may have changed.
    void Reset();

private:
    QStringList lines;
    QStringList before; // what Undo brings back
    bool undoable = false;
};
