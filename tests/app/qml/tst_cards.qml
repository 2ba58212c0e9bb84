import QtQuick
import QtTest
import Vexlor
import "helpers.js" as Find

// The cards over the deck with real settings: the tips card, the settings
// card's pills and switches, and the online-access prompt.
Item {
    width: 800
    height: 800

    Item {
        id: stage
        anchors.fill: parent
    }

DeckTestCase {
    name: "Cards"
    deckStage: stage

    function test_tipsOpenAtLaunchAndWrapAround() {
        const deck = makeDeck(true)
        const tips = opened(deck, "tipsOverlay")
        compare(Find.byName(tips, "tipCounter").text, "1 / 6")
        const dontShow = Find.byName(tips, "dontShowButton")
        const next = Find.byName(tips, "nextTipButton")
        verify(dontShow.x + dontShow.width <= next.x, "the two buttons stay apart")
        deck.deckState.currentTipIndex = 5
        compare(Find.byName(tips, "tipCounter").text, "6 / 6")
        mouseClick(Find.byName(tips, "nextTipButton"))
        compare(Find.byName(tips, "tipCounter").text, "1 / 6")
        compare(Find.byName(tips, "tipText").text, KeyTexts.tips[0])
        mouseClick(Find.byName(tips, "nextTipButton"))
        compare(Find.byName(tips, "tipCounter").text, "2 / 6")
        compare(Find.byName(tips, "tipText").text,
                "Long-press any key to choose what that button displays.")
    }

    function test_dontShowAnymoreTurnsLaunchTipsOff() {
        const deck = makeDeck(true)
        const tips = opened(deck, "tipsOverlay")
        mouseClick(Find.byName(tips, "dontShowButton"))
        closed(deck, "tipsOverlay")
        compare(settings.showTipsOnLaunch, false)
        compare(testSupport.storedValue("ShowTipsOnLaunch"), "false", "saved for the next launch")
    }

    function test_escapeClosesTheTips() {
        const deck = makeDeck(true)
        opened(deck, "tipsOverlay")
        deck.forceActiveFocus()
        keyClick(Qt.Key_Escape)
        closed(deck, "tipsOverlay")
        compare(settings.showTipsOnLaunch, true, "Escape only closes")
    }

    function test_settingsShowTipsTurnsThemBackOn() {
        const deck = makeDeck(false)
        mouseClick(Find.byName(deck, "gearButton"))
        const card = opened(deck, "settingsOverlay")
        mouseClick(Find.byName(card, "tipsRow"))
        opened(deck, "tipsOverlay")
        closed(deck, "settingsOverlay")
        compare(settings.showTipsOnLaunch, true)
        compare(testSupport.storedValue("ShowTipsOnLaunch"), "true")
    }

    function test_pillsChangeTheGrid() {
        const deck = makeDeck()
        mouseClick(Find.byName(deck, "gearButton"))
        const card = opened(deck, "settingsOverlay")
        const four = Find.byName(card, "columnPill4")
        const six = Find.byName(card, "columnPill6")
        verify(four.selected && !six.selected, "the stored four columns are marked")
        compare(four.color.toString(), DeckPalette.workingGreen.toString())
        compare(deck.implicitWidth, 34 + 432 + 34)
        mouseClick(six)
        compare(settings.gridColumns, 6)
        tryCompare(deck, "implicitWidth", 34 + 656 + 34)
        verify(six.selected && !four.selected)
        compare(testSupport.storedValue("GridColumns"), "6")
        mouseClick(Find.byName(card, "rowPill3"))
        compare(settings.gridRows, 3)
        compare(Find.byName(deck, "keyGrid").children.length - 1, 18, "six by three keys")
    }

    function test_settingsCardGrowsAOneRowDeck() {
        const deck = makeDeck()
        settings.gridRows = 1
        deck.deckState.showSettings = true
        const overlay = opened(deck, "settingsOverlay")
        tryVerify(() => overlay.card.scale > 0.999, 5000)
        verify(overlay.cardHeight + 16 > deck.deckHeight, "the card is taller than a one-row deck")
        compare(deck.implicitHeight, Math.ceil(overlay.cardHeight + 16), "the deck grows to hold it")
        verify(overlay.fitScale >= 0.85, "never scaled below 0.85")
        deck.deckState.showSettings = false
        tryCompare(deck, "implicitHeight", Math.ceil(deck.deckHeight))
        deck.deckState.showSettings = true
        opened(deck, "settingsOverlay")
        // Still usable: a pill reached through the scaling.
        mouseClick(Find.byName(overlay, "rowPill2"))
        compare(settings.gridRows, 2)
    }

    function test_switches() {
        const deck = makeDeck()
        const tall = deck.deckHeight
        deck.deckState.showSettings = true
        const card = opened(deck, "settingsOverlay")
        mouseClick(Find.byName(card, "infoBarSwitch"))
        compare(settings.showInfoBar, false)
        tryCompare(deck, "deckHeight", tall - 84 - 22)
        // Online access from the settings card asks nothing.
        mouseClick(Find.byName(card, "onlineSwitch"))
        compare(settings.onlineAccess, true)
        compare(deck.deckState.showOnlinePrompt, false)
        mouseClick(Find.byName(card, "onlineSwitch"))
        compare(settings.onlineAccess, false)
        mouseClick(Find.byName(card, "notifySwitch"))
        compare(settings.notifyNeedsYou, false)
        const login = settings.launchAtLogin
        mouseClick(Find.byName(card, "launchAtLoginSwitch"))
        compare(settings.launchAtLogin, !login)
        mouseClick(Find.byName(card, "launchAtLoginSwitch"))
        compare(settings.launchAtLogin, login)
    }

    function test_onlineOffKeyPromptsAndGoesOnline() {
        const deck = makeDeck()
        const page = model.infoPageIndex
        tapKey(deck, 7) // kimiUsage, "online off"
        compare(deck.deckState.showOnlinePrompt, true)
        compare(model.infoPageIndex, page, "the page stays")
        const prompt = opened(deck, "onlinePromptOverlay")
        verify(Find.text(prompt, "ALLOW ONLINE ACCESS?"))
        mouseClick(Find.byName(prompt, "goOnlineButton"))
        compare(settings.onlineAccess, true)
        closed(deck, "onlinePromptOverlay")
        compare(testSupport.storedValue("OnlineAccessEnabled"), "true")
    }

    function test_notNowLeavesOnlineAccessOff() {
        const deck = makeDeck()
        deck.deckState.showOnlinePrompt = true
        const prompt = opened(deck, "onlinePromptOverlay")
        mouseClick(Find.byName(prompt, "notNowButton"))
        closed(deck, "onlinePromptOverlay")
        compare(settings.onlineAccess, false)
    }

    Component {
        id: settingsCardComponent
        SettingsCard { width: 250; height: implicitHeight }
    }
    SignalSpy { id: quitSpy; signalName: "quit" }
    SignalSpy { id: closeSpy; signalName: "close" }

    function test_quitRowAndCloseButtonOfTheSettingsCard() {
        testSupport.freshStore()
        const card = createTemporaryObject(settingsCardComponent, stage, { settings: testSupport.makeSettings() })
        quitSpy.target = card
        closeSpy.target = card
        mouseClick(Find.byName(card, "quitRow"))
        compare(quitSpy.count, 1)
        // The close button acts on release, even when dragged off.
        const close = Find.byName(card, "closeSettings")
        mousePress(close, 5, 5)
        mouseMove(close, -60, 80)
        mouseRelease(close, -60, 80)
        compare(closeSpy.count, 1)
    }

    // A long press opens the picker; a provider page's header leads back, and
    // an option on a provider page becomes the key's assignment.
    function test_pickerAssignsAnOptionFromAProviderPage() {
        const deck = makeDeck()
        Find.byName(deck, "key0").longPressAction()
        const picker = opened(deck, "pickerOverlay")
        verify(Find.text(picker, "KEY 1 SHOWS"))
        mouseClick(Find.text(picker, "Claude"))
        tryVerify(() => Find.text(picker, "CLAUDE") !== null)
        mouseClick(Find.text(picker, "CLAUDE"))
        compare(deck.deckState.pickerProviderID, "")
        compare(deck.deckState.editingSlot, 0)
        waitForItemPolished(Find.byName(picker, "pickerColumn"))
        mouseClick(Find.text(picker, "Codex"))
        tryVerify(() => Find.text(picker, "CODEX") !== null)
        waitForItemPolished(Find.byName(picker, "pickerColumn"))
        const option = deck.deckState.pickerRows.find(row => row.assignment === "codexLeft")
        mouseClick(Find.text(picker, option.label))
        compare(model.keyAssignments[0], "codexLeft")
        compare(deck.deckState.editingSlot, -1)
        closed(deck, "pickerOverlay")
    }
}
}
