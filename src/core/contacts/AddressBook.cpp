#include "contacts/AddressBook.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>

QStringList AddressBook::FilesOf(const QString &source)
{
    const QFileInfo info(source);
    if (!info.isDir())
        return {source};
    QStringList files;
    QDirIterator it(source, {QStringLiteral("*.vcf"), QStringLiteral("*.vcard"), QStringLiteral("*.csv")},
                    QDir::Files | QDir::Readable,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

QHash<QString, FileStamp> AddressBook::CurrentStamps() const
{
    QHash<QString, FileStamp> stamps;
    for (const QString &source : m_sources) {
        if (!QFileInfo::exists(source))
            continue;
        for (const QString &file : FilesOf(source))
            stamps.insert(file, FileStamp::Of(file));
    }
    return stamps;
}

void AddressBook::Load(const QStringList &sources, const NumberPlan &plan)
{
    m_sources = sources;
    m_plan = plan;
    m_contacts.clear();
    m_index.clear();
    m_errors.clear();
    m_stamps.clear();
    for (const QString &source : sources) {
        if (!QFileInfo::exists(source)) {
            m_errors << QCoreApplication::translate("AddressBook", "%1 gibt es nicht").arg(source);
            continue;
        }
        for (const QString &file : FilesOf(source)) {
            if (m_stamps.contains(file))
                continue;
            m_stamps.insert(file, FileStamp::Of(file));
            QString error;
            const QList<Contact> read = ReadContactFile(file, &error);
            if (!error.isEmpty())
                m_errors << error;
            for (const Contact &contact : read) {
                if (contact.Phones.isEmpty())
                    continue;
                const qsizetype at = m_contacts.size();
                m_contacts << contact;
                for (const QString &phone : contact.Phones) {
                    const QString number = ContactNumber(phone, plan);
                    if (!number.isEmpty() && !m_index.contains(number))
                        m_index.insert(number, at);
                }
            }
        }
    }
}

bool AddressBook::Refresh()
{
    if (CurrentStamps() == m_stamps)
        return false;
    Load(m_sources, m_plan);
    return true;
}

const Contact *AddressBook::Find(const QString &lineNumber) const
{
    for (const QString &form : PhoneNumber::LineForms(lineNumber, m_plan)) {
        const auto it = m_index.constFind(form);
        if (it != m_index.constEnd())
            return &m_contacts[*it];
    }
    return nullptr;
}
