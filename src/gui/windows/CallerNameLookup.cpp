#include "windows/CallerNameLookup.h"

#include "windows/MessageDialog.h"

QString LookUpCallerName(const QString & /*number*/, const QString &name)
{
    ShowMessageDlg(QStringLiteral("D-Info nicht installiert !"));
    return name;
}
