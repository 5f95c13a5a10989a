#include "CallMessage.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QTimeZone>

#include <array>
#include <cmath>
#include <utility>

namespace CallMessage {
namespace {

constexpr std::array<std::pair<CallEvent::Kind, const char *>, 8> kNames{{
    {CallEvent::Kind::Ringing, "ringing"},
    {CallEvent::Kind::Alerted, "alerted"},
    {CallEvent::Kind::Accepted, "accepted"},
    {CallEvent::Kind::Rejected, "rejected"},
    {CallEvent::Kind::Ignored, "ignored"},
    {CallEvent::Kind::Ended, "ended"},
    {CallEvent::Kind::Missed, "missed"},
    {CallEvent::Kind::Named, "named"},
}};

// Reads the fields of one JSON object, remembering the first thing wrong with it.
class Fields
{
public:
    explicit Fields(const QJsonObject &object) : m_object(object) {}

    QString Error() const { return m_error; }

    QString Text(const char *name, bool required)
    {
        const QJsonValue value = m_object.value(QLatin1String(name));
        if (value.isUndefined() || value.isNull()) {
            if (required)
                Fail(QCoreApplication::translate("CallMessage", "\"%1\" fehlt").arg(QLatin1String(name)));
            return {};
        }
        if (!value.isString())
            return Fail(QCoreApplication::translate("CallMessage", "\"%1\" ist kein Text")
                            .arg(QLatin1String(name))),
                   QString();
        const QString text = value.toString();
        if (!text.isValidUtf16())
            return Fail(QCoreApplication::translate("CallMessage", "\"%1\" ist kein gültiger Text")
                            .arg(QLatin1String(name))),
                   QString();
        if (text.size() > kMaxText)
            return Fail(QCoreApplication::translate("CallMessage", "\"%1\" ist zu lang")
                            .arg(QLatin1String(name))),
                   QString();
        if (required && text.isEmpty())
            Fail(QCoreApplication::translate("CallMessage", "\"%1\" ist leer").arg(QLatin1String(name)));
        return text;
    }

    // A whole number from 0 to `max`; absent reads as 0 unless required.
    double Number(const char *name, double max, bool required)
    {
        const QJsonValue value = m_object.value(QLatin1String(name));
        if (value.isUndefined() || value.isNull()) {
            if (required)
                Fail(QCoreApplication::translate("CallMessage", "\"%1\" fehlt").arg(QLatin1String(name)));
            return 0;
        }
        const double number = value.toDouble(-1);
        if (!value.isDouble() || !(number >= 0 && number <= max) || std::floor(number) != number)
            return Fail(QCoreApplication::translate("CallMessage", "\"%1\" ist keine gültige Zahl")
                            .arg(QLatin1String(name))),
                   0;
        return number;
    }

    bool Flag(const char *name)
    {
        const QJsonValue value = m_object.value(QLatin1String(name));
        if (value.isUndefined() || value.isNull())
            return false;
        if (!value.isBool())
            return Fail(QCoreApplication::translate("CallMessage", "\"%1\" ist kein Wahrheitswert")
                            .arg(QLatin1String(name))),
                   false;
        return value.toBool();
    }

