import QtQuick
import QtTest
import Vexlor
import "helpers.js" as Find

// The agent overlays over a busy deck model: the session sheet for each kind
// of agent, acknowledging, and the all-agents list; and the same deck in a
// fleet.
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

    // The fake fleet: "devbox" (seen 12 s ago) needs the user under Claude
    // and has used 90% of its plan; "ci" is offline with Codex at work.
    function test_fleetMergesKeysSessionsAndPages() {
        const deck = makeDeck()
        testSupport.joinFleet(model)

        // Claude's key: both machines wait, devbox's model is the newer one.
        const claudeKey = Find.byName(deck, "key0")
        for (const t of ["NEED YOU", "2 attention", "sonnet-4.5"])
            verify(Find.text(claudeKey, t), t + " in " + Find.texts(claudeKey).join(" | "))
        // The offline host's three Codex sessions count for nothing.
        verify(Find.text(Find.byName(deck, "key1"), "2 active"), Find.texts(Find.byName(deck, "key1")).join(" | "))

        // The fleet key: this machine and devbox online, both need you.
        deck.deckState.longPress(2)
        deck.deckState.choosePickerOption("fleet")
        const fleetKey = Find.byName(deck, "key2")
        tryVerify(() => Find.text(fleetKey, "FLEET"), 5000, Find.texts(fleetKey).join(" | "))
        compare(Find.byName(fleetKey, "onlineFigure").value, 2)
        compare(Find.byName(fleetKey, "hostsNeedYouFigure").value, 2)

        // Every host's rows, this machine's first, remote titles as plain text.
        tapKey(deck, 0)
        const sheet = opened(deck, "sessionSheetOverlay")
        const titles = Find.allByName(sheet, "sessionTitle")
        compare(titles.map(t => t.text), ["laptop · refactor parser", "laptop · write docs", "laptop · idle shell",
                                          "devbox · Refactor the <b>billing</b> API"])
        compare(titles[3].textFormat, Text.PlainText)
        verify(Find.text(sheet, "2 more"), "six sessions, four rows")
        mouseClick(Find.byName(sheet, "acknowledgeButton"))
        compare(testSupport.acknowledged(), ["claude"], "this machine's hub")
        compare(testSupport.sentAcks(), ["devbox:claude"], "and the host that waits, not the offline one")
        closed(deck, "sessionSheetOverlay")

        // The summary counts the hosts; each other host has a page after the
        // tiles; the fleet key leads to the one that needs you.
        const current = Find.byName(deck, "currentPage")
        model.infoPageIndex = 0
        tryVerify(() => Find.text(current, "3 HOSTS"), 5000, Find.texts(current).join(" | "))
        tapKey(deck, 2)
        compare(model.infoPageIndex, model.infoPageCount - 1)
        for (const t of ["devbox", "NEED YOU", "seen 12 s ago", "CLAUDE", "1 attention", "CLAUDE 90% 5h used"])
            tryVerify(() => Find.text(current, t), 5000, t + " in " + Find.texts(current).join(" | "))
        model.infoPageIndex = model.infoPageCount - 2
        tryVerify(() => Find.text(current, "OFFLINE"), 5000, Find.texts(current).join(" | "))
        verify(Find.text(current, "ci"))
        compare(Find.byName(current, "hostPage").opacity, 0.45, "an offline host is greyed out")
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
