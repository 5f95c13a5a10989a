#include "settings/SettingsStore.h"

#include "common/Errors.h"
#include "common/FileStamp.h"
#include "common/Paths.h"
#include "common/Utils.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QVariantMap>

#include <mutex>

namespace {

QString cannotWrite(const QString &path)
{
    return QStringLiteral("nach %1 kann nicht geschrieben werden").arg(path);
}

// Registry key paths compare like the registry does: without regard to case, and a
// surrounding backslash does not matter.
bool sameKeyPath(QString a, const char *b)
{
    while (a.startsWith(QLatin1Char('\\')))
        a.remove(0, 1);
    while (a.endsWith(QLatin1Char('\\')))
        a.chop(1);
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

enum class Store
{
    Program,
    Autostart,
    None,
};

Store storeOf(RegRoot root, const QString &keyPath)
{
    if (root == RegRoot::LocalMachine && sameKeyPath(keyPath, kProgramKey))
        return Store::Program;
    if (root == RegRoot::CurrentUser && sameKeyPath(keyPath, kRunKey))
        return Store::Autostart;
    return Store::None;
}

void makeFolderFor(const QString &file)
{
    const QString dir = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(dir) || !QFileInfo(dir).isDir())
        throw IoError(cannotWrite(file), file);
}

// ---- the program's values: an INI file, names without regard to case ----

// QSettings reads "/" and "\" as group separators: such a name would land in a section, or
// (a leading or doubled one) stand for another name.
bool validValueName(const QString &name)
{
    return !name.trimmed().isEmpty() && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && !name.contains(QLatin1Char('\n')) &&
           !name.contains(QLatin1Char('\r'));
}

void checkValueName(const QString &name)
{
    if (!validValueName(name))
        throw InvalidInput(QStringLiteral("Ungültiger Name für eine Einstellung: \"%1\"").arg(name));
}

// The spelling under which the value is stored, or the name itself when it is new.
QString storedName(const QSettings &settings, const QString &name)
{
    const QStringList keys = settings.childKeys();
    for (const QString &key : keys) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return key;
    }
    return name;
}

// A fresh, unused path beside `file`: QSettings keeps what it parsed per path, so only a path
// it has never seen makes it read the bytes on disk.
QString freshPathBeside(const QString &file)
{
    static QAtomicInt counter;
    return QStringLiteral("%1.%2-%3.tmp")
        .arg(file)
        .arg(QCoreApplication::applicationPid())
        .arg(counter.fetchAndAddRelaxed(1));
}

// How long a write waits for another writer (of this or another process) to finish. A writer
// that died is noticed at once; one that hangs must not hold the waiting one (the main window)
// for longer than this.
constexpr int kLockWaitMs = 2000;

// The copies of freshPathBeside (and the files QSettings makes beside them) that a writer left
// when it was killed part-way. Only the holder of the lock makes them, so under the lock every
// one there is a leftover.
void removeLeftoversBeside(const QString &file)
{
    const QFileInfo info(file);
    static const QRegularExpression leftover(QStringLiteral("^\\d+-\\d+\\.tmp(\\..*)?$"));
    const QString prefix = info.fileName() + QLatin1Char('.');
    const QStringList names =
        QDir(info.absolutePath()).entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (leftover.match(name.sliced(prefix.size())).hasMatch())
            QFile::remove(info.absolutePath() + QLatin1Char('/') + name);
    }
}

// What the settings file held when it was last read, known by the file's stamp then: reads
// between two changes of the file cost one look at its stamp (the program reads its options at
// every call), not a parse, nor a walk through every name.
struct ProgramValues
{
    QString File;
    FileStamp Stamp;
    // By the name folded to one case: the stored spelling (the first of several) and the value.
    QHash<QString, std::pair<QString, QVariant>> ByName;
};

std::mutex g_programValuesLock;
ProgramValues g_programValues;

