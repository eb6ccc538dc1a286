#pragma once

#include "push/PushSettings.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class TIniFile;
class TPushDelivery;

// What the dialog edits and uses; all of it lives on the session.
struct TPushNotifyContext {
    TPushSettings& settings;
    TPushDelivery& delivery;
    std::function<TIniFile&()> ini;
    std::function<QString()> clockText;
    std::function<void(int)> help;
};

// The modal dialog "Push Notifications": the webhook and the desktop
// notifications, and a test push to the webhook.
class TPushNotify : public QDialog {
    Q_OBJECT
public:
    explicit TPushNotify(TPushNotifyContext context, QWidget* parent = nullptr);

    // Shows the dialog (exec() unless a test drives it) and returns its
    // result.
    static int Execute(TPushNotifyContext context, QWidget* parent = nullptr,
                       const std::function<int(TPushNotify&)>& run = {});

    static constexpr int kHelpContext = 105;

    void FormCreate();
    void OKBtnClick();
    void ButtonTestClick();
    void ButtonHelpClick();

    QLineEdit* EditWebhookURL;
    QComboBox* ComboWebhookFormat;
    QLineEdit* EditWebhookToken;
    QCheckBox* CheckBoxDesktopNotify;
    QPushButton* ButtonTest;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* ButtonHelp;

private:
    void buildControls();
    // The entries into the session and the file; false (and a message)
    // when the URL cannot be used.
    bool applyEntries();

    TPushNotifyContext ctx;
};
