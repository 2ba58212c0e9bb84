// The texts and figures of the key contents, the information bar and the agent
// overlays: the reset countdown, remaining shares and bar widths, the usage
// key's lines, the clock, and the list and sheet lines. (The tips' wrap-around
// is exercised on the tips card.)

#include "KeyTexts.h"
#include "TestSupport.h"
#include "deck/DeckModel.h"

#include <QTest>

using namespace vexlor;
namespace kt = vexlor::keytext;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

constexpr double kNow = 1'800'000'000.0;

ProviderUsage percentTile(double fraction, const QString& window, std::optional<double> resetsAt = std::nullopt)
{
    ProviderUsage u = ProviderUsage::captionTile(s("claude-usage"), s("CLAUDE"), s("loading"));
    u.kind = ProviderUsage::Percent{fraction, window};
    if (resetsAt)
        u.resetsAt = Timestamp::fromSeconds(*resetsAt);
    return u;
}

ProviderUsage tokenTile(double count, double cost, const QString& window)
{
    ProviderUsage u = ProviderUsage::captionTile(s("kimi-usage"), s("KIMI"), s("loading"));
    u.kind = ProviderUsage::Tokens{count, cost, window};
    return u;
}

AgentSession session(const QString& title, AgentSession::State state)
{
    return AgentSession{s("claude:") + title, title, state, std::nullopt};
}

Agent agent(AgentStatus status, int sessions, QList<AgentSession> rows, QStringList models = {})
{
    return vexlor::test::deckAgent(s("claude"), status, sessions, std::move(rows), std::move(models));
}

} // namespace

class KeyTextsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void countdownByDistance_data()
    {
        QTest::addColumn<double>("ahead");
        QTest::addColumn<QString>("expected");
        QTest::newRow("under a second") << 0.4 << s("↺ now");
        QTest::newRow("one second") << 1.0 << s("↺ 1m");
        QTest::newRow("119.9 s drops the fraction") << 119.9 << s("↺ 1m");
        QTest::newRow("1 h exactly") << 3600.0 << s("↺ 1h");
        QTest::newRow("3 h 30 s keeps whole hours") << 3.0 * 3600 + 30 << s("↺ 3h");
        QTest::newRow("3 h 5 min") << 3.0 * 3600 + 300 << s("↺ 3h 5m");
        QTest::newRow("1 day") << 86400.0 << s("↺ 1d");
        QTest::newRow("2 days 59 min") << 2.0 * 86400 + 3540 << s("↺ 2d");
        QTest::newRow("2 days 5 h") << 2.0 * 86400 + 5 * 3600 << s("↺ 2d 5h");
    }
    void countdownByDistance()
    {
        QFETCH(double, ahead);
        QFETCH(QString, expected);
        const auto text = kt::resetCountdown(kNow, kNow + ahead);
        QVERIFY(text.has_value());
        QCOMPARE(*text, expected);
    }

    void noCountdownUnlessTheResetIsAhead_data()
    {
        QTest::addColumn<std::optional<double>>("resetsAt");
        QTest::newRow("no reset") << std::optional<double>();
        QTest::newRow("reset now") << std::optional<double>(kNow);
        QTest::newRow("reset in the past") << std::optional<double>(kNow - 90);
    }
    void noCountdownUnlessTheResetIsAhead()
    {
        QFETCH(std::optional<double>, resetsAt);
        QVERIFY(!kt::resetCountdown(kNow, resetsAt).has_value());
        QCOMPARE(KeyTexts::countdown(kNow, resetsAt ? QVariant(*resetsAt) : QVariant()), QString());
    }

    void remainingShareAndBar_data()
    {
        QTest::addColumn<double>("fraction");
        QTest::addColumn<bool>("showRemaining");
        QTest::addColumn<QString>("value");
        QTest::addColumn<double>("share");
        QTest::newRow("0.375 left") << 0.375 << true << s("63%") << 0.625;
        QTest::newRow("0.375 used") << 0.375 << false << s("38%") << 0.375;
        QTest::newRow("0.425 left rounds half away") << 0.425 << true << s("58%") << 0.575;
        QTest::newRow("over-used window left") << 1.2 << true << s("0%") << 0.0;
        QTest::newRow("over-used window used") << 1.2 << false << s("120%") << 1.0;
    }
    void remainingShareAndBar()
    {
        QFETCH(double, fraction);
        QFETCH(bool, showRemaining);
        QFETCH(QString, value);
        QFETCH(double, share);
        const ProviderUsage tile = percentTile(fraction, s("5h"));
        QCOMPARE(kt::usageValue(tile, showRemaining), value);
        QCOMPARE(kt::barShare(tile, showRemaining), share);
    }

    void otherKindsKeepTheirValueAndAFlatBar()
    {
        const ProviderUsage tokens = tokenTile(1'234'567, 12.5, s("7d"));
        QCOMPARE(kt::usageValue(tokens, true), s("1.23M"));
        QCOMPARE(kt::barShare(tokens, false), 0.0);
        const ProviderUsage loading = DeckModel::placeholderTile(s("claude-spend"), false);
        QCOMPARE(kt::usageValue(loading, true), s("—"));
        QCOMPARE(kt::barShare(loading, true), 0.0);
    }

    void secondaryLine_data()
    {
        QTest::addColumn<ProviderUsage>("tile");
        QTest::addColumn<bool>("showRemaining");
        QTest::addColumn<QString>("expected");
        QTest::newRow("left with countdown") << percentTile(0.375, s("5h"), kNow + 3 * 3600 + 300) << true
                                             << s("5h left • ↺ 3h 5m");
        QTest::newRow("used with countdown") << percentTile(0.375, s("7d"), kNow + 2 * 86400) << false
                                             << s("7d used • ↺ 2d");
        QTest::newRow("reset passed") << percentTile(0.375, s("5h"), kNow - 1) << true << s("5h left");
        QTest::newRow("tokens ignore remaining") << tokenTile(45'600, 0, s("24h")) << true << s("24h tokens");
        QTest::newRow("spend placeholder") << DeckModel::placeholderTile(s("claude-spend"), false) << false << s("loading");
        QTest::newRow("spend, Claude not installed") << DeckModel::placeholderTile(s("claude-spend"), true) << false
                                                     << s("not installed");
        QTest::newRow("session placeholder") << DeckModel::placeholderTile(s("codex-session"), false) << true
                                             << s("no session data");
    }
    void secondaryLine()
    {
        QFETCH(ProviderUsage, tile);
        QFETCH(bool, showRemaining);
        QFETCH(QString, expected);
        QCOMPARE(kt::usageSecondary(tile, showRemaining, kNow), expected);
    }

    void clockIsTwentyFourHourInTheLocale()
    {
        // 2027-01-15 21:07:09 local time.
        const QDateTime at(QDate(2027, 1, 15), QTime(21, 7, 9));
        const double seconds = at.toMSecsSinceEpoch() / 1000.0;
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(kt::clockTime(seconds, us), s("21:07"));
        QCOMPARE(kt::clockDate(seconds, us), s("Fri 15 Jan"));
        const QLocale german(QLocale::German, QLocale::Germany);
        QCOMPARE(kt::clockTime(seconds, german), s("21:07"));
        QCOMPARE(kt::clockDate(seconds, german), s("Fr. 15 Jan."));
        const QDateTime morning(QDate(2027, 1, 15), QTime(7, 5));
        QCOMPARE(kt::clockTime(morning.toMSecsSinceEpoch() / 1000.0, us), s("07:05"));
    }

    void agentListDetail_data()
    {
        QTest::addColumn<Agent>("subject");
        QTest::addColumn<QString>("expected");
        QTest::newRow("offline with models") << agent(AgentStatus::offline, 0, {}, {s("opus")}) << s("not installed");
        QTest::newRow("no model") << agent(AgentStatus::idle, 2, {}) << s("no recent model");
        QTest::newRow("models joined") << agent(AgentStatus::working, 1, {}, {s("opus-4"), s("sonnet-4")})
                                       << s("opus-4 · sonnet-4");
    }
    void agentListDetail()
    {
        QFETCH(Agent, subject);
        QFETCH(QString, expected);
        QCOMPARE(kt::agentListDetail(subject), expected);
    }

    void firstRunHintOnlyWhileNothingIsInstalled()
    {
        const QStringList folders{s("/home/u/.claude"), s("/home/u/.local/share/opencode"), s("/srv/kimi")};
        const Agent offline = agent(AgentStatus::offline, 0, {});
        QCOMPARE(kt::firstRunHint({offline, offline}, folders, s("/home/u")),
                 s("No agents found in ~/.claude, ~/.local/share/opencode, /srv/kimi. "
                   "Run vexlor --demo to see what Vexlor shows."));
        QCOMPARE(kt::firstRunHint({offline, agent(AgentStatus::idle, 0, {})}, folders, s("/home/u")), QString());
        QCOMPARE(kt::firstRunHint({}, folders, s("/home/u")), QString());
        // A folder whose name merely starts with the home's stays whole.
        QCOMPARE(kt::firstRunHint({offline}, {s("/home/user2/.codex")}, s("/home/u")).contains(s("/home/user2/.codex")), true);
    }

    void sessionSheetLines_data()
    {
        using S = AgentSession::State;
        QTest::addColumn<Agent>("subject");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("attention");
        QTest::addColumn<int>("hidden");
        QTest::addColumn<QString>("titles");
        QTest::newRow("needs you, 5 sessions, 3 rows")
            << agent(AgentStatus::needsYou, 5, {session(s("A"), S::attention), session(s("B"), S::working),
                                                session(s("C"), S::idle)})
            << s("CLAUDE NEEDS YOU") << true << 2 << s("A");
        QTest::newRow("working with an attention session")
            << agent(AgentStatus::working, 2, {session(s("A"), S::working), session(s("B"), S::attention)})
            << s("CLAUDE NEEDS YOU") << true << 0 << s("B");
        QTest::newRow("working, no attention")
            << agent(AgentStatus::working, 2, {session(s("A"), S::working), session(s("B"), S::idle)})
            << s("CLAUDE WORKING") << false << 0 << s("A · B");
        QTest::newRow("more rows than sessions") << agent(AgentStatus::idle, 0, {session(s("A"), S::idle)})
                                                 << s("CLAUDE IDLE") << false << 0 << s("A");
        QTest::newRow("offline, nothing open") << agent(AgentStatus::offline, 0, {}) << s("CLAUDE NOT FOUND") << false
                                               << 0 << QString();
    }
    void sessionSheetLines()
    {
        QFETCH(Agent, subject);
        QFETCH(QString, title);
        QFETCH(bool, attention);
        QFETCH(int, hidden);
        QFETCH(QString, titles);
        QCOMPARE(kt::sheetTitle(subject), title);
        QCOMPARE(kt::needsAttention(subject), attention);
        QCOMPARE(kt::hiddenSessionCount(subject), hidden);
        QCOMPARE(kt::sessionTitles(subject), titles);
    }

    // The agent page's time and the sheet rows' times, each labelled.
    void sheetAndBarTimes_data()
    {
        using S = AgentSession::State;
        const auto at = [](const QString& title, S state, std::optional<Timestamp> since) {
            return AgentSession{s("kimi:") + title, title, state, since};
        };
        QTest::addColumn<Agent>("subject");
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("rows");
        Agent lone = agent(AgentStatus::working, 1, {at(s("A"), S::working, Timestamp::fromSeconds(kNow - 205))});
        lone.startedAt = Timestamp::fromSeconds(kNow - 205);
        QTest::newRow("a lone working session reads as its agent") << lone << s("working 3:25") << s("working 3:25");
        QTest::newRow("waiting and idle rows")
            << agent(AgentStatus::needsYou, 2,
                     {at(s("A"), S::attention, Timestamp::fromSeconds(kNow - 6)),
                      at(s("B"), S::idle, Timestamp::fromSeconds(kNow - 3815))})
            << QString() << s("waiting 0:06 · idle 1:03:35");
        Agent unknown = agent(AgentStatus::idle, 2, {at(s("A"), S::idle, Timestamp::distantPast()), at(s("B"), S::idle, std::nullopt)});
        unknown.startedAt = Timestamp::distantPast();
        QTest::newRow("no time from the year 1") << unknown << QString() << s(" · ");
    }
    void sheetAndBarTimes()
    {
        QFETCH(Agent, subject);
        QFETCH(QString, bar);
        QFETCH(QString, rows);
        QCOMPARE(kt::agentWorkingTime(subject, kNow), bar);
        QStringList times;
        for (const AgentSession& row : subject.openSessions)
            times.append(kt::sessionTime(row, kNow));
        QCOMPARE(times.join(s(" · ")), rows);
    }
};

QTEST_GUILESS_MAIN(KeyTextsTest)
#include "key_texts_test.moc"
