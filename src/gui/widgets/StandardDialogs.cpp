#include "widgets/StandardDialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QStringList>

namespace {
DialogHook::Handler &hookHandler()
{
    static DialogHook::Handler handler;
    return handler;
}

QString bareSuffix(QString suffix)
{
    while (suffix.startsWith(QLatin1Char('*')) || suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    return suffix;
}
} // namespace

QString qtFileFilter(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns);
    }
    if (parts.size() % 2 == 1 && !parts.last().isEmpty())
        filters << parts.last();
    return filters.join(QStringLiteral(";;"));
}

namespace {
// A file chooser for opening (an existing file) or saving (any name).
QString chooseFile(DialogHook::Kind kind, QWidget *parent, const QString &title, const QString &filter,
                   const QString &initial, const QString &defaultSuffix)
{
    if (const auto &handler = hookHandler()) {
        const QVariant answer = handler({kind, title, filter, initial, defaultSuffix, QColor()});
        return answer.isNull() ? QString() : answer.toString();
    }
    const bool open = kind == DialogHook::Kind::OpenFile;
    QFileDialog dlg(parent, title, initial, qtFileFilter(filter));
    dlg.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    const QString suffix = bareSuffix(defaultSuffix);
    if (!suffix.isEmpty())
        dlg.setDefaultSuffix(suffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    return dlg.selectedFiles().constFirst();
}
} // namespace

QString ChooseOpenFile(QWidget *parent, const QString &title, const QString &filter,
                       const QString &initialDir, const QString &defaultSuffix)
{
    return chooseFile(DialogHook::Kind::OpenFile, parent, title, filter, initialDir, defaultSuffix);
}

QString ChooseSaveFile(QWidget *parent, const QString &title, const QString &filter,
                       const QString &initialPath, const QString &defaultSuffix)
{
    return chooseFile(DialogHook::Kind::SaveFile, parent, title, filter, initialPath, defaultSuffix);
}

QString ChooseDirectory(QWidget *parent, const QString &title, const QString &initialDir)
{
    if (const auto &handler = hookHandler()) {
        const QVariant answer =
            handler({DialogHook::Kind::Directory, title, QString(), initialDir, QString(), QColor()});
        return answer.isNull() ? QString() : answer.toString();
    }
    return QFileDialog::getExistingDirectory(parent, title, initialDir);
}

QColor ChooseColor(QWidget *parent, const QColor &initial)
{
    if (const auto &handler = hookHandler()) {
        const QVariant answer =
            handler({DialogHook::Kind::Color, QString(), QString(), QString(), QString(), initial});
        return answer.isNull() ? QColor() : answer.value<QColor>();
    }
    const QColor chosen = QColorDialog::getColor(initial, parent);
    return chosen.isValid() ? chosen : QColor();
}

void DialogHook::setHandler(Handler handler)
{
    hookHandler() = std::move(handler);
}
