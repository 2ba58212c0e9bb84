#include "StatusBarText.h"

#include "KeyTexts.h"
#include "deck/AttentionNotices.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace vexlor::statusbar {

namespace {

QString tr(const char* source)
{
    return QCoreApplication::translate("vexlor::statusbar", source); // as the translation tools name it
}

// "Claude", "OpenCode", "Kimi Code" for an agent or a tile ("codex-usage").
QString title(const QString& id)
{
    return AttentionNotices::providerTitle(id.section(u'-', 0, 0));
}

int workingSessions(const Agent& agent)
{
    int n = 0;
    for (const AgentSession& s : agent.openSessions)
        n += s.state == AgentSession::State::working ? 1 : 0;
    // A working agent without rows (a live backend) still counts once.
    return agent.status == AgentStatus::working ? std::max(n, 1) : n;
}

QString agentLine(const Agent& agent)
{
    QString line = title(agent.id) + QStringLiteral(": ");
    if (agent.status == AgentStatus::offline)
        return line + agent.detailLine();
    line += agent.statusLabel();
    for (const QString& part : {agent.countLine(), agent.detailLine()})
        if (!part.isEmpty())
            line += QStringLiteral(" · ") + part;
    return line;
}

QString markupEscaped(const QString& text)
{
    return text.toHtmlEscaped().replace(QStringLiteral("&quot;"), QStringLiteral("\""));
}

} // namespace

Summary summarize(const QList<Agent>& agents, const QList<ProviderUsage>& usage, double nowSeconds)
{
    Summary summary;
    QStringList needy;
    QStringList lines;
    int working = 0;
    bool anyFound = false;
    for (const Agent& agent : agents) {
        if (agent.status == AgentStatus::needsYou)
            needy.append(title(agent.id));
        if (agent.status == AgentStatus::working || agent.status == AgentStatus::needsYou)
            working += workingSessions(agent);
        anyFound = anyFound || agent.status != AgentStatus::offline;
        lines.append(agentLine(agent));
    }
    for (const ProviderUsage& tile : usage) {
        lines.append(QString(title(tile.id) + u' ' + tile.valueText() + u' '
                             + keytext::usageSecondary(tile, false, nowSeconds)));
        if (const auto* p = std::get_if<ProviderUsage::Percent>(&tile.kind)) {
            const int percent = static_cast<int>(std::lround(std::clamp(p->fraction, 0.0, 1.0) * 100));
            if (summary.topWindow.isEmpty() || percent > summary.percentage) {
                summary.percentage = percent;
                summary.topWindow = title(tile.id) + u' ' + p->window + u' ' + tile.valueText();
            }
        }
    }
    const QString workingText = tr("%1 working").arg(working);
    if (!needy.isEmpty()) {
        summary.cssClass = QStringLiteral("needs-you");
        summary.text = QStringLiteral("⚠ ") + needy.join(QStringLiteral(", "));
        if (working > 0)
            summary.text += QStringLiteral(" · ") + workingText;
    } else if (working > 0) {
        summary.cssClass = QStringLiteral("working");
        summary.text = workingText;
    } else {
        summary.cssClass = QStringLiteral("idle");
        summary.text = anyFound ? tr("idle") : tr("no agents");
    }
    summary.tooltip = lines.join(u'\n');
    return summary;
}

QByteArray waybarLine(const Summary& summary)
{
    const QJsonObject object{
        {QStringLiteral("text"), markupEscaped(summary.text)},
        {QStringLiteral("tooltip"), markupEscaped(summary.tooltip)},
        {QStringLiteral("class"), summary.cssClass},
        {QStringLiteral("alt"), summary.cssClass},
        {QStringLiteral("percentage"), summary.percentage},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray plainLine(const Summary& summary)
{
    QString line = summary.text;
    if (!summary.topWindow.isEmpty())
        line += QStringLiteral(" · ") + summary.topWindow;
    return line.toUtf8();
}

} // namespace vexlor::statusbar
