// The deck snapshot's JSON form: the exact members written, round trips,
// timestamps, palettes and every way decoding can fail.
// Building a snapshot from the deck model's agent and usage tiles.

#include "sync/SnapshotJson.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <cmath>
#include <functional>
#include "deck/Agent.h"
#include "deck/ProviderUsage.h"
#include "sync/DeckSnapshot.h"
#include <limits>

using namespace vexlor;
using namespace vexlor::test;
using namespace Qt::StringLiterals;

namespace {

// 2025-03-01T14:05:09Z
constexpr double kT0 = 1740837909.0;

DeckSnapshot sampleSnapshot()
{
    DeckSnapshot s;
    s.capturedAt = Timestamp::fromSeconds(kT0 + 0.7);

    SnapshotAgent claude;
    claude.id = u"claude"_s;
    claude.name = u"CLAUDE"_s;
    claude.status = SnapshotAgentStatus::needsYou;
    claude.sessions = 2;
    claude.startedAt = Timestamp::fromSeconds(kT0 - 60);
    claude.models = {u"opus"_s, u"sonnet"_s};
    claude.openSessions = QList<SnapshotAgentSession>{
        {u"claude:abc"_s, u"Fix the build ✓"_s, SnapshotAgentSession::State::attention, Timestamp::fromSeconds(kT0 - 5)},
        {u"claude:def"_s, u"Refactor"_s, SnapshotAgentSession::State::working, std::nullopt},
    };

    SnapshotAgent codex;
    codex.id = u"codex"_s;
    codex.name = u"CODEX"_s;
    codex.status = SnapshotAgentStatus::idle;
    codex.openSessions = QList<SnapshotAgentSession>{};

    SnapshotUsage percent;
    percent.id = u"claude-usage"_s;
    percent.name = u"CLAUDE"_s;
    percent.palette = SnapshotPalette::claude;
    percent.kind = SnapshotUsage::Percent{0.425, u"5h"_s};
    percent.secondaryText = u"7d 12%"_s;
    percent.resetsAt = Timestamp::fromSeconds(kT0 + 3600);

    SnapshotUsage tokens;
    tokens.id = u"claude-spend"_s;
    tokens.name = u"CLAUDE"_s;
    tokens.palette = SnapshotPalette::claude;
    tokens.kind = SnapshotUsage::Tokens{1234567, 12.5, u"24h"_s};

    SnapshotUsage unavailable;
    unavailable.id = u"kimi-usage"_s;
    unavailable.name = u"KIMI"_s;
    unavailable.palette = SnapshotPalette::neutral;
    unavailable.kind = SnapshotUsage::Unavailable{u"not installed"_s};

    s.content.agents = {claude, codex};
    s.content.usage = {percent, tokens, unavailable};
    return s;
}

QJsonObject parse(const QByteArray& bytes)
{
    QJsonParseError error{};
    const auto doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        qWarning("not a JSON object: %s", bytes.constData());
    return doc.object();
}

QByteArray encoded(const DeckSnapshot& s)
{
    const auto e = SnapshotJson::encode(s);
    if (!e.bytes)
        qWarning("encode failed: %s", qPrintable(e.error));
    return e.bytes.value_or(QByteArray());
}

// The sample's JSON with one edit applied to its object tree.
QByteArray sampleWith(const std::function<void(QJsonObject&)>& edit)
{
    QJsonObject root = parse(encoded(sampleSnapshot()));
    edit(root);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

// Applies `f` to the object at root.content.<list>[index].
std::function<void(QJsonObject&)> inItem(const QString& list, int index, std::function<void(QJsonObject&)> f)
{
    return [=](QJsonObject& root) {
        QJsonObject content = root[u"content"_s].toObject();
        QJsonArray items = content[list].toArray();
        QJsonObject item = items[index].toObject();
        f(item);
        items[index] = item;
        content[list] = items;
        root[u"content"_s] = content;
    };
}

Timestamp at(double seconds)
{
    return Timestamp::fromSeconds(seconds);
}

ProviderUsage tile(const QString& id, ProviderUsage::Kind kind, std::optional<double> resetsAt = std::nullopt)
{
    ProviderUsage u;
    u.id = id;
    u.name = id.section(u'-', 0, 0).toUpper();
    u.kind = std::move(kind);
    if (resetsAt)
        u.resetsAt = at(*resetsAt);
    return u;
}

} // namespace

class SnapshotJsonTest : public QObject {
    Q_OBJECT

private slots:
    void writesExactMembers()
    {
        const QByteArray bytes = encoded(sampleSnapshot());
        QVERIFY(!bytes.contains('\n'));
        QVERIFY(!bytes.contains("null"));

        const QByteArray expected = R"({
          "version": 1,
          "capturedAt": "2025-03-01T14:05:09Z",
          "content": {
            "agents": [
              {"id": "claude", "name": "CLAUDE", "status": "needsYou", "sessions": 2,
               "startedAt": "2025-03-01T14:04:09Z", "models": ["opus", "sonnet"],
               "openSessions": [
                 {"id": "claude:abc", "title": "Fix the build ✓", "state": "attention", "since": "2025-03-01T14:05:04Z"},
                 {"id": "claude:def", "title": "Refactor", "state": "working"}
               ]},
              {"id": "codex", "name": "CODEX", "status": "idle", "sessions": 0, "models": [], "openSessions": []}
            ],
            "usage": [
              {"id": "claude-usage", "name": "CLAUDE", "palette": "claude",
               "kind": {"percent": {"fraction": 0.425, "window": "5h"}},
               "secondaryText": "7d 12%", "resetsAt": "2025-03-01T15:05:09Z"},
              {"id": "claude-spend", "name": "CLAUDE", "palette": "claude",
               "kind": {"tokens": {"count": 1234567, "cost": 12.5, "window": "24h"}}},
              {"id": "kimi-usage", "name": "KIMI", "palette": "neutral",
               "kind": {"unavailable": {"caption": "not installed"}}}
            ]
          }
        })";
        QCOMPARE(parse(bytes), parse(expected));
        // Integers stay integers in the text.
        QVERIFY(bytes.contains("\"version\":1,") || bytes.contains("\"version\":1}"));
        QVERIFY(bytes.contains("\"sessions\":2"));
    }

    void roundTrips()
    {
        DeckSnapshot s = sampleSnapshot();
        s.capturedAt = Timestamp::fromSeconds(kT0); // whole seconds survive exactly
        const auto decoded = SnapshotJson::decode(encoded(s));
        QVERIFY2(decoded.snapshot, qPrintable(decoded.error));
        QCOMPARE(decoded.version, std::optional<qint64>(1));
        QVERIFY(*decoded.snapshot == s);
    }

    void contentEqualityIgnoresCaptureTime()
    {
        DeckSnapshot a = sampleSnapshot();
        DeckSnapshot b = sampleSnapshot();
        b.capturedAt = a.capturedAt + 30;
        QVERIFY(a.content == b.content);
        QVERIFY(!(a == b));
        b.content.agents[0].openSessions->removeLast();
        QVERIFY(!(a.content == b.content));
    }

    void timestampForms_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("fraction dropped") << kT0 + 0.7 << u"2025-03-01T14:05:09Z"_s;
        QTest::newRow("epoch") << 0.0 << u"1970-01-01T00:00:00Z"_s;
        QTest::newRow("before the epoch") << -0.5 << u"1969-12-31T23:59:59Z"_s;
        QTest::newRow("leap day") << 951782400.0 << u"2000-02-29T00:00:00Z"_s;
        QTest::newRow("distant past") << Timestamp::distantPast().seconds() << u"0001-01-01T00:00:00Z"_s;
    }
    void timestampForms()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(SnapshotJson::formatTimestamp(Timestamp::fromSeconds(seconds)), std::optional<QString>(text));
        QCOMPARE(SnapshotJson::parseTimestamp(text), std::optional<Timestamp>(Timestamp::fromSeconds(std::floor(seconds))));
    }

    void refusesOtherTimestampForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("fraction") << u"2025-03-01T14:05:09.5Z"_s;
        QTest::newRow("offset") << u"2025-03-01T14:05:09+00:00"_s;
        QTest::newRow("no zone") << u"2025-03-01T14:05:09"_s;
        QTest::newRow("month 13") << u"2025-13-01T14:05:09Z"_s;
        QTest::newRow("february 30") << u"2025-02-30T14:05:09Z"_s;
        QTest::newRow("empty") << QString();
    }
    void refusesOtherTimestampForms()
    {
        QFETCH(QString, text);
        QCOMPARE(SnapshotJson::parseTimestamp(text), std::nullopt);
    }

    void failsToEncodeUnrepresentableValues_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("NaN fraction") << 0;
        QTest::newRow("infinite cost") << 1;
        QTest::newRow("capture time past year 9999") << 2;
        QTest::newRow("NaN reset time") << 3;
    }
    void failsToEncodeUnrepresentableValues()
    {
        QFETCH(int, which);
        DeckSnapshot s = sampleSnapshot();
        switch (which) {
        case 0: s.content.usage[0].kind = SnapshotUsage::Percent{std::nan(""), u"5h"_s}; break;
        case 1: s.content.usage[1].kind = SnapshotUsage::Tokens{1, INFINITY, u"24h"_s}; break;
        case 2: s.capturedAt = Timestamp::fromSeconds(1e12); break;
        case 3: s.content.usage[0].resetsAt = Timestamp::fromSeconds(std::nan("")); break;
        }
        const auto e = SnapshotJson::encode(s);
        QVERIFY(!e.bytes);
        QVERIFY(!e.error.isEmpty());
    }

    void paletteFromIdAndKind_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("unavailable");
        QTest::addColumn<SnapshotPalette>("palette");
        QTest::newRow("claude-usage") << u"claude-usage"_s << false << SnapshotPalette::claude;
        QTest::newRow("codex-session") << u"codex-session"_s << false << SnapshotPalette::codex;
        QTest::newRow("other prefix") << u"gemini-usage"_s << false << SnapshotPalette::opencode;
        QTest::newRow("no dash") << u"codex"_s << false << SnapshotPalette::codex;
        QTest::newRow("prefix is not enough") << u"claudex-usage"_s << false << SnapshotPalette::opencode;
        QTest::newRow("unavailable claude") << u"claude-usage"_s << true << SnapshotPalette::neutral;
    }
    void paletteFromIdAndKind()
    {
        QFETCH(QString, id);
        QFETCH(bool, unavailable);
        QFETCH(SnapshotPalette, palette);
        const SnapshotUsage::Kind kind = unavailable ? SnapshotUsage::Kind(SnapshotUsage::Unavailable{u"loading"_s})
                                                     : SnapshotUsage::Kind(SnapshotUsage::Tokens{1, 0, u"7d"_s});
        QCOMPARE(toString(SnapshotUsage::paletteFor(id, kind)), toString(palette));
    }

    void decodesOlderAndLenientShapes()
    {
        // No openSessions (an older writer), unknown extra members, integral
        // doubles for integers, any lower version.
        const QByteArray bytes = sampleWith([](QJsonObject& root) {
            root[u"version"_s] = 0;
            root[u"extra"_s] = u"ignored"_s;
            inItem(u"agents"_s, 0, [](QJsonObject& a) {
                a.remove(u"openSessions"_s);
                a[u"sessions"_s] = 2.0;
            })(root);
        });
        const auto d = SnapshotJson::decode(bytes);
        QVERIFY2(d.snapshot, qPrintable(d.error));
        QCOMPARE(d.snapshot->version, qint64(0));
        QCOMPARE(d.snapshot->content.agents[0].openSessions, std::nullopt);
        QCOMPARE(d.snapshot->content.agents[0].sessions, qint64(2));
        QCOMPARE(d.snapshot->content.agents[1].openSessions, std::optional(QList<SnapshotAgentSession>{}));
        QCOMPARE(d.snapshot->content.agents[1].startedAt, std::nullopt);
    }

    void decodesNewerVersionsForTheReaderToRefuse()
    {
        const auto full = SnapshotJson::decode(sampleWith([](QJsonObject& root) { root[u"version"_s] = 2; }));
        QVERIFY(full.snapshot);
        QCOMPARE(full.snapshot->version, qint64(2));

        // A newer writer that changed the shape still reveals its version.
        const auto changed = SnapshotJson::decode(R"({"version": 7, "deck": []})");
        QVERIFY(!changed.snapshot);
        QCOMPARE(changed.version, std::optional<qint64>(7));
    }

    void decodeErrors_data()
    {
        using Edit = std::function<void(QJsonObject&)>;
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("mentions");

        auto row = [](const char* name, const QByteArray& bytes, const QString& mentions) {
            QTest::newRow(name) << bytes << mentions;
        };
        auto edit = [&](const char* name, const Edit& e, const QString& mentions) {
            row(name, sampleWith(e), mentions);
        };
        auto remove = [](const QString& key) { return [key](QJsonObject& o) { o.remove(key); }; };
        auto set = [](const QString& key, QJsonValue v) { return [key, v](QJsonObject& o) { o[key] = v; }; };

        row("malformed", "{\"version\": 1,", u"malformed"_s);
        row("top-level array", "[1, 2]", u"not a JSON object"_s);
        edit("missing version", remove(u"version"_s), u"\"version\""_s);
        edit("version fraction", set(u"version"_s, 1.5), u"version is not an integer"_s);
        edit("capturedAt number", set(u"capturedAt"_s, kT0), u"capturedAt is not a string"_s);
        edit("content array", set(u"content"_s, QJsonArray()), u"content is not an object"_s);
        edit("agent not object", [](QJsonObject& r) {
            QJsonObject c = r[u"content"_s].toObject();
            c[u"agents"_s] = QJsonArray{1};
            r[u"content"_s] = c;
        }, u"content.agents[0] is not an object"_s);
        edit("agent status unknown", inItem(u"agents"_s, 0, set(u"status"_s, u"busy"_s)), u"\"busy\""_s);
        edit("agent model not string", inItem(u"agents"_s, 0, set(u"models"_s, QJsonArray{u"a"_s, 1})),
             u"content.agents[0].models[1]"_s);
        edit("agent startedAt bad", inItem(u"agents"_s, 0, set(u"startedAt"_s, u"yesterday"_s)), u"startedAt"_s);
        edit("session state unknown", inItem(u"agents"_s, 0, [](QJsonObject& a) {
            QJsonArray rows = a[u"openSessions"_s].toArray();
            QJsonObject row = rows[1].toObject();
            row[u"state"_s] = u"needsYou"_s;
            rows[1] = row;
            a[u"openSessions"_s] = rows;
        }), u"content.agents[0].openSessions[1].state"_s);
        edit("usage kind empty", inItem(u"usage"_s, 0, set(u"kind"_s, QJsonObject())), u"exactly one member, has 0"_s);
        edit("usage kind two cases", inItem(u"usage"_s, 0, set(u"kind"_s, QJsonObject{
            {u"percent"_s, QJsonObject{{u"fraction"_s, 0.1}, {u"window"_s, u"5h"_s}}},
            {u"unavailable"_s, QJsonObject{{u"caption"_s, u"x"_s}}}})), u"exactly one member, has 2"_s);
        edit("percent fraction string", inItem(u"usage"_s, 0, set(u"kind"_s, QJsonObject{
            {u"percent"_s, QJsonObject{{u"fraction"_s, u"0.1"_s}, {u"window"_s, u"5h"_s}}}})), u"fraction"_s);
        edit("tokens without cost", inItem(u"usage"_s, 1, set(u"kind"_s, QJsonObject{
            {u"tokens"_s, QJsonObject{{u"count"_s, 1}, {u"window"_s, u"5h"_s}}}})), u"\"cost\""_s);
    }
    void decodeErrors()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, mentions);
        const auto d = SnapshotJson::decode(bytes);
        QVERIFY(!d.snapshot);
        QVERIFY2(d.error.contains(mentions), qPrintable(d.error));
    }

    void carriesAgentsAndUsageInOrder()
    {
        Agent claude = deckAgent(u"claude"_s, AgentStatus::needsYou, 3);
        claude.startedAt = at(kT0 - 90);
        claude.models = {u"opus"_s, u"haiku"_s};
        claude.openSessions = {
            {u"claude:a"_s, u"Fix tests"_s, AgentSession::State::attention, at(kT0 - 4)},
            {u"claude:b"_s, u"Docs"_s, AgentSession::State::working, std::nullopt},
            {u"claude:c"_s, u"Idle one"_s, AgentSession::State::idle, at(kT0 - 400)},
        };
        ProviderUsage percent = tile(u"claude-usage"_s, ProviderUsage::Percent{0.42, u"5h"_s}, kT0 + 3600);
        percent.secondaryText = u"7d 10%"_s;
        const QList<ProviderUsage> tiles{
            percent,
            tile(u"claude-spend"_s, ProviderUsage::Tokens{1234567, 12.5, u"24h"_s}),
            tile(u"gemini-usage"_s, ProviderUsage::Percent{0, u"5h"_s}),
            ProviderUsage::captionTile(u"codex-usage"_s, u"CODEX"_s, u"online off"_s),
        };
        const DeckSnapshot s = DeckSnapshot::from(
            {claude, deckAgent(u"codex"_s, AgentStatus::offline), deckAgent(u"kimi"_s, AgentStatus::working, 1)}, tiles,
            at(kT0 + 0.4));
        QCOMPARE(s.version, qint64(1));
        QCOMPARE(s.capturedAt, at(kT0 + 0.4));

        SnapshotAgent expected{u"claude"_s, u"CLAUDE"_s, SnapshotAgentStatus::needsYou, 3, at(kT0 - 90),
                               claude.models,
                               QList<SnapshotAgentSession>{
                                   {u"claude:a"_s, u"Fix tests"_s, SnapshotAgentSession::State::attention, at(kT0 - 4)},
                                   {u"claude:b"_s, u"Docs"_s, SnapshotAgentSession::State::working, std::nullopt},
                                   {u"claude:c"_s, u"Idle one"_s, SnapshotAgentSession::State::idle, at(kT0 - 400)}}};
        QVERIFY(s.content.agents.value(0) == expected);
        QStringList statuses;
        for (const auto& a : s.content.agents)
            statuses.append(toString(a.status));
        QCOMPARE(statuses, (QStringList{u"needsYou"_s, u"offline"_s, u"working"_s}));

        // The palette comes from the id and kind (the rule itself is covered
        // by the JSON test); figures, texts and resets are copied.
        QCOMPARE(s.content.usage.size(), 4);
        QVERIFY((s.content.usage[0] == SnapshotUsage{u"claude-usage"_s, u"CLAUDE"_s, SnapshotPalette::claude,
                                                     SnapshotUsage::Percent{0.42, u"5h"_s}, u"7d 10%"_s,
                                                     at(kT0 + 3600)}));
        QVERIFY((s.content.usage[1].kind == SnapshotUsage::Kind(SnapshotUsage::Tokens{1234567, 12.5, u"24h"_s})));
        QVERIFY(s.content.usage[2].palette == SnapshotPalette::opencode);
        QVERIFY((s.content.usage[3] == SnapshotUsage{u"codex-usage"_s, u"CODEX"_s, SnapshotPalette::neutral,
                                                     SnapshotUsage::Unavailable{u"online off"_s}, {}, {}}));

        // No open session: an empty list that is written, not left out; no
        // start time: no member at all.
        const auto bytes = SnapshotJson::encode(s).bytes;
        QVERIFY(bytes);
        const QJsonObject written =
            QJsonDocument::fromJson(*bytes).object()[u"content"_s].toObject()[u"agents"_s].toArray()[1].toObject();
        QCOMPARE(written[u"openSessions"_s].toArray(), QJsonArray());
        QVERIFY(!written.contains(u"startedAt"_s));
    }

    // Values taken from agent files: a reset in the year 33658 (a Codex
    // "resets_at" of 1e12), one before year 1 (a usage answer's year 0000),
    // token sums that overflowed. Each made the snapshot unencodable, so the
    // deck was never published while the value lasted.
    void valuesFromAgentFilesNeverBlockPublishing()
    {
        const double inf = std::numeric_limits<double>::infinity();
        const QList<ProviderUsage> tiles{
            tile(u"codex-usage"_s, ProviderUsage::Percent{0.4, u"5h"_s}, 1e12),
            tile(u"claude-usage"_s, ProviderUsage::Percent{0.1, u"5h"_s}, -62167219200.0),
            tile(u"claude-session"_s, ProviderUsage::Percent{0.1, u"7d"_s}, kT0 + 60),
            tile(u"kimi-usage"_s, ProviderUsage::Tokens{inf, -inf, u"24h"_s}),
            tile(u"opencode-usage"_s, ProviderUsage::Tokens{std::nan(""), 1.5, u"7d"_s}),
        };
        Agent codex = deckAgent(u"codex"_s, AgentStatus::working);
        codex.startedAt = at(1e12);
        codex.openSessions = {{u"codex:a"_s, u"a"_s, AgentSession::State::attention, at(inf)}};

        const DeckSnapshot s = DeckSnapshot::from({codex}, tiles, at(kT0));
        const SnapshotEncoding encoded = SnapshotJson::encode(s);
        QVERIFY2(encoded.bytes.has_value(), qPrintable(encoded.error));
        QCOMPARE(s.content.usage[0].resetsAt, std::nullopt);
        QCOMPARE(s.content.usage[1].resetsAt, std::nullopt);
        QCOMPARE(s.content.usage[2].resetsAt, std::optional(at(kT0 + 60)));
        const double max = std::numeric_limits<double>::max();
        QVERIFY((s.content.usage[3].kind == SnapshotUsage::Kind(SnapshotUsage::Tokens{max, -max, u"24h"_s})));
        QVERIFY((s.content.usage[4].kind == SnapshotUsage::Kind(SnapshotUsage::Tokens{0, 1.5, u"7d"_s})));
        QCOMPARE(s.content.agents[0].startedAt, std::nullopt);
        QCOMPARE(s.content.agents[0].openSessions->at(0).since, std::nullopt);
        // What was published reads back as it was built.
        const SnapshotDecoding decoded = SnapshotJson::decode(*encoded.bytes);
        QVERIFY(decoded.snapshot.has_value());
        QVERIFY(*decoded.snapshot == s);
    }
};

QTEST_GUILESS_MAIN(SnapshotJsonTest)
#include "snapshot_json_test.moc"
