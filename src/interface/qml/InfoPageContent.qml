import QtQuick
import Vexlor

// One information page, by its kind.
Item {
    id: holder
    property var page
    property DeckModel model
    readonly property string kind: page !== undefined && page !== null ? page.kind : ""

    Loader {
        anchors.fill: parent
        sourceComponent: holder.kind === "summary" ? summary
                         : holder.kind === "agent" ? agent
                         : holder.kind === "usage" ? usage : null
    }
    Component {
        id: summary
        InfoSummaryPage { model: holder.model }
    }
    Component {
        id: agent
        InfoAgentPage {
            agent: holder.page.agent
            model: holder.model
            now: holder.model ? holder.model.now : 0
        }
    }
    Component {
        id: usage
        InfoUsagePage { usage: holder.page.usage }
    }
}
