#pragma once

#include "contacts/AddressBook.h"
#include "contacts/StandInSettings.h"

#include <QString>
#include <QStringList>

// Answers reverse searches from the address books: the answer file "dinfo.prz" in `folder`
// gets the request as its first line and, when a contact has the number, the answer line.
class StandIn
{
public:
    StandIn(const StandInSettings &settings, const QString &folder);

    // Carries out "R;<number>": true when the answer file was written; false with the reason
    // for a request it does not know or a file it cannot write.
    bool Execute(const QString &command, QString *refusal);
    // The last request carried out (the value of D-Info 97's advise item).
    QString LastRequest() const { return m_lastRequest; }

    // The answer line for a number, or empty when no contact has it. The address books are read
    // again first when one of their files changed.
    QString AnswerFor(const QString &number);
    const AddressBook &Book() const { return m_book; }

private:
    QString m_folder;
    AddressBook m_book;
    QString m_lastRequest;
};
