// The collector hub: working and attention bookkeeping, acknowledgements and
// their persistence, one pass at a time, and the polling loop.
// Report-to-deck mapping: agent status, counts, models and rows, and which
// usage windows become which tiles for each provider.

#include "TestSupport.h"
#include "hub/CollectorHub.h"
#include "deck/DeckModel.h"
#include "deck/PreferencesStore.h"
#include "sync/DeckSyncContracts.h"

#include <QCoroSignal>
#include <QDir>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include "collection/ProviderCatalog.h"
#include "hub/ReportMapping.h"

using namespace vexlor;
using namespace vexlor::test;
using namespace Qt::StringLiterals;

namespace {

// A collector whose reports the test scripts; it can hold a pass until the
// test releases it, and remembers the contexts it was given.
class ScriptedCollector : public QObject, public AgentCollector {
    Q_OBJECT
public:
    ScriptedCollector(QString id, QString name) : m_id(std::move(id)), m_name(std::move(name)) {}
    QString providerID() const override { return m_id; }
    QString displayName() const override { return m_name; }

    QCoro::Task<ProviderReport> collect(CollectorContext context) override
    {
        contexts.append(context);
        ProviderReport report = next;
        if (holdNext) {
            holdNext = false;
            co_await qCoro(this, &ScriptedCollector::released);
        }
        co_return report;
    }

    QStringList watchPaths() const override { return watch; }

    ProviderReport next;
    bool holdNext = false;
    QList<CollectorContext> contexts;
    QStringList watch;

signals:
    void released();

private:
    QString m_id, m_name;
};

class RecordingPublisher : public DeckSyncPublishing {
public:
    void publish(const DeckSnapshot& snapshot) override { published.append(snapshot); }
    QList<DeckSnapshot> published;
};

SessionSnapshot session(const QString& provider, const QString& id, SessionState state, double completion = 0)
{
    SessionSnapshot s;
    s.key = provider + u':' + id;
    s.id = id;
    s.state = state;
    s.isOpen = true;
    s.activityAt = Timestamp::fromSeconds(1000);
    if (state == SessionState::attention)
        s.completionAt = Timestamp::fromSeconds(completion);
    return s;
}

SessionSnapshot claude(const QString& id, SessionState state, double completion = 0)
{
    return session(u"claude"_s, id, state, completion);
}

ProviderReport installed(QList<SessionSnapshot> sessions)
{
    ProviderReport r;
    r.installed = true;
    r.sessions = std::move(sessions);
    return r;
}

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<PreferencesStore> prefs = std::make_unique<PreferencesStore>(dir.path() + u"/prefs.json");
    double clockSeconds = 2000000000;
    std::unique_ptr<DeckModel> model = DeckModel::placeholder(*prefs, [this] { return Timestamp::fromSeconds(clockSeconds); });
    RecordingPublisher publisher;
    ScriptedCollector* claude = nullptr;
    ScriptedCollector* codex = nullptr;
    bool online = false;
    std::unique_ptr<CollectorHub> hub;

    void makeHub()
    {
        CollectorHub::Options o;
        auto c1 = std::make_unique<ScriptedCollector>(u"claude"_s, u"CLAUDE"_s);
        auto c2 = std::make_unique<ScriptedCollector>(u"codex"_s, u"CODEX"_s);
        claude = c1.get();
        codex = c2.get();
        o.collectors.push_back(std::move(c1));
        o.collectors.push_back(std::move(c2));
        o.clock = [this] { return Timestamp::fromSeconds(clockSeconds); };
        o.allowNetwork = [this] { return online; };
        o.interval = std::chrono::milliseconds(5);
        hub = std::make_unique<CollectorHub>(model.get(), *prefs, &publisher, std::move(o));
    }

    void pass() { QVERIFY(runTask([this]() -> QCoro::Task<bool> { co_await hub->refresh(); co_return true; }())); }
};