// The value stored under `name` as QSettings reads it (`key` receives the stored spelling);
// invalid when there is none.
QVariant storedProgramValue(const QString &name, QString *key = nullptr)
{
    const QString file = Paths::settingsFile();
    // A name that cannot be written is never stored: it does not read another name's value.
    if (!validValueName(name))
        return {};
    const FileStamp stamp = FileStamp::Of(file);
    if (!stamp.Exists)
        return {};
    std::lock_guard guard(g_programValuesLock);
    ProgramValues &values = g_programValues;
    if (values.File != file || !(values.Stamp == stamp)) {
        values.ByName.clear();
        QSettings settings(file, QSettings::IniFormat);
        const QStringList keys = settings.childKeys();
        for (const QString &stored : keys) {
            const QString folded = stored.toCaseFolded();
            if (!values.ByName.contains(folded))
                values.ByName.insert(folded, {stored, settings.value(stored)});
        }
        values.File = file;
        values.Stamp = stamp;
    }
    const auto it = values.ByName.constFind(name.toCaseFolded());
    if (it == values.ByName.cend()) {
        if (key)
            *key = name;
        return {};
    }
    if (key)
        *key = it->first;
    return it->second;
}

// Whether the value is stored already as exactly this text. Every write replaces the whole file
// and syncs it to the disk; a value that would not change is left alone.
bool programValueIs(const QString &name, const QString &text)
{
    const QVariant value = storedProgramValue(name);
    return value.typeId() == QMetaType::QString && value.toString() == text;
}

void writeProgramValue(const QString &name, const QString &text)
{
    checkValueName(name);
    if (programValueIs(name, text))
        return;
    // A settings file linked into place is rewritten where it lives; the link stays.
    makeFolderFor(Paths::settingsFile());
    const QString file = FileBehindLinks(Paths::settingsFile());
    makeFolderFor(file);
    // Finding the stored spelling and writing must be one step for every process, or two
    // writers could add the same name in two spellings or lose each other's values.
    QLockFile lock(file + QStringLiteral(".rufwart-lock"));
    if (!lock.tryLock(kLockWaitMs))
        throw IoError(cannotWrite(file), file);
    removeLeftoversBeside(file);

    // QSettings reports success even when its file was cut short (a full disk), and would then
    // put the cut file in place. So it writes a copy, the copy is read back under a new name
    // and compared with what it must hold, and only then replaces the settings file.
    QVariantMap expected;
    QString key = name;
    const QString draft = freshPathBeside(file);
    const QString check = freshPathBeside(file);
    auto cleanUp = qScopeGuard([&] {
        QFile::remove(draft);
        QFile::remove(check);
    });
    if (QFileInfo::exists(file)) {
        QSettings current(file, QSettings::IniFormat);
        key = storedName(current, name);
        const QStringList keys = current.allKeys();
        for (const QString &k : keys)
            expected.insert(k, current.value(k));
        if (!QFile::copy(file, draft))
            throw IoError(cannotWrite(file), file);
    }
    expected.insert(key, text);
    {
        QSettings settings(draft, QSettings::IniFormat);
        // A QString is written quoted when it holds a comma, so comma lists read back as one text.
        settings.setValue(key, text);
        settings.sync(); // through QSaveFile: synced to disk
        if (settings.status() != QSettings::NoError)
            throw IoError(cannotWrite(file), file);
    }
    if (!QFile::rename(draft, check))
        throw IoError(cannotWrite(file), file);
    {
        QSettings written(check, QSettings::IniFormat);
        const QStringList keys = written.allKeys();
        if (written.status() != QSettings::NoError || keys.size() != expected.size())
            throw IoError(cannotWrite(file), file);
        for (const QString &k : keys) {
            const auto it = expected.constFind(k);
            if (it == expected.constEnd() || *it != written.value(k))
                throw IoError(cannotWrite(file), file);
        }
    }
    // QSettings rereads a file only when its size or time changed: a value of the same length
    // written within the same millisecond must still carry a newer time.
    const QDateTime previous = QFileInfo(file).lastModified();
    if (previous.isValid() && QFileInfo(check).lastModified() <= previous) {
        QFile touched(check);
        if (touched.open(QIODevice::Append))
            touched.setFileTime(previous.addMSecs(1), QFileDevice::FileModificationTime);
    }
    // A file that holds a password is for its owner's eyes only.
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (it.key().compare(QLatin1String(Settings::MqttPassword.name), Qt::CaseInsensitive) == 0 &&
            !it.value().toString().isEmpty() &&
            !QFile::setPermissions(check, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            throw IoError(cannotWrite(file), file);
    }
    RenameOver(check, file);
}

QString readProgramValue(const QString &name, const QString &defaultText)
{
    QString key;
    const QVariant value = storedProgramValue(name, &key);
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QStringList:
        // A comma list typed by hand without quotes: give it back as the text it was.
        return value.toStringList().join(QLatin1Char(','));
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    case QMetaType::UnknownType:
        return defaultText;
    default: {
        const QString file = Paths::settingsFile();
        throw IoError(QStringLiteral("Der Wert %1 in %2 ist kein Text").arg(key, file), file);
    }
    }
}

