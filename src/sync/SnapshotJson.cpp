#include "SnapshotJson.h"

#include "collection/IsoDate.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QTime>
#include <cmath>

using namespace Qt::StringLiterals;

namespace vexlor {
namespace {

// Seconds from 1970-01-01 to 0001-01-01 and to 10000-01-01, both UTC.
constexpr double kFirstSecond = -62135596800.0;
constexpr double kPastLastSecond = 253402300800.0;

// ---- encoding ------------------------------------------------------------

// Builds the JSON tree and keeps the first value it could not represent.
class Encoder {
public:
    [[nodiscard]] const QString& error() const { return m_error; }

    QJsonObject snapshot(const DeckSnapshot& s)
    {
        QJsonArray agents;
        for (qsizetype i = 0; i < s.content.agents.size(); ++i)
            agents.append(agent(s.content.agents[i], u"content.agents[%1]"_s.arg(i)));
        QJsonArray usage;
        for (qsizetype i = 0; i < s.content.usage.size(); ++i)
            usage.append(this->usage(s.content.usage[i], u"content.usage[%1]"_s.arg(i)));

        QJsonObject content;
        content.insert(u"agents"_s, agents);
        content.insert(u"usage"_s, usage);

        QJsonObject root;
        root.insert(u"version"_s, QJsonValue(s.version));
        root.insert(u"capturedAt"_s, timestamp(s.capturedAt, u"capturedAt"_s));
        root.insert(u"content"_s, content);
        return root;
    }

    QJsonObject agent(const SnapshotAgent& a, const QString& path)
    {
        QJsonObject o;
        o.insert(u"id"_s, a.id);
        o.insert(u"name"_s, a.name);
        o.insert(u"status"_s, toString(a.status));
        o.insert(u"sessions"_s, QJsonValue(a.sessions));
        if (a.startedAt)
            o.insert(u"startedAt"_s, timestamp(*a.startedAt, path + u".startedAt"_s));
        o.insert(u"models"_s, QJsonArray::fromStringList(a.models));
        if (a.openSessions) {
            QJsonArray rows;
            for (qsizetype i = 0; i < a.openSessions->size(); ++i)
                rows.append(session(a.openSessions->at(i), path + u".openSessions[%1]"_s.arg(i)));
            o.insert(u"openSessions"_s, rows);
        }
        return o;
    }

private:
    QJsonObject session(const SnapshotAgentSession& s, const QString& path)
    {
        QJsonObject o;
        o.insert(u"id"_s, s.id);
        o.insert(u"title"_s, s.title);
        o.insert(u"state"_s, toString(s.state));
        if (s.since)
            o.insert(u"since"_s, timestamp(*s.since, path + u".since"_s));
        return o;
    }

    QJsonObject usage(const SnapshotUsage& u, const QString& path)
    {
        QJsonObject values;
        QString kindName;
        const QString kindPath = path + u".kind"_s;
        if (const auto* p = std::get_if<SnapshotUsage::Percent>(&u.kind)) {
            kindName = u"percent"_s;
            values.insert(u"fraction"_s, number(p->fraction, kindPath + u".percent.fraction"_s));
            values.insert(u"window"_s, p->window);
        } else if (const auto* t = std::get_if<SnapshotUsage::Tokens>(&u.kind)) {
            kindName = u"tokens"_s;
            values.insert(u"count"_s, number(t->count, kindPath + u".tokens.count"_s));
            values.insert(u"cost"_s, number(t->cost, kindPath + u".tokens.cost"_s));
            values.insert(u"window"_s, t->window);
        } else {
            kindName = u"unavailable"_s;
            values.insert(u"caption"_s, std::get<SnapshotUsage::Unavailable>(u.kind).caption);
        }
        QJsonObject kind;
        kind.insert(kindName, values);

        QJsonObject o;
        o.insert(u"id"_s, u.id);
        o.insert(u"name"_s, u.name);
        o.insert(u"palette"_s, toString(u.palette));
        o.insert(u"kind"_s, kind);
        if (u.secondaryText)
            o.insert(u"secondaryText"_s, *u.secondaryText);
        if (u.resetsAt)
            o.insert(u"resetsAt"_s, timestamp(*u.resetsAt, path + u".resetsAt"_s));
        return o;
    }

    QJsonValue number(double value, const QString& path)
    {
        if (!std::isfinite(value))
            fail(u"%1 is not a finite number"_s.arg(path));
        return QJsonValue(value);
    }

