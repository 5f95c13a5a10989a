#include "common/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace {
// The variable's value, else the fallback's; the fallback is worked out only when it is needed
// (the settings' path is asked for at every read of a setting).
template<typename Fallback> QString envOr(const char *name, Fallback fallback)
{
    QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback() : value;
}

QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}
} // namespace

QString Paths::homeDir()
{
    return envOr("HOME", [] { return QDir::homePath(); });
}

QString Paths::configHome()
{
    return envOr("XDG_CONFIG_HOME", [] { return homeDir() + QStringLiteral("/.config"); });
}

QString Paths::dataHome()
{
    return envOr("XDG_DATA_HOME", [] { return homeDir() + QStringLiteral("/.local/share"); });
}

QString Paths::runtimeDir()
{
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
        return dir;
    }
    // A folder of our own in the shared temporary folder, named after the account (not after
    // $USER, which anybody can set), made private: only its owner may enter it.
    const passwd *account = ::getpwuid(::geteuid());
    const QString name =
        account != nullptr ? QString::fromLocal8Bit(account->pw_name) : QString::number(::geteuid());
    const QString own = QDir::tempPath() + QStringLiteral("/rufwart-") + name;
    QDir().mkdir(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return own;
}

QString Paths::settingsFile()
{
    return configHome() + QStringLiteral("/Elbwerk/Zahlwerk.ini");
}

QString Paths::autostartFile()
{
    return configHome() + QStringLiteral("/autostart/Rufwart.desktop");
}

QString Paths::dataDir()
{
    const QString dir = withSlash(dataHome() + QStringLiteral("/rufwart"));
    QDir().mkpath(dir);
    return dir;
}

QString Paths::sharedFile(const QString &relativePath)
{
    QStringList candidates;
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        candidates << appDir + QLatin1Char('/') + relativePath
                   << appDir + QStringLiteral("/../share/rufwart/") + relativePath;
    }
#ifdef RUFWART_SOURCE_SHARE_DIR
    candidates << QStringLiteral(RUFWART_SOURCE_SHARE_DIR "/") + relativePath;
#endif
    for (const QString &candidate : std::as_const(candidates)) {
        if (QFileInfo::exists(candidate))
            return QDir::cleanPath(candidate);
    }
    return candidates.isEmpty() ? relativePath : QDir::cleanPath(candidates.first());
}