UsageWindowSnapshot window(const QString& label, std::optional<double> percent,
                           std::optional<double> period = std::nullopt, std::optional<double> tokens = std::nullopt)
{
    UsageWindowSnapshot w;
    w.label = label;
    w.percent = percent;
    w.periodSeconds = period;
    w.tokens = tokens;
    if (percent)
        w.resetsAt = Timestamp::fromSeconds(1000 + *percent * 100);
    return w;
}

ProviderReport installed(QList<UsageWindowSnapshot> windows = {}, std::optional<QString> error = std::nullopt,
                         UsageFailure failure = UsageFailure::failed)
{
    ProviderReport r;
    r.installed = true;
    r.usage.windows = std::move(windows);
    r.usage.error = std::move(error);
    r.usage.failure = failure;
    return r;
}

SessionSnapshot session(const QString& id, SessionState state, double activity, bool open = true,
                        std::optional<QString> model = std::nullopt, std::optional<QString> title = std::nullopt)
{
    SessionSnapshot s;
    s.key = u"p:"_qs + id;
    s.id = id;
    s.state = state;
    s.isOpen = open;
    s.activityAt = Timestamp::fromSeconds(activity);
    s.model = std::move(model);
    s.title = title ? title : std::optional<QString>(id);
    return s;
}

// One line per tile: id, kind with its figures, secondary text, colours, reset.
QString describe(const ProviderUsage& u, const QString& providerID)
{
    QString line = u.id + u' ';
    if (const auto* p = std::get_if<ProviderUsage::Percent>(&u.kind))
        line += u"percent "_qs + QString::number(p->fraction) + u' ' + p->window;
    else if (const auto* t = std::get_if<ProviderUsage::Tokens>(&u.kind))
        line += u"tokens "_qs + QString::number(t->count, 'f', 0) + u' ' + QString::number(t->cost) + u' ' + t->window;
    else
        line += u"caption "_qs + u.caption();
    if (u.secondaryText)
        line += u" | "_qs + *u.secondaryText;
    const TilePalette colours{u.tint, u.tileBackground};
    if (colours == neutralPalette())
        line += u" | neutral"_qs;
    else if (colours != providerPalette(providerID))
        line += u" | WRONG COLOURS"_qs;
    if (u.resetsAt)
        line += u" | resets "_qs + QString::number(u.resetsAt->seconds());
    return line;
}

QStringList describeAll(const QString& providerID, const ProviderReport& report)
{
    QStringList out;
    for (const ProviderUsage& u : mapReport(providerID, providerID.toUpper(), report, std::nullopt).usage)
        out << describe(u, providerID);
    return out;
}

} // namespace

class CollectorHubTest : public QObject {
    Q_OBJECT

private slots:
    void workingBookkeepingRestartsAfterABreak()
    {
        Fixture f;
        f.makeHub();
        f.claude->next = installed({claude(u"a"_s, SessionState::working)});
        f.pass();
        QCOMPARE(f.hub->workingSince().value(u"claude"_s), Timestamp::fromSeconds(f.clockSeconds));
        QVERIFY(f.model->agent(u"claude"_s)->status == AgentStatus::working);
        QCOMPARE(f.model->agent(u"claude"_s)->startedAt, std::optional(Timestamp::fromSeconds(f.clockSeconds)));

        const double firstStart = f.clockSeconds;
        f.clockSeconds += 3;
        f.pass();
        QCOMPARE(f.hub->workingSince().value(u"claude"_s), Timestamp::fromSeconds(firstStart));
        // The working row counts what the agent's time counts, not the
        // session's last activity.
        QCOMPARE(f.model->agent(u"claude"_s)->openSessions.value(0).since, std::optional(Timestamp::fromSeconds(firstStart)));

        f.claude->next = installed({claude(u"a"_s, SessionState::idle)});
        f.clockSeconds += 3;
        f.pass();
        QVERIFY(!f.hub->workingSince().contains(u"claude"_s));

        f.claude->next = installed({claude(u"a"_s, SessionState::working)});
        f.clockSeconds += 3;
        f.pass();
        QCOMPARE(f.hub->workingSince().value(u"claude"_s), Timestamp::fromSeconds(f.clockSeconds));
        QCOMPARE(f.model->agent(u"claude"_s)->openSessions.value(0).since, std::optional(Timestamp::fromSeconds(f.clockSeconds)));

        // Not installed clears it even with a working session in the report.
        ProviderReport gone = f.claude->next;
        gone.installed = false;
        f.claude->next = gone;
        f.pass();
        QVERIFY(!f.hub->workingSince().contains(u"claude"_s));
    }

