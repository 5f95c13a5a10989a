#pragma once

#include "contacts/Contact.h"

#include <QByteArrayView>

// Reads the cards of a vCard file, versions 2.1, 3.0 and 4.0: folded lines, property groups
// ("item1.TEL"), parameters with and without "TYPE=", quoted-printable values with soft line
// breaks and CHARSET parameters (2.1), backslash escapes (3.0, 4.0), "tel:" URIs (4.0). The
// properties N, FN, ORG, ADR (the first) and every TEL are taken; everything else is skipped,
// also embedded cards (2.1 AGENT). Text without a CHARSET parameter is taken as the file's
// (DecodeContactText). A card whose END:VCARD is missing is dropped when the next one begins.
// Cards without a name or without a number are kept; the caller decides.
QList<Contact> ReadVCards(QByteArrayView bytes);
