#pragma once

// Shared by the fuzz targets of the Qt-based code.

#include "FuzzCheck.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace FuzzSupport {

// The code under test logs what it rejects; thousands of inputs a second must not drown the
// fuzzer's own output (and its speed) in those lines.
inline void QuietQtMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "qFatal: %s\n", qPrintable(message));
            std::abort();
        }
    });
}

inline QByteArrayView View(const uint8_t *data, size_t size)
{
    return QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace FuzzSupport