// ---- the autostart value: an XDG autostart entry ----

QString autostartFileOf(const QString &name)
{
    if (name.compare(QLatin1String("Rufwart"), Qt::CaseInsensitive) == 0)
        return Paths::autostartFile();
    if (name.trimmed().isEmpty() || name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.')))
        throw InvalidInput(QStringLiteral("Ungültiger Name für einen Autostart-Eintrag: \"%1\"").arg(name));
    return Paths::configHome() + QStringLiteral("/autostart/") + name + QStringLiteral(".desktop");
}

// Exec of a desktop entry: the path as one quoted argument, with the quoting rules of the
// desktop entry format applied first to the argument and then to the string value.
QString execValueOf(const QString &path)
{
    QString argument;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            argument += QLatin1Char('\\');
        argument += c;
    }
    argument = QLatin1Char('"') + argument + QLatin1Char('"');
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return argument;
}

QString unescapeStringValue(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        default:
            out += next;
        }
    }
    return out;
}

// The program path of an Exec line: its first argument, quoted or not.
QString pathOfExec(const QString &exec)
{
    QString text = unescapeStringValue(exec).trimmed();
    QString path;
    if (text.startsWith(QLatin1Char('"'))) {
        for (qsizetype i = 1; i < text.size(); ++i) {
            QChar c = text.at(i);
            if (c == QLatin1Char('"'))
                break;
            if (c == QLatin1Char('\\') && i + 1 < text.size())
                c = text.at(++i);
            path += c;
        }
    } else {
        path = text.section(QLatin1Char(' '), 0, 0);
    }
    path.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return path;
}

void writeAutostart(const QString &name, const QString &path)
{
    if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
        throw InvalidInput(QStringLiteral("Ungültiger Programmpfad für den Autostart: \"%1\"").arg(path));
    const QString file = autostartFileOf(name);
    makeFolderFor(file);
    QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\n").arg(name);
    if (path.isEmpty())
        entry += QStringLiteral("Hidden=true\n");
    else
        entry += QStringLiteral("Exec=%1\nX-GNOME-Autostart-enabled=true\n").arg(execValueOf(path));
    const QByteArray bytes = entry.toUtf8();
    QFile current(file);
    if (current.open(QIODevice::ReadOnly) && current.size() == bytes.size() && current.readAll() == bytes)
        return; // the entry says this already
    WriteFileAtomic(file, bytes);
}

QString readAutostart(const QString &name, const QString &defaultText)
{
    QFile in(autostartFileOf(name));
    if (!in.open(QIODevice::ReadOnly))
        return defaultText;
    return AutostartPathOf(in.readAll());
}

} // namespace