    void everyCollectorGetsTheSameContext()
    {
        Fixture f;
        f.makeHub();
        f.pass();
        f.online = true;
        f.pass();
        QCOMPARE(f.claude->contexts.size(), 2);
        QCOMPARE(f.codex->contexts.size(), 2);
        QCOMPARE(f.claude->contexts[0].allowNetwork, false);
        QCOMPARE(f.claude->contexts[1].allowNetwork, true);
        QCOMPARE(f.codex->contexts[1].allowNetwork, true);
        QCOMPARE(f.claude->contexts[0].attentionSince, f.hub->attentionSince());
        QCOMPARE(f.publisher.published.size(), 2);
        QCOMPARE(f.publisher.published.last().content.agents.size(), 2);
    }

    void acknowledgementStampsAttentionKeysAndRunsAPass()
    {
        Fixture f;
        f.makeHub();
        // One working and one attention session: the agent shows working, but
        // the attention session is still the one acknowledged.
        f.claude->next = installed({claude(u"w"_s, SessionState::working),
                                    claude(u"n"_s, SessionState::attention, f.clockSeconds)});
        f.pass();
        QCOMPARE(f.hub->attentionKeys().value(u"claude"_s), QStringList{u"claude:n"_s});
        QVERIFY(f.model->agent(u"claude"_s)->status == AgentStatus::working);

        f.clockSeconds += 10;
        QSignalSpy applied(f.hub.get(), &CollectorHub::passApplied);
        f.hub->acknowledge(u"claude"_s);
        QVERIFY(applied.count() == 1 || applied.wait(5000));
        QCOMPARE(f.hub->acknowledged().value(u"claude:n"_s), Timestamp::fromSeconds(f.clockSeconds));
        QCOMPARE(f.claude->contexts.last().acknowledged.value(u"claude:n"_s), Timestamp::fromSeconds(f.clockSeconds));

        // Persisted as seconds, and read back by a new hub.
        const auto stored = f.prefs->dictionary(u"CollectorAcknowledged"_s);
        QVERIFY(stored);
        QCOMPARE(stored->value(u"claude:n"_s).toDouble(), f.clockSeconds);
        PreferencesStore reread(f.prefs->path());
        CollectorHub::Options o;
        o.collectors.push_back(std::make_unique<ScriptedCollector>(u"x"_s, u"X"_s));
        RecordingPublisher p;
        CollectorHub second(nullptr, reread, &p, std::move(o));
        QCOMPARE(second.acknowledged().value(u"claude:n"_s), Timestamp::fromSeconds(f.clockSeconds));
    }

    void acknowledgingWithoutAttentionStillSavesAndPasses()
    {
        Fixture f;
        f.makeHub();
        f.pass();
        QSignalSpy applied(f.hub.get(), &CollectorHub::passApplied);
        f.hub->acknowledge(u"codex"_s);
        QVERIFY(applied.count() == 1 || applied.wait(5000));
        QVERIFY(f.hub->acknowledged().isEmpty());
        QVERIFY(f.prefs->dictionary(u"CollectorAcknowledged"_s).has_value());
    }

