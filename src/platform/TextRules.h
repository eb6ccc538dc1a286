#pragma once

#include <QString>
#include <QStringList>

// Text rules the settings, the lists and the pages share.

// Pieces of `text` between occurrences of `separator`. Each piece before a
// separator counts, even when empty; the rest after the last separator counts
// only when it is not empty. Nothing is trimmed.
QStringList SplitText(const QString& text, const QString& separator);

// Recent-list rule: an exact (case-sensitive) match changes nothing; otherwise
// the text is appended while there is room, and when the list is full every
// entry moves down one place, the last is dropped and the text goes first.
// Returns whether the list changed.
bool AddToRecentList(QStringList& list, const QString& text, int maximum = 10);

// Characters that would end a line or hide in one: C0 and C1 controls, DEL,
// and the Unicode line and paragraph separators, which text panes break
// lines on just like a line feed.
constexpr bool IsControlOrLineSeparator(char32_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}
