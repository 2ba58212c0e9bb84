pragma ComponentBehavior: Bound
import QtQuick
import Vexlor

// What a key draws for its assignment, from the deck model's records.
Item {
    id: content
    // What the key draws (a KeyFace: kind, agent, usage, showRemaining),
    // found by the deck's key list for the key's assignment.
    property var face
    property DeckModel model
    // The deck is tucked away: nothing in the key moves.
    property bool quiet: false
    anchors.fill: parent

    readonly property string kind: face ? face.kind : ""
    // The content drawn for the kind; null when the key draws nothing.
    property Item item: null

    // One repeater per kind; only the current kind's holds an item, made
    // when the kind starts and kept while it lasts.
    Repeater {
        model: content.kind === "agent" ? 1 : 0
        delegate: AgentKeyContent {
            anchors.fill: parent
            agent: content.face ? content.face.agent : undefined
            quiet: content.quiet
        }
        onItemAdded: (index, added) => content.item = added
        onItemRemoved: (index, removed) => content.forget(removed)
    }
    Repeater {
        model: content.kind === "usage" ? 1 : 0
        delegate: UsageKeyContent {
            anchors.fill: parent
            usage: content.face ? content.face.usage : undefined
            showRemaining: content.face ? content.face.showRemaining : false
            now: content.model ? content.model.now : 0
        }
        onItemAdded: (index, added) => content.item = added
        onItemRemoved: (index, removed) => content.forget(removed)
    }
    Repeater {
        model: content.kind === "allAgents" ? 1 : 0
        delegate: AllAgentsKeyContent {
            anchors.fill: parent
            model: content.model
        }
        onItemAdded: (index, added) => content.item = added
        onItemRemoved: (index, removed) => content.forget(removed)
    }
    Repeater {
        model: content.kind === "clock" ? 1 : 0
        delegate: ClockKeyContent {
            anchors.fill: parent
            now: content.model ? content.model.now : 0
        }
        onItemAdded: (index, added) => content.item = added
        onItemRemoved: (index, removed) => content.forget(removed)
    }
    Repeater {
        model: content.kind === "info" ? 1 : 0
        delegate: InfoKeyContent {
            anchors.fill: parent
            model: content.model
        }
        onItemAdded: (index, added) => content.item = added
        onItemRemoved: (index, removed) => content.forget(removed)
    }
    Repeater {
        model: content.kind === "fleet" ? 1 : 0
        delegate: FleetKeyContent {
            anchors.fill: parent
            model: content.model
        }
        onItemAdded: (index, added) => content.item = added
        onItemRemoved: (index, removed) => content.forget(removed)
    }
    function forget(removed) {
        if (item === removed)
            item = null
    }
}
