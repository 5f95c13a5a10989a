#pragma once

#include <QString>

// Where the program keeps its files. Every function reads the environment afresh, so tests can
// point XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR and HOME at temporary folders.
namespace Paths {
QString homeDir();
QString configHome(); // $XDG_CONFIG_HOME or ~/.config
QString dataHome();   // $XDG_DATA_HOME or ~/.local/share
// $XDG_RUNTIME_DIR, or else the folder "rufwart-<account>" in the temporary folder, made private
// (mode 0700) when missing. Whether a folder found there is really the user's is for its users to
// check (Startup does for the instance lock).
QString runtimeDir();
// The settings file: <configHome>/Elbwerk/Zahlwerk.ini
QString settingsFile();
// The autostart entry: <configHome>/autostart/Rufwart.desktop
QString autostartFile();
// The data folder for anruf.dat, anruf2.dat and updtemp.dat, ending with "/". Created on demand.
QString dataDir();
// A read-only file shipped with the program (readme.txt, bitmaps/himmel.bmp): beside the
// executable in a build tree, else in the installed share folder. Returns the path where it
// was found, or the preferred path when it exists nowhere.
QString sharedFile(const QString &relativePath);
} // namespace Paths
