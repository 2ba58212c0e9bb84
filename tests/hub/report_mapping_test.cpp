// Report-to-deck mapping: agent status, counts, models and rows, and which
// usage windows become which tiles for each provider.

#include "collection/ProviderCatalog.h"
#include "hub/ReportMapping.h"

#include <QTest>

using namespace vexlor;

namespace {

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

class ReportMappingTest : public QObject {
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(ReportMappingTest)
#include "report_mapping_test.moc"
