import QtQuick
import QtTest
import Vexlor
import "helpers.js" as Find

// A test case over a whole deck on `deckStage`: the busy model, real settings in
// a fresh store, acknowledgements recorded, and the tips card kept closed
// unless asked for.
TestCase {
    when: windowShown

    property Item deckStage
    property QtObject settings
    property QtObject model

    Component {
        id: deckComponent
        DeckView {}
    }

    function makeDeck(tipsAtLaunch) {
        testSupport.freshStore()
        model = testSupport.makeModel("busy")
        testSupport.recordAcknowledgements(model)
        testSupport.clearAcknowledged()
        settings = testSupport.makeSettings()
        settings.showTipsOnLaunch = tipsAtLaunch === true
        const state = testSupport.makeDeckState(model, settings)
        const deck = createTemporaryObject(deckComponent, deckStage,
            { deckState: state, settings: settings, model: model })
        deck.width = Qt.binding(() => deck.implicitWidth)
        deck.height = Qt.binding(() => deck.implicitHeight)
        return deck
    }

    function opened(deck, name) {
        const o = Find.byName(deck, name)
        tryVerify(() => o.visible && o.shown > 0.99, 5000, name + " opens")
        return o
    }
    function closed(deck, name) {
        const o = Find.byName(deck, name)
        tryVerify(() => !o.visible, 5000, name + " closes")
    }
    function tapKey(deck, slot) {
        mouseClick(Find.byName(deck, "key" + slot))
    }
}
