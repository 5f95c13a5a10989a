#pragma once

#include "SimProcess.h"
#include "widgets/MessageDialog.h"

#include <QByteArray>
#include <QStringList>

#include <string>

// Window tests against the virtual exchange: starts this process's isdnsim (ended with the
// process), points the program's CAPI at it, and collects every message the program shows
// (answering each with the left-hand button).
inline bool StartProgramExchange(isdnsim::SimProcess &sim, QStringList *messages, std::string *error)
{
    if (!sim.start(ISDNSIM_EXE, {"--die-with-parent"}, error))
        return false;
    qputenv("RUFWART_CAPI_REMOTE", QByteArray("127.0.0.1:") + QByteArray::number(sim.port()));
    MsgDlgHook::setHandler([messages](const QString &text, int) {
        *messages << text;
        return false;
    });
    return true;
}