    void pruningDropsEntriesFourteenDaysOld()
    {
        Fixture f;
        const double now = f.clockSeconds;
        f.prefs->setDoubleDictionary(u"CollectorAcknowledged"_s,
                                     {{u"claude:old"_s, now - 1209600},
                                      {u"claude:young"_s, now - 1209599},
                                      {u"claude:ancient"_s, 1}});
        f.makeHub();
        // Loaded entries stay, however old, until the next acknowledgement.
        QCOMPARE(f.hub->acknowledged().size(), 3);
        f.hub->acknowledge(u"claude"_s);
        QCOMPARE(f.hub->acknowledged().keys(), QStringList{u"claude:young"_s});
        const auto stored = f.prefs->dictionary(u"CollectorAcknowledged"_s);
        QCOMPARE(stored->keys(), QStringList{u"claude:young"_s});
    }

    void oneBadStoredValueDiscardsTheMap()
    {
        Fixture f;
        // Written through the file, as another version of the program might.
        writeFile(f.dir.path(), u"prefs.json"_s,
                  R"({"CollectorAcknowledged":{"claude:a":1700000000,"claude:b":"1700000000"}})");
        f.prefs->reload();
        f.makeHub();
        QVERIFY(f.hub->acknowledged().isEmpty());
    }

    void passesRunOneAtATime()
    {
        Fixture f;
        f.makeHub();
        f.claude->next = installed({claude(u"n"_s, SessionState::attention, f.clockSeconds + 1)});
        f.pass();
        // A pass waits inside the Claude collector with what it read before
        // the user acknowledged: the session still in attention.
        f.claude->holdNext = true;
        auto held = f.hub->refresh();
        QVERIFY(!held.isReady());
        // Collectors run side by side: Codex is not kept waiting behind it.
        QCOMPARE(f.codex->contexts.size(), 2);

        // The acknowledgement and two more requests meanwhile start nothing
        // beside it...
        f.claude->next = installed({claude(u"n"_s, SessionState::idle)});
        f.hub->acknowledge(u"claude"_s);
        f.hub->requestPass();
        auto queued = f.hub->refresh();
        QCOMPARE(f.claude->contexts.size(), 2);

        // ...but make one pass right after it, which decides the deck.
        emit f.claude->released();
        QTRY_VERIFY(queued.isReady());
        QVERIFY(held.isReady());
        QCOMPARE(f.claude->contexts.size(), 3);
        QVERIFY(f.claude->contexts.last().acknowledged.contains(u"claude:n"_s));
        QVERIFY(f.model->agent(u"claude"_s)->status == AgentStatus::idle);
        QCOMPARE(f.publisher.published.size(), 3);
    }