    QJsonValue timestamp(Timestamp time, const QString& path)
    {
        const auto text = SnapshotJson::formatTimestamp(time);
        if (!text) {
            fail(u"%1 is not a time between the years 1 and 9999"_s.arg(path));
            return QJsonValue(QString());
        }
        return QJsonValue(*text);
    }

    void fail(const QString& message)
    {
        if (m_error.isEmpty())
            m_error = message;
    }

    QString m_error;
};

// ---- decoding ------------------------------------------------------------

// Reads the JSON tree into records, stopping at the first fault. Each reader
// returns no value after recording a description that names the path.
class Decoder {
public:
    [[nodiscard]] const QString& error() const { return m_error; }

    std::optional<DeckSnapshot> snapshot(const QJsonObject& root)
    {
        DeckSnapshot s;
        const auto version = integer(root, u"version"_s, {});
        const auto capturedAt = timestamp(root, u"capturedAt"_s, {});
        const auto content = object(root, u"content"_s, {});
        if (!version || !capturedAt || !content)
            return std::nullopt;
        s.version = *version;
        s.capturedAt = *capturedAt;

        const auto agents = array(*content, u"agents"_s, u"content"_s);
        const auto usage = array(*content, u"usage"_s, u"content"_s);
        if (!agents || !usage)
            return std::nullopt;
        for (qsizetype i = 0; i < agents->size(); ++i) {
            const QString path = u"content.agents[%1]"_s.arg(i);
            const auto o = element(agents->at(i), path);
            const auto a = o ? agent(*o, path) : std::nullopt;
            if (!a)
                return std::nullopt;
            s.content.agents.append(*a);
        }
        for (qsizetype i = 0; i < usage->size(); ++i) {
            const QString path = u"content.usage[%1]"_s.arg(i);
            const auto o = element(usage->at(i), path);
            const auto u = o ? tile(*o, path) : std::nullopt;
            if (!u)
                return std::nullopt;
            s.content.usage.append(*u);
        }
        return s;
    }

    bool fail(const QString& message)
    {
        if (m_error.isEmpty())
            m_error = message;
        return false;
    }

private:
    static QString at(const QString& path, const QString& key)
    {
        return path.isEmpty() ? key : path + u'.' + key;
    }

    bool missing(const QString& path, const QString& key)
    {
        return fail(u"missing member \"%1\"%2"_s.arg(key, path.isEmpty() ? QString() : u" in "_s + path));
    }

    bool wrongType(const QString& path, const QString& expected)
    {
        return fail(u"%1 is not %2"_s.arg(path, expected));
    }

    // A present member, or a recorded "missing" fault.
    std::optional<QJsonValue> required(const QJsonObject& o, const QString& key, const QString& path)
    {
        const auto it = o.constFind(key);
        if (it == o.constEnd()) {
            missing(path, key);
            return std::nullopt;
        }
        return it.value();
    }

    std::optional<QString> string(const QJsonObject& o, const QString& key, const QString& path)
    {
        const auto v = required(o, key, path);
        if (!v)
            return std::nullopt;
        if (!v->isString()) {
            wrongType(at(path, key), u"a string"_s);
            return std::nullopt;
        }
        return v->toString();
    }

    std::optional<qint64> integer(const QJsonObject& o, const QString& key, const QString& path)
    {
        const auto v = required(o, key, path);
        if (!v)
            return std::nullopt;
        // toInteger gives its default for non-numbers, fractions and values
        // outside 64 bits, so two different defaults expose every such case.
        const qint64 a = v->toInteger(0);
        if (!v->isDouble() || a != v->toInteger(1)) {
            wrongType(at(path, key), u"an integer"_s);
            return std::nullopt;
        }
        return a;
    }

    std::optional<double> number(const QJsonObject& o, const QString& key, const QString& path)
    {
        const auto v = required(o, key, path);
        if (!v)
            return std::nullopt;
        if (!v->isDouble()) {
            wrongType(at(path, key), u"a number"_s);
            return std::nullopt;
        }
        return v->toDouble();
    }

    std::optional<QJsonObject> object(const QJsonObject& o, const QString& key, const QString& path)
    {
        const auto v = required(o, key, path);
        if (!v)
            return std::nullopt;
        return element(*v, at(path, key));
    }

    std::optional<QJsonObject> element(const QJsonValue& v, const QString& path)
    {
        if (!v.isObject()) {
            wrongType(path, u"an object"_s);
            return std::nullopt;
        }
        return v.toObject();
    }

