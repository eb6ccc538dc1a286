#include "LogModel.h"

#include "TextLines.h"

#include <QRegularExpression>

void TLogModel::Append(const QString& line) {
    lines << line;
    undoable = false;
    before.clear();
    emit Appended(line);
}

void TLogModel::AppendText(const QString& text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    for (const QString& line : text.split(lineBreak))
        Append(line);
}

void TLogModel::SetLines(const QStringList& replacement) {
    EditedInView(replacement);
    emit Reset();
}

void TLogModel::EditedInView(const QStringList& replacement) {
    before = lines;
    lines = replacement;
    undoable = true;
}

bool TLogModel::Undo() {
    if (!undoable)
        return false;
    lines.swap(before);
    before.clear();
    undoable = false;
    emit Reset();
    return true;
}

bool TLogModel::SaveTo(const QString& path) const {
    return TextLines::WriteFile(path, lines);
}

void TLogModel::Restore(const QString& backupPath, int maxLine) {
    if (Undo())
        return;
    QStringList read;
    if (!TextLines::ReadFile(backupPath, read, maxLine))
        return;
    for (const QString& l : read)
        Append(l);
}
