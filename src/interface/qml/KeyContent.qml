import QtQuick
import Vexlor

// What a key draws for its assignment, from the deck model's records.
Item {
    id: content
    property string assignment
    property QtObject model
    // The deck is tucked away: nothing in the key moves.
    property bool quiet: false
    anchors.fill: parent

    readonly property var agentIDs: ({
        claudeStatus: "claude", codexStatus: "codex", opencodeStatus: "opencode", kimiStatus: "kimi"
    })
    // Assignment: [how the tile is found, its id or prefix, remaining share].
    readonly property var usageKeys: ({
        claudeUsed: ["prefix", "claude", false], claudeLeft: ["prefix", "claude", true],
        codexUsed: ["prefix", "codex", false], codexLeft: ["prefix", "codex", true],
        opencodeUsage: ["prefix", "opencode", false], kimiUsage: ["prefix", "kimi", false],
        claudeSpend: ["id", "claude-spend", false],
        claudeSessionUsed: ["id", "claude-session", false], claudeSessionLeft: ["id", "claude-session", true],
        codexSessionUsed: ["id", "codex-session", false], codexSessionLeft: ["id", "codex-session", true]
    })

    readonly property var agent: model && agentIDs[assignment] !== undefined
        ? (model.agents, model.agentById(agentIDs[assignment])) : undefined
    readonly property var usageKey: usageKeys[assignment]
    // Tiles found by id (spend, session) fall back to a placeholder.
    readonly property var usage: {
        if (!model || !usageKey)
            return undefined
        model.usage // re-read when the tiles change
        if (usageKey[0] === "prefix")
            return model.usageByPrefix(usageKey[1])
        const tile = model.usageById(usageKey[1])
        if (tile !== undefined)
            return tile
        model.agents // the caption follows the provider's agent
        const provider = model.agentById(usageKey[1].split("-")[0])
        return KeyTexts.placeholderTile(usageKey[1], provider !== undefined && provider.status === "offline")
    }

    Loader {
        id: loader
        anchors.fill: parent
        sourceComponent: {
            if (!content.model)
                return null
            if (content.agentIDs[content.assignment] !== undefined)
                return content.agent !== undefined ? agentContent : null
            if (content.usageKey)
                return content.usage !== undefined ? usageContent : null
            switch (content.assignment) {
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
        AgentKeyContent { agent: content.agent; quiet: content.quiet }
    }
    Component {
        id: usageContent
        UsageKeyContent {
            usage: content.usage
            showRemaining: content.usageKey ? content.usageKey[2] : false
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
