#include "platform/DesktopSession.h"

namespace DesktopSession {

bool IsWayland(const QString &platformName)
{
    return platformName.startsWith(QLatin1String("wayland"));
}

bool CallsAsDesktopNotification(const QString &platformName, std::optional<bool> stored,
                                const std::function<bool()> &serviceRunning)
{
    if (stored)
        return *stored;
    return IsWayland(platformName) && serviceRunning && serviceRunning();
}

} // namespace DesktopSession
