#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <functional>

class QSystemTrayIcon;

// One icon with a tool tip in the desktop's notification area, reporting clicks on it.
// Inactive after creation. While active every change of icon or tip is shown at once; changes
// made while inactive are kept and shown from the next activation on. Where the desktop offers
// no notification area the component still works: nothing reaches the platform until an
// activation finds an area (the owner activates it again when one appears); trayAvailable()
// tells the owner so it can say so.
class TTrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit TTrayIcon(QObject *parent = nullptr);
    ~TTrayIcon() override;

    bool Active() const { return m_active; }
    void setActive(bool active);
    QIcon Icon() const { return m_icon; }
    void setIcon(const QIcon &icon);
    QString ToolTip() const { return m_toolTip; }
    void setToolTip(const QString &toolTip);

    // A menu the desktop opens itself on a right click (some notification areas only open a
    // menu they were given). OnRightClick is reported as well; an owner that sets a popup menu
    // must not open it again from OnRightClick. Not owned.
    void setPopupMenu(QMenu *menu);
    QMenu *popupMenu() const { return m_menu; }

    // Left button clicked / double-clicked over the icon.
    std::function<void(TTrayIcon *sender)> OnClick;
    std::function<void(TTrayIcon *sender)> OnDblClick;
    // Right button over the icon, with the mouse cursor's position on the screen.
    std::function<void(TTrayIcon *sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos)>
        OnRightClick;

    // True when the desktop has a notification area to show the icon in. A desktop may offer one
    // only later (its panel starts after the program).
    static bool trayAvailable();
    // Tests stand in for the desktop: while set, trayAvailable() answers from it.
    static void setAvailabilityProbe(std::function<bool()> probe);

    // What has been passed to the notification area: icons added, changes sent, icons removed.
    struct Stats
    {
        int adds = 0;
        int modifies = 0;
        int deletes = 0;
    };
    Stats stats() const { return m_stats; }
    // The platform icon while active (null while inactive).
    QSystemTrayIcon *platformIcon() const { return m_tray; }

private:
    void add();
    void modify();
    void remove();
    void onActivated(int reason);

    bool m_active = false;
    QIcon m_icon;
    QString m_toolTip;
    QPointer<QMenu> m_menu;
    QSystemTrayIcon *m_tray = nullptr;
    Stats m_stats;
};
