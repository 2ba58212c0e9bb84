import QtQuick
import Vexlor

// What a key draws for its assignment, from the deck model's records.
Item {
    id: content
    property string assignment
    property DeckModel model
    // The deck is tucked away: nothing in the key moves.
    property bool quiet: false
    anchors.fill: parent

    // The agent or tile the key draws; read again whenever the records or
    // the assignment change.
    readonly property var face: model ? (model.agents, model.usage, model.keyFaceByName(assignment)) : undefined
    readonly property string kind: face ? face.kind : ""

    Loader {
        id: loader
        anchors.fill: parent
        sourceComponent: {
            switch (content.kind) {
            case "agent": return agentContent
            case "usage": return usageContent
            case "allAgents": return allAgentsContent
            case "clock": return clockContent
            case "info": return infoContent
            }
            return null
        }
    }
    readonly property alias item: loader.item

    Component {
        id: agentContent
        AgentKeyContent { agent: content.face.agent; quiet: content.quiet }
    }
    Component {
        id: usageContent
        UsageKeyContent {
            usage: content.face.usage
            showRemaining: content.face.showRemaining
            now: content.model ? content.model.now : 0
        }
    }
    Component {
        id: allAgentsContent
        AllAgentsKeyContent { model: content.model }
    }
    Component {
        id: clockContent
        ClockKeyContent { now: content.model ? content.model.now : 0 }
    }
    Component {
        id: infoContent
        InfoKeyContent { model: content.model }
    }
}
