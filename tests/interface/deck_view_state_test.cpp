// The deck view's state: entrance, taps and long presses reaching the deck,
// the picker's pages and rows, and the grid's measures.

#include "DeckViewState.h"
#include "KeyRules.h"
#include "TestDeck.h"

#include <QSignalSpy>
#include <QTest>

using namespace vexlor;
using vexlor::test::TestDeck;

namespace {
QString s(const char* text)
{
    return QString::fromLatin1(text);
}

// The picker's label of an assignment.
QString label(const char* assignment)
{
    return pickerLabel(*keyAssignmentFromString(s(assignment)));
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
    void appearShowsOnceAndFollowsTheTipsSetting()
    {
        TestDeck deck;
        DeckViewState state(&deck.model());
        QSignalSpy show(&state, &DeckViewState::showChanged);
        state.appear(true);
        state.appear(true);
        QVERIFY(state.show());
        QVERIFY(state.showTipDialog());
        QCOMPARE(show.count(), 1);

        DeckViewState quiet(&deck.model());
        quiet.appear(false);
        QVERIFY(!quiet.showTipDialog());
    }

    void tapAppliesTheEffectAndLongPressOpensThePicker()
    {
        TestDeck deck({{s("claude"), AgentStatus::needsYou, 1}});
        deck.assign(s("claudeStatus"), 0);
        deck.assign(s("info"), 1);
        DeckViewState state(&deck.model());
        state.tap(0);
        QCOMPARE(deck.model().infoPageIndex(), 1);
        QCOMPARE(state.sheetAgentID(), s("claude"));
        state.tap(1);
        QCOMPARE(deck.model().infoPageIndex(), 0); // summary, one agent: wraps after two pages
        state.longPress(1);
        QCOMPARE(state.editingSlot(), 1);
        QCOMPARE(state.pickerHeader(), s("KEY 2 SHOWS"));
    }

    void mainPickerPageListsGeneralOptionsThenProviders()
    {
        TestDeck deck;
        deck.assign(s("codexLeft"), 0);
        DeckViewState state(&deck.model());
        QVERIFY(state.pickerRows().isEmpty()); // closed
        state.longPress(0);
        QCOMPARE(state.pickerHeader(), s("KEY 1 SHOWS"));
        const QVariantList rows = state.pickerRows();
        QCOMPARE(labels(rows), (QStringList{label("allAgents"), label("fleet"), label("info"), label("clock"),
                                            label("spacer"), s("PROVIDERS"), s("Claude"), s("Codex"),
                                            s("OpenCode"), s("Kimi")}));
        // The slot shows a Codex option: the Codex provider row is selected.
        QCOMPARE(selectedLabels(rows), QStringList{s("Codex")});
        QCOMPARE(rows[5].toMap().value(s("kind")).toString(), s("section"));
        QCOMPARE(rows[7].toMap().value(s("providerID")).toString(), s("codex"));
    }

    void providerPageSelectsTheCurrentOptionAndAssigns()
    {
        TestDeck deck;
        deck.assign(s("codexLeft"), 3);
        DeckViewState state(&deck.model());
        state.longPress(3);
        state.openPickerProvider(s("codex"));
        QCOMPARE(state.pickerHeader(), s("CODEX"));
        const QVariantList rows = state.pickerRows();
        QCOMPARE(labels(rows), (QStringList{label("codexStatus"), label("codexUsed"), label("codexLeft"),
                                            label("codexSessionUsed"), label("codexSessionLeft")}));
        QCOMPARE(selectedLabels(rows), QStringList{label("codexLeft")});

        state.closePickerProvider();
        QVERIFY(state.pickerProviderID().isEmpty());
        QCOMPARE(state.editingSlot(), 3);

        state.openPickerProvider(s("kimi"));
        state.choosePickerOption(s("kimiUsage"));
        QCOMPARE(toString(deck.model().assignmentAt(3)), s("kimiUsage"));
        QCOMPARE(state.editingSlot(), -1);
        QVERIFY(state.pickerProviderID().isEmpty());
    }

    void unknownProviderAndClosingThePicker()
    {
        TestDeck deck;
        DeckViewState state(&deck.model());
        state.longPress(0);
        state.openPickerProvider(s("nobody"));
        QVERIFY(state.pickerProviderID().isEmpty());
        // A spacer key can still be changed through its picker.
        deck.assign(s("spacer"), 0);
        QCOMPARE(selectedLabels(state.pickerRows()), QStringList{label("spacer")});

        state.openPickerProvider(s("claude"));
        QSignalSpy picker(&state, &DeckViewState::pickerChanged);
        state.closePicker();
        QCOMPARE(state.editingSlot(), -1);
        QVERIFY(state.pickerProviderID().isEmpty());
        QVERIFY(picker.count() >= 1);
        state.choosePickerOption(s("clock")); // no picker open: nothing assigned
        QCOMPARE(toString(deck.model().assignmentAt(0)), s("spacer"));
    }

    // The key list reports a change only for the keys and roles whose values
    // changed, and nothing for an update with equal content.
    void keysChangeOnlyWhereTheirContentDoes()
    {
        TestDeck deck({{s("claude"), AgentStatus::idle, 0}, {s("codex"), AgentStatus::idle, 0}});
        deck.assign(s("claudeStatus"), 0);
        deck.assign(s("codexStatus"), 1);
        deck.assign(s("clock"), 2);
        DeckViewState state(&deck.model());
        KeyListModel& keys = *state.keys();
        QCOMPARE(keys.rowCount(), 8); // no settings: a 4 × 2 grid
        QSignalSpy changed(&keys, &QAbstractItemModel::dataChanged);

        deck.model().update(deck.model().agents(), deck.model().usage());
        QCOMPARE(changed.count(), 0);

        QList<Agent> agents = deck.model().agents();
        agents[1].status = AgentStatus::working;
        deck.model().update(agents, deck.model().usage());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].toModelIndex().row(), 1);
        QCOMPARE(changed[0][2].value<QList<int>>(),
                 (QList<int>{KeyListModel::BackgroundRole, KeyListModel::FaceRole}));
        QCOMPARE(keys.index(1).data(KeyListModel::BackgroundRole).value<QColor>(), palette::workingTile());

        deck.assign(s("spacer"), 2);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed[1][0].toModelIndex().row(), 2);
        QVERIFY(keys.index(2).data(KeyListModel::ChromelessRole).toBool());
    }
};

QTEST_GUILESS_MAIN(DeckViewStateTest)
#include "deck_view_state_test.moc"
