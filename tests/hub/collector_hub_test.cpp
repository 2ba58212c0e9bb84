// The collector hub: working and attention bookkeeping, acknowledgements and
// their persistence, one pass at a time, and the polling loop.

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
};

QTEST_GUILESS_MAIN(CollectorHubTest)
#include "collector_hub_test.moc"