QString AutostartPathOf(const QByteArray &entry)
{
    bool inEntry = false;
    bool hidden = false;
    QString exec;
    const QList<QByteArray> lines = entry.split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Hidden"))
            hidden = value == QLatin1String("true");
        else if (key == QLatin1String("Exec"))
            exec = value;
    }
    // An entry that is hidden stands for the empty value.
    if (hidden)
        return QString();
    return pathOfExec(exec);
}

void WriteRegString(RegRoot root, const QString &keyPath, const QString &name, const QString &text)
{
    switch (storeOf(root, keyPath)) {
    case Store::Program:
        writeProgramValue(name, text);
        return;
    case Store::Autostart:
        writeAutostart(name, text);
        return;
    case Store::None:
        break;
    }
    throw InvalidInput(QStringLiteral("Der Registrierungsschlüssel %1 wird nicht unterstützt").arg(keyPath));
}

QString ReadRegString(RegRoot root, const QString &keyPath, const QString &name, const QString &defaultText)
{
    switch (storeOf(root, keyPath)) {
    case Store::Program:
        return readProgramValue(name, defaultText);
    case Store::Autostart:
        return readAutostart(name, defaultText);
    case Store::None:
        break;
    }
    return defaultText;
}

void WriteSettingString(const QString &name, const QString &text)
{
    WriteRegString(RegRoot::LocalMachine, QLatin1String(kProgramKey), name, text);
}

QString ReadSettingString(const QString &name)
{
    return ReadRegString(RegRoot::LocalMachine, QLatin1String(kProgramKey), name, QString());
}

void WriteSettingInteger(const QString &name, qint32 value)
{
    WriteSettingString(name, QString::number(value));
}

qint32 ReadSettingInteger(const QString &name)
{
    try {
        bool ok = false;
        const qint32 value =
            ReadRegString(RegRoot::LocalMachine, QLatin1String(kProgramKey), name, QStringLiteral("0"))
                .trimmed()
                .toInt(&ok, 10);
        return ok ? value : 0;
    } catch (...) {
        return 0; // integer and flag reads never fail
    }
}

void WriteSettingFlag(const QString &name, bool value)
{
    WriteSettingString(name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool ReadSettingFlag(const QString &name)
{
    return ReadSettingInteger(name) != 0;
}

QString ReadSettingText(const QString &name)
{
    try {
        return ReadSettingString(name);
    } catch (const IoError &e) {
        qWarning().noquote() << e.message();
        return QString();
    }
}

namespace Settings {

namespace {
QString nameOf(const Sound &key)
{
    return QStringLiteral("ISDN_SOUND") + QString::number(key.position);
}
} // namespace

bool Read(const Flag &key)
{
    const QLatin1String name(key.name);
    if (key.fallback && ReadSettingText(name).isEmpty())
        return true;
    return ReadSettingFlag(name);
}

qint32 Read(const Integer &key)
{
    const qint32 value = ReadSettingInteger(QLatin1String(key.name));
    return key.fallback > 0 && value <= 0 ? key.fallback : value;
}

QString Read(const Text &key)
{
    const QString text = ReadSettingText(QLatin1String(key.name));
    return text.isEmpty() && key.fallback ? QString::fromLatin1(key.fallback) : text;
}

QString Read(const Sound &key)
{
    return ReadSettingText(nameOf(key));
}

void Write(const Flag &key, bool value)
{
    WriteSettingFlag(QLatin1String(key.name), value);
}

void Write(const Integer &key, qint32 value)
{
    WriteSettingInteger(QLatin1String(key.name), value);
}

void Write(const Text &key, const QString &value)
{
    WriteSettingString(QLatin1String(key.name), value);
}

void Write(const Sound &key, const QString &path)
{
    WriteSettingString(nameOf(key), path);
}

} // namespace Settings