    void aChangeOfANamedPathRunsAPass()
    {
        Fixture f;
        f.makeHub();
        const QString folder = f.dir.path() + u"/sessions"_s;
        const QString status = writeFile(folder, u"1.json"_s, "{}");
        f.claude->watch = {folder, status, folder + u"/never-there.json"_s};
        f.pass();
        QCOMPARE(f.hub->watchedPaths().size(), 2); // the missing path is left out

        // No loop runs: only the watch can bring these passes.
        QSignalSpy applied(f.hub.get(), &CollectorHub::passApplied);
        writeFile(folder, u"1.json"_s, "{\"status\":\"waiting\"}");
        QTRY_COMPARE_WITH_TIMEOUT(applied.count(), 1, 10000);
        writeFile(folder, u"2.json"_s, "{}");
        QTRY_COMPARE_WITH_TIMEOUT(applied.count(), 2, 10000);

        // The folder vanishes: its watches go, and come back with it.
        QVERIFY(QDir(folder).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(f.hub->watchedPaths().isEmpty(), 10000);
        writeFile(folder, u"1.json"_s, "{}");
        f.pass();
        QCOMPARE(f.hub->watchedPaths().size(), 2);
    }

    void callbackHoldsTheHubWeakly()
    {
        Fixture f;
        f.makeHub();
        f.claude->next = installed({claude(u"n"_s, SessionState::attention, f.clockSeconds + 1)});
        f.pass();
        const Agent needy = *f.model->agent(u"claude"_s);
        QVERIFY(needy.status == AgentStatus::needsYou);
        f.hub.reset();
        f.model->acknowledge(needy); // must not reach the destroyed hub
        QCOMPARE(f.prefs->dictionary(u"CollectorAcknowledged"_s), std::nullopt);
    }

    void loopPollsUntilTheHubIsGone()
    {
        Fixture f;
        f.makeHub();
        QSignalSpy applied(f.hub.get(), &CollectorHub::passApplied);
        f.hub->start();
        f.hub->start(); // a second start does nothing
        QTRY_VERIFY_WITH_TIMEOUT(applied.count() >= 3, 10000);
        QVERIFY(f.claude->contexts.size() >= 3);
        f.hub.reset();
        QTest::qWait(50); // the loop ends quietly
    }

    void usageTiles_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<ProviderReport>("report");
        QTest::addColumn<QStringList>("tiles");

        ProviderReport claude = installed({window(u"5h"_qs, 0.42), window(u"7d"_qs, 0.1)});
        QTest::newRow("claude 5h and 7d") << u"claude"_qs << claude
            << QStringList{u"claude-usage percent 0.1 7d | 5h 42% | resets 1010"_qs,
                           u"claude-session percent 0.42 5h | resets 1042"_qs};
        // The reason counts, not its (translated) text.
        QTest::newRow("claude online off") << u"claude"_qs
            << installed({}, u"Onlinezugriff deaktiviert"_qs, UsageFailure::onlineAccessDisabled)
            << QStringList{u"claude-usage caption online off | neutral"_qs};
        QTest::newRow("claude other error") << u"claude"_qs << installed({}, u"online access disabled"_qs)
                                            << QStringList{u"claude-usage caption no data | neutral"_qs};
        QTest::newRow("claude nothing yet") << u"claude"_qs << installed()
                                            << QStringList{u"claude-usage caption loading | neutral"_qs};
        QTest::newRow("claude 7d without a share, 5h with one")
            << u"claude"_qs << installed({window(u"7d"_qs, std::nullopt), window(u"5h"_qs, 0.25)})
            << QStringList{u"claude-usage caption loading | neutral"_qs, u"claude-session percent 0.25 5h | resets 1025"_qs};
        QTest::newRow("claude 7d only") << u"claude"_qs << installed({window(u"7d"_qs, 0.005)})
                                        << QStringList{u"claude-usage percent 0.005 7d | resets 1000.5"_qs};

        ProviderReport spend = installed({window(u"7d"_qs, 0.5)});
        spend.spend = SpendSnapshot{1000, 3.4, 1'500'000, 12.5, std::nullopt};
        QTest::newRow("claude spend") << u"claude"_qs << spend
            << QStringList{u"claude-usage percent 0.5 7d | resets 1050"_qs,
                           u"claude-spend tokens 1500000 12.5 7d | 24h $3.40"_qs};
        spend.spend->tokens7d = 0;

        const QStringList codexBoth{u"codex-usage percent 0.3 1w | 5h 60% | resets 1030"_qs,
                                    u"codex-session percent 0.6 5h | resets 1060"_qs};
        QTest::newRow("codex 1w then 5h") << u"codex"_qs
            << installed({window(u"1w"_qs, 0.3, 604'800), window(u"5h"_qs, 0.6, 18'000)}) << codexBoth;
        QTest::newRow("codex 5h then 1w") << u"codex"_qs
            << installed({window(u"5h"_qs, 0.6, 18'000), window(u"1w"_qs, 0.3, 604'800)}) << codexBoth;
        QTest::newRow("codex without periods") << u"codex"_qs
            << installed({window(u"a"_qs, 0.2), window(u"b"_qs, 0.3)})
            << QStringList{u"codex-usage percent 0.2 a | b 30% | resets 1020"_qs};
        QTest::newRow("codex longest without share") << u"codex"_qs
            << installed({window(u"5h"_qs, 0.6, 18'000), window(u"1w"_qs, std::nullopt, 604'800)}, u"x"_qs)
            << QStringList{u"codex-usage caption no data | neutral"_qs, u"codex-session percent 0.6 5h | resets 1060"_qs};
        QTest::newRow("codex session picks the shortest of a day at most") << u"codex"_qs
            << installed({window(u"1w"_qs, 0.3, 604'800), window(u"2d"_qs, 0.9, 172'800), window(u"1d"_qs, 0.7, 86'400),
                          window(u"zero"_qs, 0.1, 0)})
            << QStringList{u"codex-usage percent 0.3 1w | 2d 90% | resets 1030"_qs,
                           u"codex-session percent 0.7 1d | resets 1070"_qs};

        QTest::newRow("kimi tokens") << u"kimi"_qs
            << installed({window(u"24h"_qs, std::nullopt, std::nullopt, 12'345),
                          window(u"7d"_qs, std::nullopt, std::nullopt, 1'500'000)})
            << QStringList{u"kimi-usage tokens 1500000 0 7d | 24h 12.3K"_qs};
        QTest::newRow("kimi without 24h") << u"kimi"_qs
            << installed({window(u"7d"_qs, std::nullopt, std::nullopt, 2'000)})
            << QStringList{u"kimi-usage tokens 2000 0 7d"_qs};

        ProviderReport opencode = installed({window(u"7d"_qs, std::nullopt, std::nullopt, 80'000)});
        opencode.usage.costUSD = 4.5;
        QTest::newRow("opencode cost") << u"opencode"_qs << opencode
                                       << QStringList{u"opencode-usage tokens 80000 4.5 7d"_qs};

        ProviderReport gone = claude;
        gone.installed = false;
        gone.spend = SpendSnapshot{1, 1, 1, 1, std::nullopt};
        QTest::newRow("claude not installed") << u"claude"_qs << gone
                                              << QStringList{u"claude-usage caption not installed | neutral"_qs};
    }

    void usageTiles()
    {
        QFETCH(QString, provider);
        QFETCH(ProviderReport, report);
        QTEST(describeAll(provider, report), "tiles");
    }

    void agentStatus_data()
    {
        QTest::addColumn<ProviderReport>("report");
        QTest::addColumn<QString>("status");
        using S = SessionState;

        ProviderReport r = installed();
        QTest::newRow("idle without sessions") << r << u"idle"_qs;
        r.sessions = {session(u"a"_qs, S::attention, 5, false)};
        QTest::newRow("closed attention session counts") << r << u"needsYou"_qs;
        r.sessions << session(u"b"_qs, S::working, 1, false);
        QTest::newRow("working wins over attention") << r << u"working"_qs;
        r.installed = false;
        QTest::newRow("not installed wins") << r << u"offline"_qs;
    }

    void agentStatus()
    {
        QFETCH(ProviderReport, report);
        const Agent agent = mapReport(u"codex"_qs, u"CODEX"_qs, report, std::nullopt).agent;
        QTEST(toString(agent.status), "status");
        QCOMPARE(agent.id, u"codex"_qs);
        QCOMPARE(agent.name, u"CODEX"_qs);
    }

    void rowsAndCounts()
    {
        using S = SessionState;
        ProviderReport r = installed();
        // Fifteen open sessions and one closed one.
        for (int i = 0; i < 12; ++i)
            r.sessions << session(u"idle%1"_qs.arg(i), S::idle, 100 + i);
        r.sessions << session(u"work-old"_qs, S::working, 50) << session(u"work-new"_qs, S::working, 60);
        SessionSnapshot waiting = session(u"waiting"_qs, S::attention, 10);
        waiting.completionAt = Timestamp::fromSeconds(500);
        r.sessions << waiting << session(u"closed"_qs, S::attention, 900, false);
        r.sessions << session(u"idle-tie"_qs, S::idle, 111); // same time as idle11, later in the report

        const Timestamp started = Timestamp::fromSeconds(42);
        const Agent agent = mapReport(u"claude"_qs, u"CLAUDE"_qs, r, started).agent;
        QCOMPARE(agent.sessions, 16);
        QCOMPARE(agent.startedAt, std::optional(started));
        QStringList ids;
        for (const AgentSession& row : agent.openSessions)
            ids << row.id;
        QCOMPARE(ids, (QStringList{u"p:waiting"_qs, u"p:work-new"_qs, u"p:work-old"_qs, u"p:idle11"_qs,
                                   u"p:idle-tie"_qs, u"p:idle10"_qs, u"p:idle9"_qs, u"p:idle8"_qs, u"p:idle7"_qs,
                                   u"p:idle6"_qs, u"p:idle5"_qs, u"p:idle4"_qs}));
        QCOMPARE(agent.openSessions[0].since, std::optional(Timestamp::fromSeconds(500))); // the completion
        QVERIFY(agent.openSessions[0].state == AgentSession::State::attention);
        QCOMPARE(agent.openSessions[1].since, std::optional(Timestamp::fromSeconds(60)));
    }

    void models_data()
    {
        QTest::addColumn<QList<SessionSnapshot>>("sessions");
        QTest::addColumn<QStringList>("models");
        using S = SessionState;

        QTest::newRow("duplicates once, newest first")
            << QList<SessionSnapshot>{session(u"a"_qs, S::idle, 3, true, u"claude-opus-4-1-20250805"_qs),
                                      session(u"b"_qs, S::idle, 2, true, u"claude-opus-4-1-20250805"_qs),
                                      session(u"c"_qs, S::idle, 1, true, u"gpt-5"_qs)}
            << QStringList{u"opus-4-1"_qs, u"gpt-5"_qs};
        QTest::newRow("at most three")
            << QList<SessionSnapshot>{session(u"a"_qs, S::idle, 4, true, u"m1"_qs),
                                      session(u"b"_qs, S::idle, 3, true, u"m2"_qs),
                                      session(u"c"_qs, S::idle, 2, true, u"m3"_qs),
                                      session(u"d"_qs, S::idle, 1, true, u"m4"_qs)}
            << QStringList{u"m1"_qs, u"m2"_qs, u"m3"_qs};
        QTest::newRow("closed sessions only when no open one has a model")
            << QList<SessionSnapshot>{session(u"a"_qs, S::idle, 1, false, u"closed-old"_qs),
                                      session(u"b"_qs, S::idle, 5, false, u"closed-new"_qs),
                                      session(u"c"_qs, S::idle, 9, true)}
            << QStringList{u"closed-new"_qs};
        QTest::newRow("open models hide closed ones")
            << QList<SessionSnapshot>{session(u"a"_qs, S::idle, 9, false, u"closed"_qs),
                                      session(u"b"_qs, S::idle, 1, true, u"open"_qs)}
            << QStringList{u"open"_qs};
    }

    void models()
    {
        QFETCH(QList<SessionSnapshot>, sessions);
        ProviderReport r = installed();
        r.sessions = sessions;
        QTEST(mapReport(u"claude"_qs, u"CLAUDE"_qs, r, std::nullopt).agent.models, "models");
    }

    void shortModelNames_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("shortName");
        QTest::newRow("claude with date") << u"claude-sonnet-4-5-20250929"_qs << u"sonnet-4-5"_qs;
        QTest::newRow("other maker") << u"gpt-5-codex"_qs << u"gpt-5-codex"_qs;
        QTest::newRow("date suffix without prefix") << u"kimi-k2-20250711"_qs << u"kimi-k2"_qs;
        QTest::newRow("seven digits are no date") << u"claude-x-202509291"_qs << u"x-202509291"_qs;
    }

    void shortModelNames()
    {
        QFETCH(QString, model);
        QTEST(shortModelName(model), "shortName");
    }
};

QTEST_GUILESS_MAIN(CollectorHubTest)
#include "collector_hub_test.moc"
