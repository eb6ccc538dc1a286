#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

// The control of a dialog whose label reads `caption`, as the operator
// finds it; null when there is none of type T.
template <typename T> T* ByCaption(QWidget& dialog, const QString& caption) {
    for (QLabel* l : dialog.findChildren<QLabel*>())
        if (l->text() == caption)
            return qobject_cast<T*>(l->buddy());
    return nullptr;
}
