// Building a snapshot from the deck model's agent and usage tiles.

#include "deck/Agent.h"
#include "deck/ProviderUsage.h"
#include "sync/DeckSnapshot.h"
#include "sync/SnapshotJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <cmath>
#include <limits>

using namespace vexlor;
using namespace Qt::StringLiterals;

namespace {

constexpr double kT0 = 1740837909.0;

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

Agent agent(const QString& id, AgentStatus status, int sessions = 0)
{
    Agent a;
    a.id = id;
    a.name = id.toUpper();
    a.status = status;
    a.sessions = sessions;
    return a;
}

} // namespace

class SnapshotBuilderTest : public QObject {
    Q_OBJECT

private slots:
    void carriesAgentsAndUsageInOrder()
    {
        Agent claude = agent(u"claude"_s, AgentStatus::needsYou, 3);
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
            {claude, agent(u"codex"_s, AgentStatus::offline), agent(u"kimi"_s, AgentStatus::working, 1)}, tiles,
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
        Agent codex = agent(u"codex"_s, AgentStatus::working);
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

QTEST_GUILESS_MAIN(SnapshotBuilderTest)
#include "snapshot_builder_test.moc"
