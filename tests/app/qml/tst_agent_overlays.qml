import QtQuick
import QtTest
import Vexlor
import "helpers.js" as Find

// The agent overlays over a busy deck model: the session sheet for each kind
// of agent, acknowledging, and the all-agents list.
Item {
    width: 800
    height: 800

    Item {
        id: stage
        anchors.fill: parent
    }

DeckTestCase {
    name: "AgentOverlays"
    deckStage: stage

    function test_needsYouSheetAcknowledges() {
        const deck = makeDeck()
        tapKey(deck, 0) // claudeStatus
        compare(deck.deckState.sheetAgentID, "claude")
        compare(model.infoPageIndex, 1, "the bar moved to Claude's page")
        const sheet = opened(deck, "sessionSheetOverlay")
        verify(Find.text(sheet, "CLAUDE NEEDS YOU"))
        compare(Find.allByName(sheet, "sessionRow").length, 3)
        verify(Find.text(sheet, "2 more"), "five sessions, three rows")
        verify(Find.text(sheet, "waiting 1:15"), "the waiting session's time, labelled")
        compare(Find.byName(sheet, "laterButton").text, "Later")
        const acknowledge = Find.byName(sheet, "acknowledgeButton")
        verify(acknowledge.visible)
        mouseClick(acknowledge)
        compare(testSupport.acknowledged(), ["claude"], "the hub hears about Claude")
        compare(deck.deckState.sheetAgentID, "")
        closed(deck, "sessionSheetOverlay")
    }

    function test_workingAgentWithAttentionSessionAcknowledgesNothing() {
        const deck = makeDeck()
        testSupport.setAgentStatus(model, "claude", "working")
        deck.deckState.sheetAgentID = "claude"
        const sheet = opened(deck, "sessionSheetOverlay")
        verify(Find.text(sheet, "CLAUDE NEEDS YOU"))
        compare(Find.byName(sheet, "laterButton").text, "Later")
        mouseClick(Find.byName(sheet, "acknowledgeButton"))
        compare(testSupport.acknowledged(), [], "only a needs-you agent reaches the hub")
        compare(deck.deckState.sheetAgentID, "", "but the sheet closes")
        compare(model.agentById("claude").status, "working", "and nothing else changed")
    }

    function test_workingSheetOnlyCloses() {
        const deck = makeDeck()
        tapKey(deck, 1) // codexStatus
        const sheet = opened(deck, "sessionSheetOverlay")
        verify(Find.text(sheet, "CODEX WORKING"))
        compare(Find.allByName(sheet, "sessionRow").length, 2)
        verify(!Find.byName(sheet, "hiddenSessions").visible)
        compare(Find.byName(sheet, "laterButton").text, "Close")
        verify(!Find.byName(sheet, "acknowledgeButton").visible)
        mouseClick(Find.byName(sheet, "laterButton"))
        closed(deck, "sessionSheetOverlay")
        compare(testSupport.acknowledged(), [])
    }

    function test_agentWithoutSessionsOpensNoSheet() {
        const deck = makeDeck()
        tapKey(deck, 3) // kimiStatus: idle, nothing open
        compare(deck.deckState.sheetAgentID, "")
        compare(model.infoPageIndex, 4)
        // Opened by hand, the sheet says so.
        deck.deckState.sheetAgentID = "kimi"
        const sheet = opened(deck, "sessionSheetOverlay")
        verify(Find.text(sheet, "No open sessions right now."))
        compare(Find.byName(sheet, "laterButton").text, "Close")
        verify(!Find.byName(sheet, "acknowledgeButton").visible)
    }

    function test_allAgentsList() {
        const deck = makeDeck()
        deck.deckState.showAgentList = true
        const list = opened(deck, "agentListOverlay")
        verify(Find.text(list, "AGENTS"))
        verify(Find.text(list, "not installed"), "OpenCode is offline")
        verify(Find.text(list, "opus-4 · sonnet-4"))
        verify(Find.text(list, "no recent model"), "Kimi has no model")
        const figures = Find.allByName(list, "agentSessions").map(t => t.text)
        compare(figures, ["5", "2"], "only agents with sessions show a figure")
        mouseClick(Find.byName(list, "closeAgentList"))
        closed(deck, "agentListOverlay")
    }
}
}