    std::optional<QJsonArray> array(const QJsonObject& o, const QString& key, const QString& path)
    {
        const auto v = required(o, key, path);
        if (!v)
            return std::nullopt;
        if (!v->isArray()) {
            wrongType(at(path, key), u"an array"_s);
            return std::nullopt;
        }
        return v->toArray();
    }

    std::optional<Timestamp> timestamp(const QJsonObject& o, const QString& key, const QString& path)
    {
        const auto text = string(o, key, path);
        if (!text)
            return std::nullopt;
        const auto time = SnapshotJson::parseTimestamp(*text);
        if (!time)
            fail(u"%1 is not a time of the form yyyy-MM-ddTHH:mm:ssZ: \"%2\""_s.arg(at(path, key), text->left(40)));
        return time;
    }

    // Absent stays absent; present must be valid. Returns false on a fault.
    bool optionalTimestamp(const QJsonObject& o, const QString& key, const QString& path,
                           std::optional<Timestamp>& out)
    {
        if (!o.contains(key))
            return true;
        out = timestamp(o, key, path);
        return out.has_value();
    }

    template <typename Enum>
    std::optional<Enum> enumeration(const QJsonObject& o, const QString& key, const QString& path,
                                    std::optional<Enum> (*fromString)(QStringView))
    {
        const auto text = string(o, key, path);
        if (!text)
            return std::nullopt;
        const auto value = fromString(*text);
        if (!value)
            fail(u"%1 has the unknown value \"%2\""_s.arg(at(path, key), text->left(40)));
        return value;
    }

    std::optional<SnapshotAgent> agent(const QJsonObject& o, const QString& path)
    {
        SnapshotAgent a;
        const auto id = string(o, u"id"_s, path);
        const auto name = id ? string(o, u"name"_s, path) : std::nullopt;
        const auto status = name ? enumeration(o, u"status"_s, path, &snapshotAgentStatusFromString) : std::nullopt;
        const auto sessions = status ? integer(o, u"sessions"_s, path) : std::nullopt;
        const auto models = sessions ? array(o, u"models"_s, path) : std::nullopt;
        if (!models || !optionalTimestamp(o, u"startedAt"_s, path, a.startedAt))
            return std::nullopt;
        a.id = *id;
        a.name = *name;
        a.status = *status;
        a.sessions = *sessions;
        for (qsizetype i = 0; i < models->size(); ++i) {
            if (!models->at(i).isString()) {
                wrongType(u"%1.models[%2]"_s.arg(path).arg(i), u"a string"_s);
                return std::nullopt;
            }
            a.models.append(models->at(i).toString());
        }
        if (o.contains(u"openSessions"_s)) {
            const auto rows = array(o, u"openSessions"_s, path);
            if (!rows)
                return std::nullopt;
            QList<SnapshotAgentSession> sessionsList;
            for (qsizetype i = 0; i < rows->size(); ++i) {
                const QString rowPath = u"%1.openSessions[%2]"_s.arg(path).arg(i);
                const auto row = element(rows->at(i), rowPath);
                const auto s = row ? session(*row, rowPath) : std::nullopt;
                if (!s)
                    return std::nullopt;
                sessionsList.append(*s);
            }
            a.openSessions = sessionsList;
        }
        return a;
    }

    std::optional<SnapshotAgentSession> session(const QJsonObject& o, const QString& path)
    {
        SnapshotAgentSession s;
        const auto id = string(o, u"id"_s, path);
        const auto title = id ? string(o, u"title"_s, path) : std::nullopt;
        const auto state = title ? enumeration(o, u"state"_s, path, &snapshotSessionStateFromString) : std::nullopt;
        if (!state || !optionalTimestamp(o, u"since"_s, path, s.since))
            return std::nullopt;
        s.id = *id;
        s.title = *title;
        s.state = *state;
        return s;
    }

    std::optional<SnapshotUsage> tile(const QJsonObject& o, const QString& path)
    {
        SnapshotUsage u;
        const auto id = string(o, u"id"_s, path);
        const auto name = id ? string(o, u"name"_s, path) : std::nullopt;
        const auto palette = name ? enumeration(o, u"palette"_s, path, &snapshotPaletteFromString) : std::nullopt;
        const auto kindObject = palette ? object(o, u"kind"_s, path) : std::nullopt;
        const auto kind = kindObject ? this->kind(*kindObject, at(path, u"kind"_s)) : std::nullopt;
        if (!kind || !optionalTimestamp(o, u"resetsAt"_s, path, u.resetsAt))
            return std::nullopt;
        if (o.contains(u"secondaryText"_s)) {
            u.secondaryText = string(o, u"secondaryText"_s, path);
            if (!u.secondaryText)
                return std::nullopt;
        }
        u.id = *id;
        u.name = *name;
        u.palette = *palette;
        u.kind = *kind;
        return u;
    }

