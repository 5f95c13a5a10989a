#include "calls/PhoneNumber.h"

#include <QRegularExpression>

namespace {

QString digitsOnly(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.isDigit())
            out += QChar(u'0' + c.digitValue());
    }
    return out;
}

// Characters people put between the digits of a number.
bool isSeparator(QChar c)
{
    switch (c.unicode()) {
    case u' ':
    case u'\t':
    case u'-':
    case u'/':
    case u'.':
    case u'(':
    case u')':
    case u'[':
    case u']':
    case 0x00A0: // no-break space
    case 0x2010: // hyphen
    case 0x2011: // non-breaking hyphen
    case 0x2012: // figure dash
    case 0x2013: // en dash
    case 0x202F: // narrow no-break space
        return true;
    default:
        return false;
    }
}

} // namespace

NumberPlan NumberPlan::fromText(const QString &country, const QString &area)
{
    NumberPlan plan;
    QString c = digitsOnly(country);
    while (c.startsWith(QLatin1Char('0')))
        c.remove(0, 1);
    if (!c.isEmpty())
        plan.Country = c;
    QString a = digitsOnly(area);
    while (a.startsWith(QLatin1Char('0')))
        a.remove(0, 1);
    plan.Area = a;
    return plan;
}

QString PhoneNumber::Digits(const QString &text)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        t = t.mid(4).trimmed();
    // "+49 (0)30 ..." and "0049 (0) 30 ...": the "(0)" is the national prefix that a caller from
    // abroad leaves out.
    if (t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1String("00"))) {
        static const QRegularExpression nationalZero(QStringLiteral("\\(\\s*0\\s*\\)"));
        t.replace(nationalZero, QString());
    }
    QString out;
    int digits = 0;
    for (const QChar c : t) {
        if (c.isDigit()) {
            out += QChar(u'0' + c.digitValue());
            ++digits;
        } else if (c == QLatin1Char('+')) {
            if (out.isEmpty())
                out = QStringLiteral("+");
        } else if (!isSeparator(c)) {
            break; // an extension, a parameter or a remark follows
        }
    }
    return digits >= 2 ? out : QString();
}

QString PhoneNumber::International(const QString &text, const NumberPlan &plan)
{
    const QString d = Digits(text);
    if (d.isEmpty())
        return QString();
    if (d.startsWith(QLatin1Char('+')))
        return d.mid(1);
    if (d.startsWith(QLatin1String("00")))
        return d.mid(2);
    if (d.startsWith(QLatin1Char('0')))
        return plan.Country + d.mid(1);
    return plan.Country + plan.Area + d;
}

QStringList PhoneNumber::LineForms(const QString &text, const NumberPlan &plan)
{
    const QString d = Digits(text);
    if (d.isEmpty())
        return {};
    if (d.startsWith(QLatin1Char('+')) || d.startsWith(QLatin1Char('0')))
        return {International(d, plan)};
    QStringList forms{plan.Country + d};
    if (!plan.Area.isEmpty())
        forms << plan.Country + plan.Area + d;
    return forms;
}
