// What a key is and does by its assignment: backgrounds, chrome and the tap
// handler table, against a fake deck.

#include "FakeDeckSource.h"
#include "KeyRules.h"

#include <QTest>

using namespace vexlor;
using vexlor::test::FakeDeckSource;

namespace {
QString s(const char* text)
{
    return QString::fromLatin1(text);
}

// Four agents (summary page 0, agent pages 1 to 4) and three tiles (5 to 7).
void fillDeck(FakeDeckSource& deck)
{
    deck.agents = {{s("claude"), s("needsYou"), 2}, {s("codex"), s("working"), 0},
                   {s("opencode"), s("offline"), 0}, {s("kimi"), s("idle"), 1}};
    deck.tiles = {{s("claude-usage"), QColor(10, 20, 30), false, {}},
                  {s("claude-session"), QColor(40, 50, 60), true, s("online off")},
                  {s("codex-usage"), QColor(70, 80, 90), true, s("online off")}};
}
} // namespace

class KeyRulesTest : public QObject {
    Q_OBJECT

private slots:
    void backgroundsFollowTheAssignment_data()
    {
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("needs-you agent") << s("claudeStatus") << palette::attentionTile();
        QTest::newRow("working agent") << s("codexStatus") << palette::workingTile();
        QTest::newRow("offline agent") << s("opencodeStatus") << palette::offlineTile();
        QTest::newRow("idle agent") << s("kimiStatus") << palette::idleTile();
        QTest::newRow("usage by prefix") << s("claudeLeft") << QColor(10, 20, 30);
        QTest::newRow("session tile by id") << s("claudeSessionUsed") << QColor(40, 50, 60);
        QTest::newRow("missing spend tile") << s("claudeSpend") << palette::idleTile();
        QTest::newRow("missing kimi tile") << s("kimiUsage") << palette::idleTile();
        QTest::newRow("all agents") << s("allAgents") << palette::overviewTile();
        QTest::newRow("info") << s("info") << palette::infoTile();
        QTest::newRow("clock") << s("clock") << palette::infoTile();
        QTest::newRow("spacer") << s("spacer") << QColor(0, 0, 0, 0);
    }
    void backgroundsFollowTheAssignment()
    {
        QFETCH(QString, assignment);
        QFETCH(QColor, expected);
        FakeDeckSource deck;
        fillDeck(deck);
        QCOMPARE(keyBackground(assignment, deck).rgba(), expected.rgba());
    }

    void missingAgentGivesIdleTile()
    {
        FakeDeckSource deck;
        QCOMPARE(keyBackground(s("claudeStatus"), deck).rgba(), palette::idleTile().rgba());
    }

    void onlyTheSpacerIsChromeless()
    {
        QVERIFY(isChromeless(s("spacer")));
        QVERIFY(!isChromeless(s("clock")));
        QVERIFY(!isChromeless(s("claudeStatus")));
    }

    void agentKeyMovesThePageAndOpensTheSheetOnlyWithSessions()
    {
        FakeDeckSource deck;
        fillDeck(deck);
        TapEffect claude = tapEffect(s("claudeStatus"), deck);
        QCOMPARE(claude.infoPageIndex, std::optional<int>(1));
        QCOMPARE(claude.sheetAgentID, std::optional<QString>(s("claude")));

        // Codex has no open sessions: only the page moves.
        TapEffect codex = tapEffect(s("codexStatus"), deck);
        QCOMPARE(codex.infoPageIndex, std::optional<int>(2));
        QVERIFY(!codex.sheetAgentID);

        // Already on the agent's page: the index is not written again.
        deck.pageIndex = 4;
        TapEffect kimi = tapEffect(s("kimiStatus"), deck);
        QVERIFY(!kimi.infoPageIndex);
        QCOMPARE(kimi.sheetAgentID, std::optional<QString>(s("kimi")));
    }

    void agentKeyWithoutAgentDoesNothing()
    {
        FakeDeckSource deck;
        QCOMPARE(tapEffect(s("claudeStatus"), deck), TapEffect{});
    }

    void allAgentsGoesToTheSummaryAndOpensTheList()
    {
        FakeDeckSource deck;
        fillDeck(deck);
        deck.pageIndex = 3;
        TapEffect effect = tapEffect(s("allAgents"), deck);
        QCOMPARE(effect.infoPageIndex, std::optional<int>(0));
        QVERIFY(effect.showAgentList);
        deck.pageIndex = 0;
        QVERIFY(!tapEffect(s("allAgents"), deck).infoPageIndex);
    }

    void usageKeyOfflineOpensThePromptWithoutMovingThePage()
    {
        FakeDeckSource deck;
        fillDeck(deck);
        TapEffect codex = tapEffect(s("codexLeft"), deck);
        QVERIFY(codex.showOnlinePrompt);
        QVERIFY(!codex.infoPageIndex);

        // Claude's first tile by prefix is available: the page moves.
        TapEffect claude = tapEffect(s("claudeUsed"), deck);
        QVERIFY(!claude.showOnlinePrompt);
        QCOMPARE(claude.infoPageIndex, std::optional<int>(5));

        // An unavailable tile with another caption only moves the page.
        deck.tiles[2].caption = s("loading");
        TapEffect loading = tapEffect(s("codexUsed"), deck);
        QVERIFY(!loading.showOnlinePrompt);
        QCOMPARE(loading.infoPageIndex, std::optional<int>(7));
    }

    void sessionAndSpendKeysMoveToTheirTilesPage()
    {
        FakeDeckSource deck;
        fillDeck(deck);
        // The session tile is "online off" too, but these keys never prompt.
        TapEffect session = tapEffect(s("claudeSessionLeft"), deck);
        QCOMPARE(session.infoPageIndex, std::optional<int>(6));
        QVERIFY(!session.showOnlinePrompt);
        QCOMPARE(tapEffect(s("claudeSpend"), deck), TapEffect{}); // no such tile
        QCOMPARE(tapEffect(s("codexSessionUsed"), deck), TapEffect{});
    }

    void infoAdvancesClockAndSpacerDoNothing()
    {
        FakeDeckSource deck;
        fillDeck(deck);
        QVERIFY(tapEffect(s("info"), deck).advancePage);
        QCOMPARE(tapEffect(s("clock"), deck), TapEffect{});
        QCOMPARE(tapEffect(s("spacer"), deck), TapEffect{});
    }
};

QTEST_GUILESS_MAIN(KeyRulesTest)
#include "key_rules_test.moc"
