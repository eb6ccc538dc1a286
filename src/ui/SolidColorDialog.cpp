#include "SolidColorDialog.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kColumns = 8;

QIcon swatchIcon(const QColor& c) {
    QPixmap p(20, 14);
    p.fill(c);
    return QIcon(p);
}

} // namespace

QList<QColor> TSolidColorDialog::Colors() {
    // Qt's basic colours, the same set its own chooser offers.
    QList<QColor> colors;
    for (int i = 0; i < 48; ++i)
        colors << QColorDialog::standardColor(i).toRgb();
    return colors;
}

TSolidColorDialog::TSolidColorDialog(const QColor& initial, QWidget* parent)
    : QDialog(parent), swatches(new QButtonGroup(this)), selected(initial) {
    setObjectName(QStringLiteral("colordlg"));
    setWindowTitle(QStringLiteral("Color"));
    swatches->setExclusive(true);
    auto* grid = new QGridLayout;
    grid->setSpacing(3);
    const QList<QColor> colors = Colors();
    for (int i = 0; i < colors.size(); ++i) {
        const QColor c = colors[i];
        auto* b = new QToolButton;
        b->setObjectName(QStringLiteral("swatch%1").arg(i));
        b->setCheckable(true);
        b->setIcon(swatchIcon(c));
        b->setIconSize(QSize(20, 14));
        b->setAccessibleName(c.name());
        b->setToolTip(c.name());
        b->setChecked(c.rgb() == initial.rgb());
        swatches->addButton(b, i);
        grid->addWidget(b, i / kColumns, i % kColumns);
        connect(b, &QToolButton::clicked, this, [this, c] { selected = c; });
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addWidget(buttons);
}
