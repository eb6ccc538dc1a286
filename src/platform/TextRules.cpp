#include "TextRules.h"

QStringList SplitText(const QString& text, const QString& separator) {
    QStringList pieces;
    if (separator.isEmpty()) {
        if (!text.isEmpty())
            pieces << text;
        return pieces;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(separator, from);
        if (at < 0)
            break;
        pieces << text.mid(from, at - from);
        from = at + separator.size();
    }
    if (from < text.size())
        pieces << text.mid(from);
    return pieces;
}

bool AddToRecentList(QStringList& list, const QString& text, int maximum) {
    if (list.contains(text, Qt::CaseSensitive))
        return false;
    if (list.size() < maximum) {
        list.append(text);
        return true;
    }
    if (maximum <= 0)
        return false;
    while (list.size() > maximum)
        list.removeLast();
    list.removeLast();
    list.prepend(text);
    return true;
}