    void Fail(const QString &error)
    {
        if (m_error.isEmpty())
            m_error = error;
    }

private:
    const QJsonObject &m_object;
    QString m_error;
};

// The payload as a JSON object of this schema, or the reason it is none.
std::optional<QJsonObject> ObjectOf(QByteArrayView payload, QString &error)
{
    if (payload.size() > kMaxPayload) {
        error = QCoreApplication::translate("CallMessage", "zu lang (%1 Bytes)").arg(payload.size());
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(payload.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        error = QCoreApplication::translate("CallMessage", "kein JSON-Objekt");
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QJsonValue schema = object.value(QLatin1String("schema"));
    if (!schema.isDouble() || schema.toDouble() != kSchema) {
        error = QCoreApplication::translate("CallMessage", "unbekanntes Schema");
        return std::nullopt;
    }
    return object;
}

} // namespace

QString EventName(CallEvent::Kind kind)
{
    for (const auto &[k, name] : kNames) {
        if (k == kind)
            return QLatin1String(name);
    }
    return {};
}

std::optional<CallEvent::Kind> KindNamed(const QString &name)
{
    for (const auto &[k, n] : kNames) {
        if (name == QLatin1String(n))
            return k;
    }
    return std::nullopt;
}

QString FormatTime(const QDateTime &time)
{
    const QDateTime t = time.isValid() ? time : QDateTime::currentDateTime();
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return t.toOffsetFromUtc(offset).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray Encode(const CallEvent &event, const QString &node)
{
    QJsonObject o;
    o.insert(QLatin1String("schema"), kSchema);
    o.insert(QLatin1String("id"), event.MessageId);
    o.insert(QLatin1String("call"), event.CallId);
    o.insert(QLatin1String("event"), EventName(event.What));
    o.insert(QLatin1String("node"), node);
    o.insert(QLatin1String("time"), FormatTime(event.Time));
    o.insert(QLatin1String("number"), event.Number);
    o.insert(QLatin1String("name"), event.Name);
    o.insert(QLatin1String("msn"), event.Msn);
    o.insert(QLatin1String("service"), event.Service);
    o.insert(QLatin1String("cip"), double(event.Cip));
    o.insert(QLatin1String("blocked"), event.Blocked);
    if (event.What == CallEvent::Kind::Ended || event.What == CallEvent::Kind::Missed)
        o.insert(QLatin1String("cause"), int(event.Cause));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

Parsed Parse(QByteArrayView payload)
{
    Parsed result;
    const std::optional<QJsonObject> object = ObjectOf(payload, result.Error);
    if (!object)
        return result;
    Fields fields(*object);
    CallEvent &e = result.Event;
    e.MessageId = fields.Text("id", true);
    e.CallId = fields.Text("call", true);
    const QString event = fields.Text("event", true);
    result.Node = fields.Text("node", true);
    const QString time = fields.Text("time", true);
    e.Number = fields.Text("number", false);
    e.Name = fields.Text("name", false);
    e.Msn = fields.Text("msn", false);
    e.Service = fields.Text("service", false);
    e.Cip = uint32_t(fields.Number("cip", 4294967295.0, false));
    e.Blocked = fields.Flag("blocked");
    e.Cause = uint16_t(fields.Number("cause", 65535, false));
    if (!fields.Error().isEmpty()) {
        result.Error = fields.Error();
        return result;
    }
    const std::optional<CallEvent::Kind> kind = KindNamed(event);
    if (!kind) {
        result.Error = QCoreApplication::translate("CallMessage", "unbekanntes Ereignis");
        return result;
    }
    e.What = *kind;
    // The offset is part of the form: a time without one would be read as this machine's.
    e.Time = QDateTime::fromString(time, Qt::ISODate);
    if (!e.Time.isValid() || e.Time.timeSpec() == Qt::LocalTime) {
        result.Error =
            QCoreApplication::translate("CallMessage", "\"time\" ist keine Zeit mit Abstand zu UTC");
        return result;
    }
    result.Ok = true;
    return result;
}

QByteArray EncodeBlock(const Command &command)
{
    QJsonObject o;
    o.insert(QLatin1String("schema"), kSchema);
    o.insert(QLatin1String("id"), command.Id);
    o.insert(QLatin1String("command"), QLatin1String("block"));
    o.insert(QLatin1String("number"), command.Number);
    o.insert(QLatin1String("from"), command.From);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

ParsedCommand ParseCommand(QByteArrayView payload)
{
    ParsedCommand result;
    const std::optional<QJsonObject> object = ObjectOf(payload, result.Error);
    if (!object)
        return result;
    Fields fields(*object);
    result.Block.Id = fields.Text("id", true);
    const QString name = fields.Text("command", true);
    result.Block.Number = fields.Text("number", true);
    result.Block.From = fields.Text("from", true);
    if (fields.Error().isEmpty() && name != QLatin1String("block"))
        fields.Fail(QCoreApplication::translate("CallMessage", "unbekannter Befehl"));
    result.Error = fields.Error();
    result.Ok = result.Error.isEmpty();
    return result;
}

} // namespace CallMessage
