pragma ComponentBehavior: Bound
import QtQuick
import Vexlor

// One information page, by its kind.
Item {
    id: holder
    property var page
    property DeckModel model
    readonly property string kind: page !== undefined && page !== null ? page.kind : ""

    // One repeater per kind; only the current kind's holds an item.
    Repeater {
        model: holder.kind === "summary" ? 1 : 0
        delegate: InfoSummaryPage {
            anchors.fill: parent
            model: holder.model
        }
    }
    Repeater {
        model: holder.kind === "agent" ? 1 : 0
        delegate: InfoAgentPage {
            anchors.fill: parent
            agent: holder.page ? holder.page.agent : undefined
            model: holder.model
            now: holder.model ? holder.model.now : 0
        }
    }
    Repeater {
        model: holder.kind === "usage" ? 1 : 0
        delegate: InfoUsagePage {
            anchors.fill: parent
            usage: holder.page ? holder.page.usage : undefined
        }
    }
    Repeater {
        model: holder.kind === "host" ? 1 : 0
        delegate: InfoHostPage {
            anchors.fill: parent
            host: holder.page ? holder.page.host : undefined
            now: holder.model ? holder.model.now : 0
        }
    }
}
