import QtQuick
import QtTest
import Vexlor
import "helpers.js" as Find

// The information bar over a busy deck: its pages, the counter, the arrows
// and the click that advance and wrap around, and the page change.
Item {
    width: 500
    height: 200

    Item {
        id: stage
        anchors.fill: parent
    }

TestCase {
    name: "InfoBar"
    when: windowShown

    Component {
        id: barComponent
        InfoBarView { width: 432; height: 84 }
    }

    function makeBar() {
        testSupport.freshStore()
        const model = testSupport.makeModel("busy")
        const bar = createTemporaryObject(barComponent, stage, { model: model })
        return bar
    }

    function counter(bar) {
        return Find.byName(bar, "pageCounter").text
    }

    function settled(bar) {
        tryVerify(() => !Find.byName(bar, "leavingPage").visible, 5000, "the old page has left")
    }

    function test_arrowsAndClickWrapAround() {
        const bar = makeBar()
        compare(counter(bar), "1/11")
        mouseClick(Find.byName(bar, "pageUp"))
        compare(bar.model.infoPageIndex, 10, "up on the first page goes to the last")
        compare(counter(bar), "11/11")
        mouseClick(Find.byName(bar, "pageDown"))
        compare(counter(bar), "1/11", "down on the last page goes to the first")
        mouseClick(Find.byName(bar, "pageCard"), 40, 40)
        compare(counter(bar), "2/11", "a click on the card advances")
        // An arrow acts on release, even when dragged off.
        const down = Find.byName(bar, "pageDown")
        mousePress(down, 5, 5)
        compare(bar.model.infoPageIndex, 1, "nothing happens on contact")
        mouseMove(down, -200, 40)
        mouseRelease(down, -200, 40)
        compare(bar.model.infoPageIndex, 2)
    }

    function test_pagesShowTheirContent() {
        const bar = makeBar()
        const current = Find.byName(bar, "currentPage")
        verify(Find.text(current, "ALL AGENTS"), Find.texts(current).join(" | "))
        verify(Find.text(current, "Claude · Codex · Opencode · Kimi"), "names fit a four-column bar")

        bar.model.infoPageIndex = 1
        settled(bar)
        for (const t of ["CLAUDE", "NEED YOU", "1 attention", "opus-4", "refactor parser"])
            verify(Find.text(current, t), t + " in " + Find.texts(current).join(" | "))

        bar.model.infoPageIndex = 2
        settled(bar)
        for (const t of ["CODEX", "WORKING", "working 1:02:05", "2 active", "gpt-5", "fix flaky test · bump deps"])
            verify(Find.text(current, t), t + " in " + Find.texts(current).join(" | "))

        bar.model.infoPageIndex = 3
        settled(bar)
        verify(!Find.text(current, "not installed"), "no session line for an agent without sessions")

        bar.model.infoPageIndex = 5
        settled(bar)
        for (const t of ["CLAUDE", "38%", "5h used"])
            verify(Find.text(current, t), t + " in " + Find.texts(current).join(" | "))
    }

    function test_pageChangeSlidesTheOldPageOut() {
        const bar = makeBar()
        const leaving = Find.byName(bar, "leavingPage")
        const current = Find.byName(bar, "currentPage")
        bar.model.advancePage(1)
        verify(leaving.visible, "the summary is on its way out " + bar.shownId + " " + bar.page.id + " " + bar.change)
        verify(Find.text(leaving, "ALL AGENTS"), "leaving shows: " + Find.texts(leaving).join(" | ") + " kind " + leaving.kind + " " + JSON.stringify(bar.leavingPage))
        tryVerify(() => leaving.x < -50, 5000, "it slides to the left")
        settled(bar)
        compare(current.x, 0)
        compare(current.opacity, 1)
        verify(Find.text(current, "CLAUDE"))
    }
}
}
