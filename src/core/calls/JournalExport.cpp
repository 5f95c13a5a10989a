#include "calls/JournalExport.h"

#include <QFileInfo>

namespace {
// A number as "+4930123456": a spreadsheet reads it as a number, never as a formula that calls or
// refers to anything, so it is left as it is.
bool isPlainNumber(const QString &text)
{
    if (text.size() < 2 || text.at(0) != QLatin1Char('+'))
        return false;
    for (qsizetype i = 1; i < text.size(); ++i)
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return false;
    return true;
}

// A field that a spreadsheet would run as a formula (it begins with =, +, -, @, a tab or a CR)
// gets an apostrophe in front, so that it is shown as text.
QString guardedAgainstFormulas(const QString &text)
{
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    if (text.isEmpty() || !kFormulaStarts.contains(text.at(0)) || isPlainNumber(text))
        return text;
    return QLatin1Char('\'') + text;
}

// One CSV field: guarded against formulas, and quoted when it holds a separator, a quote or a
// line break.
void appendField(QByteArray &out, const QString &text)
{
    const QByteArray bytes = guardedAgainstFormulas(text).toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\r') || bytes.contains('\n')) {
        out += '"';
        for (char c : bytes) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    } else {
        out += bytes;
    }
}

void appendLine(QByteArray &out, std::initializer_list<QString> fields)
{
    bool first = true;
    for (const QString &field : fields) {
        if (!first)
            out += ',';
        first = false;
        appendField(out, field);
    }
    out += "\r\n";
}
} // namespace

QString JournalCallerText(const ResolvedCaller &resolved, const QString &key)
{
    QString text = resolved.Text;
    if (text.size() > 2 && text.at(1) == QLatin1Char('#'))
        text.remove(0, 2);
    return text.size() > 2 ? text : key;
}

QByteArray JournalCsv(const QList<JournalRecord> &calls, const CallerResolver &callers)
{
    QByteArray out;
    out.reserve(64 * (calls.size() + 1));
    appendLine(out, {QStringLiteral("Datum"), QStringLiteral("Uhrzeit"), QStringLiteral("MSN"),
                     QStringLiteral("Rufnummer"), QStringLiteral("Name")});
    for (const JournalRecord &call : calls) {
        const QDateTime when = call.callDateTime();
        const QString caller = JournalCallerText(callers.Resolve(call.CallerKey), call.CallerKey);
        appendLine(out, {when.date().toString(Qt::ISODate), when.time().toString(QStringLiteral("HH:mm:ss")),
                         call.Msn, call.CallerKey, caller == call.CallerKey ? QString() : caller});
    }
    return out;
}

QByteArray ExportJournalCsv(const CallJournal &journal, const CallerDirectory &callers)
{
    const QList<JournalRecord> calls =
        QFileInfo::exists(journal.path()) ? journal.ReadCalls() : QList<JournalRecord>();
    return JournalCsv(calls, callers.BatchResolver());
}
