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

ProviderUsage tile(const QString& id, const QString& name, ProviderUsage::Kind kind)
{
    ProviderUsage u;
    u.id = id;
    u.name = name;
    u.kind = std::move(kind);
    return u;
}

} // namespace

class SnapshotBuilderTest : public QObject {
    Q_OBJECT

private slots:
    void carriesAgentsInOrder()
    {
        Agent claude;
        claude.id = u"claude"_s;
        claude.name = u"CLAUDE"_s;
        claude.status = AgentStatus::needsYou;
        claude.sessions = 3;
        claude.startedAt = Timestamp::fromSeconds(kT0 - 90);
        claude.models = {u"opus"_s, u"haiku"_s};
        claude.openSessions = {
            {u"claude:a"_s, u"Fix tests"_s, AgentSession::State::attention, Timestamp::fromSeconds(kT0 - 4)},
            {u"claude:b"_s, u"Docs"_s, AgentSession::State::working, std::nullopt},
            {u"claude:c"_s, u"Idle one"_s, AgentSession::State::idle, Timestamp::fromSeconds(kT0 - 400)},
        };
        Agent codex;
        codex.id = u"codex"_s;
        codex.name = u"CODEX"_s;
        codex.status = AgentStatus::offline;
        Agent kimi;
        kimi.id = u"kimi"_s;
        kimi.name = u"KIMI"_s;
        kimi.status = AgentStatus::working;
        kimi.sessions = 1;
        Agent opencode;
        opencode.id = u"opencode"_s;
        opencode.name = u"OPENCODE"_s;
        opencode.status = AgentStatus::idle;

        const DeckSnapshot s = DeckSnapshot::from({claude, codex, kimi, opencode}, {}, Timestamp::fromSeconds(kT0 + 0.4));
        QCOMPARE(s.version, qint64(1));
        QCOMPARE(s.capturedAt, Timestamp::fromSeconds(kT0 + 0.4));
        QCOMPARE(s.content.agents.size(), 4);

        const SnapshotAgent& a = s.content.agents[0];
        QCOMPARE(a.id, u"claude"_s);
        QCOMPARE(a.name, u"CLAUDE"_s);
        QCOMPARE(toString(a.status), u"needsYou"_s);
        QCOMPARE(a.sessions, qint64(3));
        QCOMPARE(a.startedAt, claude.startedAt);
        QCOMPARE(a.models, claude.models);
        const QList<SnapshotAgentSession> rows{
            {u"claude:a"_s, u"Fix tests"_s, SnapshotAgentSession::State::attention, Timestamp::fromSeconds(kT0 - 4)},
            {u"claude:b"_s, u"Docs"_s, SnapshotAgentSession::State::working, std::nullopt},
            {u"claude:c"_s, u"Idle one"_s, SnapshotAgentSession::State::idle, Timestamp::fromSeconds(kT0 - 400)},
        };
        QVERIFY(a.openSessions == rows);

        QStringList statuses;
        for (const auto& agent : s.content.agents)
            statuses.append(toString(agent.status));
        QCOMPARE(statuses, (QStringList{u"needsYou"_s, u"offline"_s, u"working"_s, u"idle"_s}));

        // No open session: an empty list that is written, not left out; no
        // start time: no member at all.
        QCOMPARE(s.content.agents[1].openSessions, std::optional(QList<SnapshotAgentSession>{}));
        const auto bytes = SnapshotJson::encode(s).bytes;
        QVERIFY(bytes);
        const QJsonObject written =
            QJsonDocument::fromJson(*bytes).object()[u"content"_s].toObject()[u"agents"_s].toArray()[1].toObject();
        QCOMPARE(written[u"openSessions"_s].toArray(), QJsonArray());
        QVERIFY(!written.contains(u"startedAt"_s));
    }

