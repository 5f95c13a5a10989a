// vCard files of any version and any damage, as the stand-in directory program reads the user's
// address books: no crash, no undefined behaviour, nothing without its card.

#include "FuzzSupport.h"

#include "contacts/Contact.h"
#include "contacts/VCardReader.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<Contact> cards = ReadVCards(FuzzSupport::View(data, size));
    for (const Contact &c : cards) {
        c.DisplayName();
        for (const QString &phone : c.Phones)
            FUZZ_CHECK(!phone.isEmpty());
    }
    // Every card ends with its END:VCARD line, and each one takes at least two lines.
    FUZZ_CHECK(qsizetype(cards.size()) <= qsizetype(size) / 2 + 1);
    return 0;
}
