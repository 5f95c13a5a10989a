#include "notify/TrayIcon.h"

#include "notify/TrayWatcher.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

TTrayIcon::TTrayIcon(QObject *parent) : QObject(parent) {}

TTrayIcon::~TTrayIcon()
{
    if (m_active)
        remove();
}

namespace {
std::function<bool()> &availabilityProbe()
{
    static std::function<bool()> probe;
    return probe;
}
} // namespace

bool TTrayIcon::trayAvailable()
{
    if (const auto &probe = availabilityProbe())
        return probe();
    // Away from X11 the only notification areas are StatusNotifierItem hosts on the session bus.
    // Qt looks for one once and keeps its answer for the life of the program, so it is asked only
    // when one is there: otherwise an area that appears later could not be used.
    if (QGuiApplication::platformName() != QLatin1String("xcb") && !TrayWatcher::HostRegistered())
        return false;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::setAvailabilityProbe(std::function<bool()> probe)
{
    availabilityProbe() = std::move(probe);
}

void TTrayIcon::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (active)
        add();
    else
        remove();
}

void TTrayIcon::setIcon(const QIcon &icon)
{
    if (icon.cacheKey() == m_icon.cacheKey())
        return;
    m_icon = icon;
    modify();
}

void TTrayIcon::setToolTip(const QString &toolTip)
{
    if (toolTip == m_toolTip)
        return;
    m_toolTip = toolTip;
    modify();
}

void TTrayIcon::setPopupMenu(QMenu *menu)
{
    m_menu = menu;
    if (m_tray)
        m_tray->setContextMenu(menu);
}

void TTrayIcon::add()
{
    // Without a notification area the platform icon would show nowhere (and Qt would complain
    // about the missing area); the icon is added once the owner activates it again.
    if (!trayAvailable())
        return;
    ++m_stats.adds;
    m_tray = new QSystemTrayIcon(this);
    m_tray->setIcon(m_icon);
    m_tray->setToolTip(m_toolTip);
    if (m_menu)
        m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { onActivated(reason); });
    // An icon without a picture has nothing to show yet; it appears when a picture is set.
    if (!m_icon.isNull())
        m_tray->show();
}

void TTrayIcon::modify()
{
    if (!m_active || !m_tray)
        return;
    ++m_stats.modifies;
    m_tray->setIcon(m_icon);
    m_tray->setToolTip(m_toolTip);
    m_tray->setVisible(!m_icon.isNull());
}

void TTrayIcon::remove()
{
    if (m_tray) {
        ++m_stats.deletes;
        m_tray->hide();
        delete m_tray;
        m_tray = nullptr;
    }
}

void TTrayIcon::onActivated(int reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (OnClick)
            OnClick(this);
        break;
    case QSystemTrayIcon::DoubleClick:
        if (OnDblClick)
            OnDblClick(this);
        break;
    case QSystemTrayIcon::Context:
        if (OnRightClick)
            OnRightClick(this, Qt::RightButton, Qt::NoModifier, QCursor::pos());
        break;
    default:
        break;
    }
}
