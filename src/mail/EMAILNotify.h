#pragma once

#include "mail/AlertQueue.h"
#include "mail/MailSettings.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class TIniFile;
class TMailDelivery;

// What the dialog edits and uses; all of it lives on the session.
struct TEMAILNotifyContext {
    TEmailSettings& email;
    QStringList& notifyAddresses;
    TNotificationQueue& queue;
    std::function<TIniFile&()> settings;
    std::function<QString()> shownDnsServer;          // the DNS Resolver page's server
    std::function<bool(const QString&)> addDnsServer; // "add to recent list" on its list
    std::function<QString()> clockText;
    std::function<void(int)> help; // opens the help file at a context
};

// The modal dialog "EMAIL Notification": every e-mail setting, and a test
// notification to every notify address.
class TEMAILNotify : public QDialog {
    Q_OBJECT
public:
    explicit TEMAILNotify(TEMAILNotifyContext context, QWidget* parent = nullptr);

    // "Parameters...": holds EMAILTimer while the dialog is open and gives
    // it back afterwards. `run` shows the dialog (exec() unless a test
    // drives it); its result is returned.
    static int Execute(TEMAILNotifyContext context, TMailDelivery& delivery,
                       QWidget* parent = nullptr,
                       const std::function<int(TEMAILNotify&)>& run = {});

    static constexpr int kHelpContext = 100;

    // Handlers with their fixed names.
    void FormCreate();
    void Edit4Change();
    void OKBtnClick();
    void Button3Click(); // "Apply"
    void Button1Click(); // "Test EMAIL"
    void Button2Click(); // "Help"

    // Memo1's lines as a memo counts them: none when empty, and a final
    // line break starts no line.
    QStringList MemoLines() const;

    QLineEdit* Edit1;      // "Your EMAIL Address:"
    QPlainTextEdit* Memo1; // "Addresses to Notify:"
    QComboBox* ComboPriority;
    QLineEdit* Edit3;         // DNS server
    QLineEdit* Edit4;         // static mail server
    QCheckBox* CheckBox1;     // "Use MX Server:"
    QSpinBox* EditPort;       // the static server's port
    QComboBox* ComboSecurity; // "None", "STARTTLS", "TLS"
    QLineEdit* EditUser;
    QLineEdit* EditPassword;
    QSpinBox* UpDownHours;   // EditHours and its up-down in one
    QSpinBox* UpDownMinutes; // EditMinutes and its up-down in one
    QCheckBox* CheckBox2;    // "Notify on UP Transition:"
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;

private:
    void buildControls();
    // The "Done"/"Apply" handling; false when a required entry is missing.
    bool applyEntries();
    void writeSettings();
    void guarded(const std::function<void()>& handler);

    TEMAILNotifyContext ctx;
};
