#pragma once

#include <QColor>
#include <QDialog>

class QButtonGroup;

// The colour chooser `colordlg`: the basic solid colours only, with no part
// for mixing or keeping custom colours. Preset to `initial` when it is one
// of them.
class TSolidColorDialog : public QDialog {
    Q_OBJECT
public:
    explicit TSolidColorDialog(const QColor& initial, QWidget* parent = nullptr);
    QColor SelectedColor() const { return selected; }
    static QList<QColor> Colors();

private:
    QButtonGroup* swatches;
    QColor selected;
};
