#include "support/TestEnv.h"

#include <QDir>

namespace {
const char *const kNames[4] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"};
}

TestEnv::TestEnv()
{
    const QString values[4] = {home(), configHome(), dataHome(), runtimeDir()};
    for (int i = 0; i < 4; ++i) {
        m_had[i] = qEnvironmentVariableIsSet(kNames[i]);
        m_saved[i] = qgetenv(kNames[i]);
        QDir().mkpath(values[i]);
        qputenv(kNames[i], values[i].toLocal8Bit());
    }
    QFile::setPermissions(runtimeDir(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TestEnv::~TestEnv()
{
    for (int i = 0; i < 4; ++i) {
        if (m_had[i])
            qputenv(kNames[i], m_saved[i]);
        else
            qunsetenv(kNames[i]);
    }
}
