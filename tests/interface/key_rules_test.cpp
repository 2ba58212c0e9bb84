// What a key is and does by its assignment: backgrounds, chrome and the tap
// handler table, against a small deck model.

#include "KeyRules.h"
#include "TestDeck.h"

#include <QTest>

using namespace vexlor;
using vexlor::test::TestDeck;

namespace {
QString s(const char* text)
{
    return QString::fromLatin1(text);
}

// Four agents (summary page 0, agent pages 1 to 4) and three tiles (5 to 7).
std::unique_ptr<TestDeck> filledDeck(const QString& codexCaption = s("online off"))
{
    return std::make_unique<TestDeck>(
        QList<test::AgentFacts>{{s("claude"), AgentStatus::needsYou, 2}, {s("codex"), AgentStatus::working, 0},
                                {s("opencode"), AgentStatus::offline, 0}, {s("kimi"), AgentStatus::idle, 1}},
        QList<test::TileFacts>{{s("claude-usage"), Rgba::rgb(10 / 255., 20 / 255., 30 / 255.), {}},
                               {s("claude-session"), Rgba::rgb(40 / 255., 50 / 255., 60 / 255.), s("online off")},
                               {s("codex-usage"), Rgba::rgb(70 / 255., 80 / 255., 90 / 255.), codexCaption}});
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
        QTest::newRow("all agents") << s("allAgents") << palette::overviewTile();
        QTest::newRow("info") << s("info") << palette::infoTile();
        QTest::newRow("spacer") << s("spacer") << QColor(0, 0, 0, 0);
    }
    void backgroundsFollowTheAssignment()
    {
        QFETCH(QString, assignment);
        QFETCH(QColor, expected);
        const auto deck = filledDeck();
        QCOMPARE(keyBackground(assignment, deck->model()).rgba(), expected.rgba());
    }

    void tapEffects_data()
    {
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<int>("currentPage");
        QTest::addColumn<TapEffect>("expected");
        const std::nullopt_t none = std::nullopt;
        // Agents move the page to theirs and open the sheet only with
        // sessions; the page index is not written when it would not change.
        QTest::newRow("agent with sessions") << s("claudeStatus") << 0 << TapEffect{1, false, s("claude"), false, false};
        QTest::newRow("agent without sessions") << s("codexStatus") << 0 << TapEffect{2, false, none, false, false};
        QTest::newRow("agent on its own page") << s("kimiStatus") << 4 << TapEffect{none, false, s("kimi"), false, false};
        QTest::newRow("all agents") << s("allAgents") << 3 << TapEffect{0, false, none, true, false};
        // A plan key whose tile is "online off" prompts and stays put.
        QTest::newRow("plan key offline") << s("codexLeft") << 0 << TapEffect{none, false, none, false, true};
        QTest::newRow("plan key by prefix") << s("claudeUsed") << 0 << TapEffect{5, false, none, false, false};
        // Session and spend keys never prompt, even over an "online off" tile.
        QTest::newRow("session key") << s("claudeSessionLeft") << 0 << TapEffect{6, false, none, false, false};
        QTest::newRow("missing spend tile") << s("claudeSpend") << 0 << TapEffect{};
        QTest::newRow("info") << s("info") << 0 << TapEffect{none, true, none, false, false};
        QTest::newRow("spacer") << s("spacer") << 0 << TapEffect{};
    }
    void tapEffects()
    {
        QFETCH(QString, assignment);
        QFETCH(int, currentPage);
        QFETCH(TapEffect, expected);
        const auto deck = filledDeck();
        deck->model().setInfoPageIndex(currentPage);
        QCOMPARE(tapEffect(assignment, deck->model()), expected);
    }

    void missingAgentsAndOtherCaptions()
    {
        TestDeck empty;
        QCOMPARE(keyBackground(s("claudeStatus"), empty.model()).rgba(), palette::idleTile().rgba());
        QCOMPARE(tapEffect(s("claudeStatus"), empty.model()), TapEffect{});
        // An unavailable tile with another caption only moves the page.
        const auto deck = filledDeck(s("loading"));
        QCOMPARE(tapEffect(s("codexUsed"), deck->model()), (TapEffect{7, false, std::nullopt, false, false}));
    }
};

QTEST_GUILESS_MAIN(KeyRulesTest)
#include "key_rules_test.moc"
