#include "DeviceTransitionDlg.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TDeviceTransitionDLG::TDeviceTransitionDLG(const QStringList& cells, QWidget* owner)
    : QDialog(owner) {
    setObjectName(QStringLiteral("DeviceTransitionDLG"));
    setWindowTitle(QStringLiteral("Device Alert"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    auto* form = new QFormLayout;
    auto field = [&](const char* name, const QString& caption, int index) {
        auto* e = new QLineEdit(cells.value(index));
        e->setObjectName(QLatin1String(name));
        e->setReadOnly(true);
        auto* l = new QLabel(caption);
        l->setBuddy(e);
        form->addRow(l, e);
        return e;
    };
    EditIP = field("EditIP", QStringLiteral("IP Address:"), 0);
    EditLocation = field("EditLocation", QStringLiteral("Location:"), 1);
    EditCritical = field("EditCritical", QStringLiteral("Critical:"), 2);
    EditStatus = field("EditStatus", QStringLiteral("Status:"), 3);
    EditSince = field("EditSince", QStringLiteral("Since:"), 4);
    OKBtn = new QPushButton(QStringLiteral("OK"));
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::close);
    auto* l = new QVBoxLayout(this);
    l->addLayout(form);
    l->addWidget(OKBtn, 0, Qt::AlignHCenter);
    setMinimumWidth(360);
}

void ShowDeviceAlert(const QStringList& cells, QWidget* owner) {
    auto* dlg = new TDeviceTransitionDLG(cells, owner);
    dlg->show();
}
