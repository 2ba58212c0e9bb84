// The deck view's state: entrance, taps and long presses reaching the deck,
// the picker's pages and rows, and the grid's measures.

#include "DeckViewState.h"
#include "FakeDeckSource.h"

#include <QSignalSpy>
#include <QTest>

using namespace vexlor;
using vexlor::test::FakeDeckSource;

namespace {
QString s(const char* text)
{
    return QString::fromLatin1(text);
}

QStringList labels(const QVariantList& rows)
{
    QStringList out;
    for (const auto& row : rows)
        out.append(row.toMap().value(s("label")).toString());
    return out;
}

QStringList selectedLabels(const QVariantList& rows)
{
    QStringList out;
    for (const auto& row : rows) {
        const auto map = row.toMap();
        if (map.value(s("selected")).toBool())
            out.append(map.value(s("label")).toString());
    }
    return out;
}
} // namespace

class DeckViewStateTest : public QObject {
    Q_OBJECT

private slots:
    void appearStartsTimersAndFollowsTheTipsSetting()
    {
        FakeDeckSource deck;
        DeckViewState state(&deck);
        QSignalSpy show(&state, &DeckViewState::showChanged);
        state.appear(true);
        QVERIFY(state.show());
        QVERIFY(state.showTipDialog());
        QCOMPARE(deck.timerStarts, 1);
        QCOMPARE(show.count(), 1);

        DeckViewState quiet(&deck);
        quiet.appear(false);
        QVERIFY(!quiet.showTipDialog());
    }

    void tapAppliesTheEffectAndLongPressOpensThePicker()
    {
        FakeDeckSource deck;
        deck.agents = {{s("claude"), s("needsYou"), 1}};
        deck.assignments = {{0, s("claudeStatus")}, {1, s("info")}};
        DeckViewState state(&deck);
        state.tap(0);
        QCOMPARE(deck.pageIndex, 1);
        QCOMPARE(state.sheetAgentID(), s("claude"));
        state.tap(1);
        QCOMPARE(deck.pageIndex, 0); // summary, one agent: wraps after two pages
        state.longPress(1);
        QCOMPARE(state.editingSlot(), 1);
        QCOMPARE(state.pickerHeader(), s("KEY 2 SHOWS"));
    }

    void mainPickerPageListsGeneralOptionsThenProviders()
    {
        FakeDeckSource deck;
        deck.assignments = {{0, s("codexLeft")}};
        DeckViewState state(&deck);
        QVERIFY(state.pickerRows().isEmpty()); // closed
        state.longPress(0);
        QCOMPARE(state.pickerHeader(), s("KEY 1 SHOWS"));
        const QVariantList rows = state.pickerRows();
        QCOMPARE(labels(rows), (QStringList{s("label:allAgents"), s("label:info"), s("label:clock"),
                                            s("label:spacer"), s("PROVIDERS"), s("Claude"), s("Codex"),
                                            s("OpenCode"), s("Kimi")}));
        // The slot shows a Codex option: the Codex provider row is selected.
        QCOMPARE(selectedLabels(rows), QStringList{s("Codex")});
        QCOMPARE(rows[4].toMap().value(s("kind")).toString(), s("section"));
        QCOMPARE(rows[6].toMap().value(s("providerID")).toString(), s("codex"));
    }

    void providerPageSelectsTheCurrentOptionAndAssigns()
    {
        FakeDeckSource deck;
        deck.assignments = {{3, s("codexLeft")}};
        DeckViewState state(&deck);
        state.longPress(3);
        state.openPickerProvider(s("codex"));
        QCOMPARE(state.pickerHeader(), s("CODEX"));
        const QVariantList rows = state.pickerRows();
        QCOMPARE(labels(rows), (QStringList{s("label:codexStatus"), s("label:codexUsed"), s("label:codexLeft"),
                                            s("label:codexSessionUsed"), s("label:codexSessionLeft")}));
        QCOMPARE(selectedLabels(rows), QStringList{s("label:codexLeft")});

        state.closePickerProvider();
        QVERIFY(state.pickerProviderID().isEmpty());
        QCOMPARE(state.editingSlot(), 3);

        state.openPickerProvider(s("kimi"));
        state.choosePickerOption(s("kimiUsage"));
        QCOMPARE(deck.assigned, (QList<QPair<QString, int>>{{s("kimiUsage"), 3}}));
        QCOMPARE(state.editingSlot(), -1);
        QVERIFY(state.pickerProviderID().isEmpty());
    }

    void unknownProviderAndClosingThePicker()
    {
        FakeDeckSource deck;
        DeckViewState state(&deck);
        state.longPress(0);
        state.openPickerProvider(s("nobody"));
        QVERIFY(state.pickerProviderID().isEmpty());
        // A spacer key can still be changed through its picker.
        deck.assignments[0] = s("spacer");
        QCOMPARE(selectedLabels(state.pickerRows()), QStringList{s("label:spacer")});

        state.openPickerProvider(s("claude"));
        QSignalSpy picker(&state, &DeckViewState::pickerChanged);
        state.closePicker();
        QCOMPARE(state.editingSlot(), -1);
        QVERIFY(state.pickerProviderID().isEmpty());
        QVERIFY(picker.count() >= 1);
        state.choosePickerOption(s("clock")); // no picker open: nothing assigned
        QVERIFY(deck.assigned.isEmpty());
    }

};

QTEST_GUILESS_MAIN(DeckViewStateTest)
#include "deck_view_state_test.moc"
