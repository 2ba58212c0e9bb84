import QtQuick
import QtTest
import Vexlor
import "helpers.js" as Find

// What each kind of key shows over a busy deck: Claude needs the user, Codex
// works, OpenCode is not installed, Kimi is idle; the usage tiles carry
// shares with resets ahead and behind, a token count and "online off".
Item {
    width: 400
    height: 400

    Item {
        id: stage
        anchors.fill: parent
    }

TestCase {
    name: "KeyContents"
    when: windowShown

    Component {
        id: keyComponent
        Item {
            width: 96
            height: 96
            property string assignment
            property alias model: content.model
            property alias content: content
            KeyContent {
                id: content
                face: content.model ? content.model.keyFaceByName(parent.assignment) : undefined
            }
        }
    }

    function makeKey(model, assignment) {
        return createTemporaryObject(keyComponent, stage, { model: model, assignment: assignment })
    }

    function init() {
        testSupport.freshStore()
    }

    function test_usageKeys_data() {
        return [
            { tag: "claude left", assignment: "claudeLeft", value: "63%", bar: 62 * 0.625,
              secondary: "5h left • ↺ 3h 5m" },
            { tag: "codex session used, reset in 90 s", assignment: "codexSessionUsed", value: "10%",
              bar: 6.2, secondary: "5h used • ↺ 1m" },
            { tag: "claude session, reset passed", assignment: "claudeSessionLeft", value: "80%",
              bar: 62 * 0.8, secondary: "5h left" },
            { tag: "tokens", assignment: "opencodeUsage", value: "1.23M", bar: 0, secondary: "$12.50 / 7d" },
            { tag: "online off", assignment: "kimiUsage", value: "—", bar: 0, secondary: "online off" },
        ]
    }
    function test_usageKeys(data) {
        const model = testSupport.makeModel("busy")
        const key = makeKey(model, data.assignment)
        const usage = key.content.item
        verify(usage, "a usage key draws its tile")
        compare(usage.valueText, data.value)
        compare(usage.secondaryText, data.secondary)
        fuzzyCompare(usage.barFillWidth, data.bar, 0.001)
        verify(Find.text(key, data.value), "the figure is on screen")
    }

    function test_missingSpendAndSessionTilesShowPlaceholders_data() {
        return [
            { tag: "spend", assignment: "claudeSpend", name: "CLAUDE", caption: "loading" },
            { tag: "claude session", assignment: "claudeSessionUsed", name: "CLAUDE", caption: "no session data" },
            { tag: "codex session", assignment: "codexSessionLeft", name: "CODEX", caption: "no session data" },
        ]
    }
    function test_missingSpendAndSessionTilesShowPlaceholders(data) {
        const model = testSupport.makeModel("bare")
        const key = makeKey(model, data.assignment)
        verify(Find.text(key, data.name), Find.texts(key).join(" | "))
        verify(Find.text(key, data.caption), Find.texts(key).join(" | "))
        verify(Find.text(key, "—"))
        // A plan key whose tile is missing draws nothing, as a spacer does.
        compare(makeKey(model, "codexUsed").content.item, null)
        compare(makeKey(model, "spacer").content.item, null)
    }

    function test_agentKeys_data() {
        return [
            { tag: "needs you", assignment: "claudeStatus", status: "NEED YOU", model: "opus-4",
              count: "1 attention", detail: "refactor parser" },
            { tag: "offline", assignment: "opencodeStatus", status: "NOT FOUND", model: "",
              count: "", detail: "not installed" },
            { tag: "idle, nothing open", assignment: "kimiStatus", status: "IDLE", model: "",
              count: "0 open", detail: "" },
        ]
    }
    function test_agentKeys(data) {
        const model = testSupport.makeModel("busy")
        const key = makeKey(model, data.assignment)
        const content = key.content.item
        verify(content)
        compare(Find.byName(content, "statusLabel").text, data.status)
        const modelLine = Find.byName(content, "modelLine")
        compare(modelLine.visible, data.model.length > 0)
        if (data.model.length > 0)
            compare(modelLine.text, data.model)
        const countLine = Find.byName(content, "countLine")
        compare(countLine.visible ? countLine.text : "", data.count)
        const detail = Find.byName(content, "detailLine")
        compare(detail.visible ? detail.text : "", data.detail)
    }

    function test_statusDotBreathes() {
        const model = testSupport.makeModel("busy")
        // Kimi is idle and OpenCode not installed: their dots hold still.
        const resting = [Find.byName(makeKey(model, "kimiStatus"), "statusDot"),
                         Find.byName(makeKey(model, "opencodeStatus"), "statusDot")]
        const key = makeKey(model, "claudeStatus")
        const dot = Find.byName(key, "statusDot")
        // The glow grows from 2 towards 6 and the needs-you dot dims to 0.5.
        tryVerify(() => dot.glowRadius > 4, 5000, "the glow breathes out")
        tryVerify(() => dot.dotOpacity < 0.75, 5000, "the needs-you dot dims")
        tryVerify(() => dot.glowRadius < 3, 5000, "and breathes back in")
        const working = Find.byName(makeKey(model, "codexStatus"), "statusDot")
        tryVerify(() => working.glowRadius > 4, 5000)
        compare(working.dotOpacity, 1, "only a needs-you dot dims")
        for (const still of resting) {
            compare(still.glowRadius, 2, "an idle or offline dot rests")
            compare(still.dotOpacity, 1)
        }
    }

    function test_longLinesShrinkALittleThenEndInAnEllipsis() {
        const model = testSupport.makeModel("busy")
        const key = makeKey(model, "codexStatus")
        const detail = Find.byName(key, "detailLine")
        detail.text = "a very long session title that cannot fit"
        verify(detail.fitScale < 1)
        compare(detail.fitScale, 0.9, "shrinks no further than its factor")
        compare(detail.label.lineCount, 1)
        verify(detail.label.truncated, "the rest is elided, not drawn past the key")
    }

    function test_allAgentsKey() {
        const model = testSupport.makeModel("busy")
        const key = makeKey(model, "allAgents")
        verify(Find.text(key, "ALL AGENTS"))
        compare(Find.byName(key, "openFigure").value, 7)
        compare(Find.byName(key, "needYouFigure").value, 1)
        verify(Find.text(key, "tap overview"))
    }

    function test_clockKeyFollowsTheModelsTick() {
        const model = testSupport.makeModel("busy")
        const key = makeKey(model, "clock")
        const clock = key.content.item
        const at = new Date(model.now * 1000)
        compare(clock.timeText, Qt.formatTime(at, "HH:mm"))
        compare(clock.dateText, at.toLocaleDateString(Qt.locale(), "ddd d MMM"))
        testSupport.advanceClock(3600 + 60)
        model.startTimers()
        const later = new Date((testSupport.now()) * 1000)
        tryCompare(clock, "timeText", Qt.formatTime(later, "HH:mm"), 5000)
    }

    function test_infoKeyCountsPages() {
        const model = testSupport.makeModel("busy")
        const key = makeKey(model, "info")
        // Summary, four agents, six tiles.
        compare(key.content.item.pageText, "INFO 1/11")
        model.advancePage(-1)
        compare(key.content.item.pageText, "INFO 11/11")
    }
}
}