    void carriesUsageWithDerivedPalettes()
    {
        ProviderUsage usage = tile(u"claude-usage"_s, u"CLAUDE"_s, ProviderUsage::Percent{0.42, u"5h"_s});
        usage.secondaryText = u"7d 10%"_s;
        usage.resetsAt = Timestamp::fromSeconds(kT0 + 3600);
        const QList<ProviderUsage> tiles{
            usage,
            tile(u"claude-session"_s, u"CLAUDE"_s, ProviderUsage::Percent{0.1, u"7d"_s}),
            tile(u"claude-spend"_s, u"CLAUDE"_s, ProviderUsage::Tokens{1234567, 12.5, u"24h"_s}),
            tile(u"codex-session"_s, u"CODEX"_s, ProviderUsage::Tokens{45600, 0, u"7d"_s}),
            tile(u"kimi-usage"_s, u"KIMI"_s, ProviderUsage::Percent{1, u"1w"_s}),
            tile(u"opencode-usage"_s, u"OPENCODE"_s, ProviderUsage::Tokens{10, 0.01, u"24h"_s}),
            tile(u"gemini-usage"_s, u"GEMINI"_s, ProviderUsage::Percent{0, u"5h"_s}),
            ProviderUsage::captionTile(u"codex-usage"_s, u"CODEX"_s, u"online off"_s),
        };
        const DeckSnapshot s = DeckSnapshot::from({}, tiles, Timestamp::fromSeconds(kT0));
        QCOMPARE(s.content.usage.size(), tiles.size());

        QStringList idsAndPalettes;
        for (const auto& u : s.content.usage)
            idsAndPalettes.append(u.id + u'=' + toString(u.palette));
        QCOMPARE(idsAndPalettes, (QStringList{u"claude-usage=claude"_s, u"claude-session=claude"_s,
                                              u"claude-spend=claude"_s, u"codex-session=codex"_s, u"kimi-usage=kimi"_s,
                                              u"opencode-usage=opencode"_s, u"gemini-usage=opencode"_s,
                                              u"codex-usage=neutral"_s}));

        const SnapshotUsage& first = s.content.usage[0];
        QCOMPARE(first.name, u"CLAUDE"_s);
        QVERIFY((first.kind == SnapshotUsage::Kind(SnapshotUsage::Percent{0.42, u"5h"_s})));
        QCOMPARE(first.secondaryText, std::optional(u"7d 10%"_s));
        QCOMPARE(first.resetsAt, std::optional(Timestamp::fromSeconds(kT0 + 3600)));
        QVERIFY((s.content.usage[2].kind == SnapshotUsage::Kind(SnapshotUsage::Tokens{1234567, 12.5, u"24h"_s})));
        QVERIFY((s.content.usage[7].kind == SnapshotUsage::Kind(SnapshotUsage::Unavailable{u"online off"_s})));
        QCOMPARE(s.content.usage[1].secondaryText, std::nullopt);
        QCOMPARE(s.content.usage[1].resetsAt, std::nullopt);
    }

    // Values taken from agent files: a reset in the year 33658 (a Codex
    // "resets_at" of 1e12), one before year 1 (a usage answer's year 0000),
    // token sums that overflowed. Each made the snapshot unencodable, so the
    // deck was never published while the value lasted.
    void valuesFromAgentFilesNeverBlockPublishing()
    {
        const double inf = std::numeric_limits<double>::infinity();
        ProviderUsage farReset = tile(u"codex-usage"_s, u"CODEX"_s, ProviderUsage::Percent{0.4, u"5h"_s});
        farReset.resetsAt = Timestamp::fromSeconds(1e12);
        ProviderUsage yearZero = tile(u"claude-usage"_s, u"CLAUDE"_s, ProviderUsage::Percent{0.1, u"5h"_s});
        yearZero.resetsAt = Timestamp::fromSeconds(-62167219200.0);
        ProviderUsage kept = tile(u"claude-session"_s, u"CLAUDE"_s, ProviderUsage::Percent{0.1, u"7d"_s});
        kept.resetsAt = Timestamp::fromSeconds(kT0 + 60);
        const QList<ProviderUsage> tiles{
            farReset, yearZero, kept,
            tile(u"kimi-usage"_s, u"KIMI"_s, ProviderUsage::Tokens{inf, -inf, u"24h"_s}),
            tile(u"opencode-usage"_s, u"OPENCODE"_s, ProviderUsage::Tokens{std::nan(""), 1.5, u"7d"_s}),
        };
        Agent agent;
        agent.id = u"codex"_s;
        agent.name = u"CODEX"_s;
        agent.status = AgentStatus::working;
        agent.startedAt = Timestamp::fromSeconds(1e12);
        agent.openSessions = {{u"codex:a"_s, u"a"_s, AgentSession::State::attention, Timestamp::fromSeconds(inf)}};

        const DeckSnapshot s = DeckSnapshot::from({agent}, tiles, Timestamp::fromSeconds(kT0));
        const SnapshotEncoding encoded = SnapshotJson::encode(s);
        QVERIFY2(encoded.bytes.has_value(), qPrintable(encoded.error));
        QCOMPARE(s.content.usage[0].resetsAt, std::nullopt);
        QCOMPARE(s.content.usage[1].resetsAt, std::nullopt);
        QCOMPARE(s.content.usage[2].resetsAt, std::optional(Timestamp::fromSeconds(kT0 + 60)));
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

    void equalTilesGiveEqualContent()
    {
        const QList<ProviderUsage> tiles{tile(u"kimi-usage"_s, u"KIMI"_s, ProviderUsage::Percent{0.3, u"5h"_s})};
        const auto a = DeckSnapshot::from({}, tiles, Timestamp::fromSeconds(kT0));
        const auto b = DeckSnapshot::from({}, tiles, Timestamp::fromSeconds(kT0 + 3));
        QVERIFY(a.content == b.content);
    }
};

QTEST_GUILESS_MAIN(SnapshotBuilderTest)
#include "snapshot_builder_test.moc"
