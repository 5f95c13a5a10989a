#pragma once

#include <QString>

#include <functional>
#include <optional>

// What the desktop session lets the program's windows do, decided over values.
namespace DesktopSession {

// True for Qt's Wayland platforms ("wayland", "wayland-egl"): there a window can neither place
// itself nor keep itself above the others; the compositor decides.
bool IsWayland(const QString &platformName);

// Whether calls for the "Externes Fenster" show as desktop notifications. A choice the user
// stored wins. Without one: on Wayland when a notification service runs, since the own window
// cannot appear where the user put it there; otherwise the own window. `serviceRunning` is asked
// only when its answer decides.
bool CallsAsDesktopNotification(const QString &platformName, std::optional<bool> stored,
                                const std::function<bool()> &serviceRunning);

} // namespace DesktopSession
