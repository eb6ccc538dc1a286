#pragma once

#include <QIcon>
#include <QObject>
#include <QTimer>
#include <array>

class QAction;
class QMenu;
class QSystemTrayIcon;

// The notification-area icon `TrayIcon1` with its menu `PopupTracIcon`
// ("Restore", "Exit") and the two-image animation a DOWN change starts.
class TTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TTrayIcon(QWidget* window);

    const QIcon& Image(int i) const { return ImageList1[size_t(i)]; }
    void SetHint(const QString& hint);
    // Shown, and able to bring the window back from a minimise.
    bool CanRestore() const;
    void Hide();

    // Starts the animation; Tick() counts a second and ends it after five.
    void StartAnimation();
    void Tick();
    bool Animating() const { return animating; }

signals:
    void RestoreRequested();
    void ExitRequested();

private:
    void showImage(int i);

    QSystemTrayIcon* TrayIcon1 = nullptr;
    QMenu* PopupTracIcon = nullptr;
    std::array<QIcon, 2> ImageList1;
    QTimer flipTimer;
    int image = 0;
    int ticks = 0;
    bool animating = false;
};