    std::optional<SnapshotUsage::Kind> kind(const QJsonObject& o, const QString& path)
    {
        if (o.size() != 1) {
            fail(u"%1 must have exactly one member, has %2"_s.arg(path).arg(o.size()));
            return std::nullopt;
        }
        const QString caseName = o.constBegin().key();
        const auto values = element(o.constBegin().value(), at(path, caseName));
        if (!values)
            return std::nullopt;
        const QString valuesPath = at(path, caseName);
        if (caseName == u"percent") {
            const auto fraction = number(*values, u"fraction"_s, valuesPath);
            const auto window = fraction ? string(*values, u"window"_s, valuesPath) : std::nullopt;
            if (!window)
                return std::nullopt;
            return SnapshotUsage::Percent{*fraction, *window};
        }
        if (caseName == u"tokens") {
            const auto count = number(*values, u"count"_s, valuesPath);
            const auto cost = count ? number(*values, u"cost"_s, valuesPath) : std::nullopt;
            const auto window = cost ? string(*values, u"window"_s, valuesPath) : std::nullopt;
            if (!window)
                return std::nullopt;
            return SnapshotUsage::Tokens{*count, *cost, *window};
        }
        if (caseName == u"unavailable") {
            const auto caption = string(*values, u"caption"_s, valuesPath);
            if (!caption)
                return std::nullopt;
            return SnapshotUsage::Unavailable{*caption};
        }
        fail(u"%1 has the unknown case \"%2\""_s.arg(path, caseName.left(40)));
        return std::nullopt;
    }

    QString m_error;
};


} // namespace

std::optional<QString> SnapshotJson::formatTimestamp(Timestamp time)
{
    const double whole = std::floor(time.seconds());
    if (!std::isfinite(whole) || whole < kFirstSecond || whole >= kPastLastSecond)
        return std::nullopt;
    const QDateTime dt = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(whole), Qt::UTC);
    const QDate d = dt.date();
    const QTime t = dt.time();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02dZ", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second());
}

std::optional<Timestamp> SnapshotJson::parseTimestamp(QStringView text)
{
    // Exactly yyyy-MM-ddTHH:mm:ssZ: no fraction, no offset, years 1 to 9999.
    if (text.size() != 20 || text[19] != u'Z')
        return std::nullopt;
    const auto time = parseInternetDateTime(text);
    if (!time || time->seconds() < kFirstSecond || time->seconds() >= kPastLastSecond)
        return std::nullopt;
    return time;
}

SnapshotEncoding SnapshotJson::encode(const DeckSnapshot& snapshot)
{
    Encoder encoder;
    const QJsonObject root = encoder.snapshot(snapshot);
    if (!encoder.error().isEmpty())
        return {std::nullopt, encoder.error()};
    return {QJsonDocument(root).toJson(QJsonDocument::Compact), QString()};
}

std::optional<QJsonArray> SnapshotJson::encodeAgents(const QList<SnapshotAgent>& agents)
{
    Encoder encoder;
    QJsonArray array;
    for (qsizetype i = 0; i < agents.size(); ++i)
        array.append(encoder.agent(agents[i], u"agents[%1]"_s.arg(i)));
    if (!encoder.error().isEmpty())
        return std::nullopt;
    return array;
}

SnapshotDecoding SnapshotJson::decode(QByteArrayView utf8)
{
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(utf8.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return {std::nullopt, u"malformed JSON at offset %1: %2"_s.arg(parseError.offset).arg(parseError.errorString()),
                std::nullopt};
    if (!doc.isObject())
        return {std::nullopt, u"the document is not a JSON object"_s, std::nullopt};

    const QJsonObject root = doc.object();
    SnapshotDecoding result;
    const QJsonValue version = root.value(u"version"_s);
    if (version.isDouble() && version.toInteger(0) == version.toInteger(1))
        result.version = version.toInteger();

    Decoder decoder;
    result.snapshot = decoder.snapshot(root);
    if (!result.snapshot)
        result.error = decoder.error();
    return result;
}

} // namespace vexlor
