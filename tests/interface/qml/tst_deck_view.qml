import QtQuick
import QtTest
import Vexlor
import "../../app/qml/helpers.js" as Find

// The deck view as a user meets it: its size per grid, taps and long presses
// reaching the deck's state, the picker's pages, closing overlays, tucking.
Item {
    width: 800
    height: 700

    // TestCase itself is invisible; the decks live on a visible stage.
    Item {
        id: stage
        anchors.fill: parent
    }

TestCase {
    id: testCase
    name: "DeckView"
    when: windowShown

    Component {
        id: settingsComponent
        QtObject {
            property int gridColumns: 2
            property int gridRows: 2
            property bool showInfoBar: true
            property bool showTipsOnLaunch: false
        }
    }
    Component {
        id: controllerComponent
        QtObject {
            property bool isTucked: false
            property int toggles: 0
            property int untucks: 0
            function toggleTuck() { toggles += 1 }
            function untuck() { untucks += 1; isTucked = false }
        }
    }
    Component {
        id: deckComponent
        DeckView {}
    }

    function makeDeck(columns, rows, infoBar) {
        const settings = createTemporaryObject(settingsComponent, stage,
            { gridColumns: columns, gridRows: rows, showInfoBar: infoBar })
        const controller = createTemporaryObject(controllerComponent, stage)
        const state = testSupport.makeDeckState()
        const deck = createTemporaryObject(deckComponent, stage,
            { deckState: state, settings: settings, controller: controller })
        deck.width = Qt.binding(() => deck.implicitWidth)
        deck.height = Qt.binding(() => deck.implicitHeight)
        return deck
    }

    function findText(item, text) {
        if (item.text === text && item.visible)
            return item
        for (let i = 0; i < item.children.length; ++i) {
            const found = findText(item.children[i], text)
            if (found)
                return found
        }
        return null
    }

    function test_gridSizes_data() {
        return [
            { tag: "2 columns", columns: 2, rows: 1, gridWidth: 208, gridHeight: 96 },
            { tag: "4 columns", columns: 4, rows: 2, gridWidth: 432, gridHeight: 208 },
            { tag: "6 columns", columns: 6, rows: 4, gridWidth: 656, gridHeight: 432 },
        ]
    }
    function test_gridSizes(data) {
        const deck = makeDeck(data.columns, data.rows, true)
        const grid = Find.byName(deck, "keyGrid")
        verify(grid)
        compare(grid.width, data.gridWidth)
        compare(grid.height, data.gridHeight)
        compare(deck.implicitWidth, data.gridWidth + 68)
        verify(Find.byName(deck, "key" + (data.columns * data.rows - 1)))
        verify(!Find.byName(deck, "key" + (data.columns * data.rows)))
    }

    function test_infoBarAddsItsHeight() {
        const withBar = makeDeck(4, 2, true)
        const without = makeDeck(4, 2, false)
        compare(withBar.implicitHeight - without.implicitHeight, 22 + 84)
        // 32 above, 18 below, 14 before the title line.
        compare(without.implicitHeight, 32 + 208 + 14 + findText(without, "VEXLOR - Quorvane").implicitHeight + 18)
    }

    function test_keysTakeTheirBackgroundsAndTitles() {
        const deck = makeDeck(2, 2, true)
        const claude = Find.byName(deck, "key0")
        const spacer = Find.byName(deck, "key2")
        verify(Qt.colorEqual(claude.background, Qt.rgba(0.29, 0.20, 0.05, 1)))
        verify(spacer.chromeless)
        compare(spacer.background.a, 0)
        compare(claude.title, "CLAUDE\nlabel:claudeStatus")
    }

    function test_tapOpensTheSessionSheet() {
        const deck = makeDeck(2, 2, true)
        const key = Find.byName(deck, "key0")
        mouseClick(key)
        compare(deck.deckState.sheetAgentID, "claude")
        tryCompare(Find.byName(deck, "sessionSheetOverlay"), "visible", true)
        // A click on the dimming layer, outside the card, closes it again.
        mouseClick(Find.byName(deck, "sessionSheetOverlay"), 6, deck.height / 2)
        compare(deck.deckState.sheetAgentID, "")
    }

    function test_pressShrinksTheKeyAndReleaseActs() {
        const deck = makeDeck(2, 2, true)
        const key = Find.byName(deck, "key0")
        tryCompare(key, "opacity", 1) // the entrance has run
        mousePress(key)
        verify(key.isPressed)
        tryVerify(() => key.press > 0.95)
        compare(deck.deckState.sheetAgentID, "") // nothing happens before release
        mouseRelease(key)
        verify(!key.isPressed)
        compare(deck.deckState.sheetAgentID, "claude")
        tryVerify(() => key.press < 0.05)
    }

    function test_pickerChoosesAnOptionOnAProviderPage() {
        const deck = makeDeck(2, 2, true)
        Find.byName(deck, "key0").longPressAction()
        compare(deck.deckState.editingSlot, 0)
        const overlay = Find.byName(deck, "pickerOverlay")
        tryCompare(overlay, "visible", true)
        verify(findText(overlay, "KEY 1 SHOWS"))
        verify(findText(overlay, "PROVIDERS"))
        mouseClick(findText(overlay, "Codex"))
        compare(deck.deckState.pickerProviderID, "codex")
        tryVerify(() => findText(overlay, "CODEX") !== null)
        waitForItemPolished(Find.byName(overlay, "pickerColumn"))
        mouseClick(findText(overlay, "label:codexLeft"))
        compare(testSupport.assigned(), ["codexLeft@0"])
        compare(deck.deckState.editingSlot, -1)
        compare(deck.deckState.pickerProviderID, "")
    }

    function test_pickerHeaderLeadsBack() {
        const deck = makeDeck(2, 2, true)
        Find.byName(deck, "key3").longPressAction()
        const overlay = Find.byName(deck, "pickerOverlay")
        tryCompare(overlay, "visible", true)
        waitForItemPolished(Find.byName(overlay, "pickerColumn"))
        mouseClick(findText(overlay, "Claude"))
        tryVerify(() => findText(overlay, "CLAUDE") !== null)
        mouseClick(findText(overlay, "CLAUDE"))
        compare(deck.deckState.pickerProviderID, "")
        compare(deck.deckState.editingSlot, 3)
    }

    function test_doubleClickTucksAndTheCatcherRestores() {
        const deck = makeDeck(2, 1, true)
        mouseDoubleClickSequence(deck, 12, deck.height / 2)
        compare(deck.controller.toggles, 1)
        const catcher = Find.byName(deck, "tuckedCatcher")
        verify(!catcher.visible)
        deck.controller.isTucked = true
        verify(catcher.visible)
        // Keys are covered: a click on one restores instead of tapping it.
        mouseClick(Find.byName(deck, "key0"))
        compare(deck.controller.untucks, 1)
        compare(deck.deckState.sheetAgentID, "")
        verify(!catcher.visible)
    }

    function test_gearHidesWhileSettingsAreOpen() {
        const deck = makeDeck(3, 1, true)
        const settings = Find.byName(deck, "settingsOverlay")
        const gear = Find.byName(deck, "gearButton")
        compare(gear.opacity, 1)
        mouseClick(gear)
        compare(deck.deckState.showSettings, true)
        compare(gear.opacity, 0)
        tryCompare(settings, "visible", true)
        mouseClick(settings, 6, deck.height / 2)
        compare(deck.deckState.showSettings, false)
        tryCompare(settings, "visible", false)
    }
}
}
