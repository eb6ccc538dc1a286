#include "InfoDialogs.h"

#include "platform/Launcher.h"
#include "session/Session.h"
#include "session/SystemInfo.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// A value shown as text the system gave us, never as markup.
QLabel* ValueLabel(const char* name, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* DefaultButton(const char* name, QDialog* dialog) {
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QLatin1String(name));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    return ok;
}

} // namespace

TSockInfo::TSockInfo(const TSession& session, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SockInfo"));
    setWindowTitle(QStringLiteral("Winsock Information"));
    setAttribute(Qt::WA_DeleteOnClose);
    const TWinsockData& w = session.WinsockData();
    LabelVersion = ValueLabel("LabelVersion", QStringLiteral("Version: ") + w.version);
    LabelDescription =
        ValueLabel("LabelDescription", QStringLiteral("Description: ") + w.description);
    LabelStatus = ValueLabel("LabelStatus", QStringLiteral("Status: ") + w.systemStatus);
    LabelMaxSockets = ValueLabel("LabelMaxSockets",
                                 QStringLiteral("Max Sockets: ") + QString::number(w.maxSockets));
    LabelMaxUdp =
        ValueLabel("LabelMaxUdp", QStringLiteral("Largest UDP Datagram: ") +
                                      QString::number(w.maxUdpDatagram) + QStringLiteral(" bytes"));
    LabelHostName =
        ValueLabel("LabelHostName", QStringLiteral("Host Name: ") + session.LocalHostName());
    LabelHostIP = ValueLabel("LabelHostIP", QStringLiteral("Host IP: ") + session.LocalHostIP());
    OKBtn = DefaultButton("OKBtn", this);
    auto* l = new QVBoxLayout(this);
    for (QLabel* label : {LabelVersion, LabelDescription, LabelStatus, LabelMaxSockets, LabelMaxUdp,
                          LabelHostName, LabelHostIP})
        l->addWidget(label);
    l->addWidget(OKBtn, 0, Qt::AlignHCenter);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

const QString TAboutBox::kContactAddress = QStringLiteral("velmora@localhost");

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Velmora"));
    setAttribute(Qt::WA_DeleteOnClose);

    ProgramIcon = new QLabel;
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setAccessibleName(QStringLiteral("Velmora icon"));
    const QIcon icon = parent ? parent->windowIcon() : QApplication::windowIcon();
    ProgramIcon->setPixmap(icon.pixmap(48, 48));
    ProductName = ValueLabel("ProductName", QStringLiteral("Velmora"));
    QFont big = ProductName->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    ProductName->setFont(big);
    Version = ValueLabel("Version", QStringLiteral("Version 2.5"));

    // A link drawn as one, opened by our own handler so that tests and the
    // desktop launcher see the same mailto address.
    Label1 = new QLabel(QStringLiteral("<a href=\"mailto:%1\">%1</a>").arg(kContactAddress));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::RichText);
    Label1->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    Label1->setOpenExternalLinks(false);
    Label1->setAccessibleName(kContactAddress);
    connect(Label1, &QLabel::linkActivated, this, [this] { Label1Click(); });
    auto* comments = new QLabel(QStringLiteral("Comments can be sent to:"));
    comments->setBuddy(Label1);

    const std::optional<TPhysicalMemory> memory = PhysicalMemory();
    LabelTotalMem = ValueLabel("LabelTotalMem", memory ? MemoryKBText(memory->total) : QString());
    LabelAvailMem =
        ValueLabel("LabelAvailMem", memory ? MemoryKBText(memory->available) : QString());
    LabelTotalMem->setFocusPolicy(Qt::StrongFocus);
    LabelAvailMem->setFocusPolicy(Qt::StrongFocus);
    auto* total = new QLabel(QStringLiteral("Total Physical Memory:"));
    total->setBuddy(LabelTotalMem);
    auto* avail = new QLabel(QStringLiteral("Available Physical Memory:"));
    avail->setBuddy(LabelAvailMem);
    OKButton = DefaultButton("OKButton", this);

    auto* head = new QHBoxLayout;
    head->addWidget(ProgramIcon, 0, Qt::AlignTop);
    auto* names = new QVBoxLayout;
    names->addWidget(ProductName);
    names->addWidget(Version);
    head->addLayout(names, 1);
    auto* grid = new QGridLayout;
    grid->addWidget(comments, 0, 0);
    grid->addWidget(Label1, 0, 1);
    grid->addWidget(total, 1, 0);
    grid->addWidget(LabelTotalMem, 1, 1, Qt::AlignRight);
    grid->addWidget(avail, 2, 0);
    grid->addWidget(LabelAvailMem, 2, 1, Qt::AlignRight);
    auto* l = new QVBoxLayout(this);
    l->addLayout(head);
    l->addLayout(grid);
    l->addWidget(OKButton, 0, Qt::AlignHCenter);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutBox::Label1Click() {
    Launcher().OpenBrowser(QStringLiteral("mailto:") + kContactAddress, QString());
}
