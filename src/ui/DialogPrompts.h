#pragma once

#include "platform/Prompts.h"

#include <QPointer>
#include <QWidget>

// The window's prompts: message boxes, file dialogs, the input box and the
// colour chooser, parented to the main window.
class TDialogPrompts : public TPrompts {
public:
    QPointer<QWidget> parent;

    Answer Message(const QString& text, const QString& caption, Buttons buttons,
                   Icon icon) override;
    // A window-modal box opened without a nested event loop.
    void ShowMessage(const QString& text, const QString& caption, Icon icon,
                     std::function<void()> closed) override;
    QString OpenFileName(const QString& title, const QString& filter, const QString& defaultExt,
                         const QString& folder) override;
    QString SaveFileName(const QString& title, const QString& filter, const QString& defaultExt,
                         const QString& folder) override;
    std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                      const QString& value) override;
    std::optional<unsigned> ChooseColor(unsigned initial) override;
};
