#include "DialogPrompts.h"

#include "SolidColorDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>

namespace {

// "Dat Files (*.dat)|*.dat|All Files (*.*)|*.*" -> Qt's ";;" form.
QString qtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (!name.contains(QLatin1Char('(')))
            name += QStringLiteral(" (%1)").arg(patterns);
        out << name;
    }
    return out.join(QStringLiteral(";;"));
}

} // namespace

static void setUp(QMessageBox& box, const QString& text, const QString& caption,
                  TPrompts::Icon icon) {
    box.setWindowTitle(caption);
    // Texts come from files, logs and the network: never guess markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (icon) {
    case TPrompts::Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case TPrompts::Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case TPrompts::Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case TPrompts::Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case TPrompts::Icon::None:
        break;
    }
}

void TDialogPrompts::ShowMessage(const QString& text, const QString& caption, Icon icon,
                                 std::function<void()> closed) {
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    setUp(*box, text, caption, icon);
    box->setStandardButtons(QMessageBox::Ok);
    QObject::connect(box, &QDialog::finished, box, [closed = std::move(closed)] {
        if (closed)
            closed();
    });
    box->open();
}

TPrompts::Answer TDialogPrompts::Message(const QString& text, const QString& caption,
                                         Buttons buttons, Icon icon) {
    QMessageBox box(parent);
    setUp(box, text, caption, icon);
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

static QString withExtension(QString path, const QString& ext) {
    if (!path.isEmpty() && !ext.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + ext;
    return path;
}

QString TDialogPrompts::OpenFileName(const QString& title, const QString& filter,
                                     const QString& defaultExt, const QString& folder) {
    QFileDialog dialog(parent, title, folder, qtFilter(filter));
    dialog.setObjectName(QStringLiteral("OpenDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // A name typed without an extension means the default one.
    dialog.setDefaultSuffix(defaultExt);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString path = dialog.selectedFiles().constFirst();
    // Native dialogs may hand the name back as typed.
    const QString withExt = withExtension(path, defaultExt);
    return !QFileInfo::exists(path) && QFileInfo::exists(withExt) ? withExt : path;
}

QString TDialogPrompts::SaveFileName(const QString& title, const QString& filter,
                                     const QString& defaultExt, const QString& folder) {
    return withExtension(QFileDialog::getSaveFileName(parent, title, folder, qtFilter(filter)),
                         defaultExt);
}

std::optional<QString> TDialogPrompts::InputQuery(const QString& caption, const QString& prompt,
                                                  const QString& value) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<unsigned> TDialogPrompts::ChooseColor(unsigned initial) {
    TSolidColorDialog dialog(QColor::fromRgba(initial), parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.SelectedColor().rgba();
}
