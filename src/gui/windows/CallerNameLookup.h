#pragma once

#include <QString>

// The manual look-up of a caller's name in the telephone directory program, behind the "&D-Info"
// buttons of the caller list and the caller record dialog. Returns the name found, or `name`
// unchanged when nothing was found, the search was aborted or the program is not installed.
//
// This is the one place where those buttons reach the D-Info look-up. Until the look-up is built
// it answers as for a D-Info that is not installed: the message "D-Info nicht installiert !" and
// the name unchanged.
QString LookUpCallerName(const QString &number, const QString &name);
