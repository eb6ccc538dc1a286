#include "TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

QIcon makeTrayImage(const QColor& fill) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(fill);
    p.setPen(QPen(Qt::black, 1));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return QIcon(pm);
}

} // namespace

TTrayIcon::TTrayIcon(QWidget* window) : QObject(window) {
    ImageList1 = {makeTrayImage(QColor(0, 160, 0)), makeTrayImage(QColor(220, 0, 0))};
    PopupTracIcon = new QMenu(window);
    PopupTracIcon->setObjectName(QStringLiteral("PopupTracIcon"));
    QAction* Restore1 = PopupTracIcon->addAction(QStringLiteral("Restore"));
    Restore1->setObjectName(QStringLiteral("Restore1"));
    QAction* Exit3 = PopupTracIcon->addAction(QStringLiteral("Exit"));
    Exit3->setObjectName(QStringLiteral("Exit3"));
    connect(Restore1, &QAction::triggered, this, &TTrayIcon::RestoreRequested);
    connect(Exit3, &QAction::triggered, this, &TTrayIcon::ExitRequested);

    TrayIcon1 = new QSystemTrayIcon(ImageList1[0], this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setContextMenu(PopupTracIcon);
    connect(TrayIcon1, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason r) {
                if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick)
                    emit RestoreRequested();
            });
    // The platform switches the two images while the animation runs.
    flipTimer.setInterval(500);
    connect(&flipTimer, &QTimer::timeout, this, [this] { showImage(1 - image); });
    if (QSystemTrayIcon::isSystemTrayAvailable())
        TrayIcon1->show();
}

void TTrayIcon::SetHint(const QString& hint) {
    TrayIcon1->setToolTip(hint);
}

bool TTrayIcon::CanRestore() const {
    return TrayIcon1->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::Hide() {
    flipTimer.stop();
    TrayIcon1->hide();
}

void TTrayIcon::showImage(int i) {
    image = i;
    TrayIcon1->setIcon(ImageList1[size_t(i)]);
}

void TTrayIcon::StartAnimation() {
    ticks = 0;
    animating = true;
    showImage(0);
    flipTimer.start();
}

void TTrayIcon::Tick() {
    if (animating && ++ticks > 5) {
        animating = false;
        flipTimer.stop();
        showImage(0);
    }
}
