#include "AttentionNotices.h"

#include <QCoreApplication>
#include <algorithm>

namespace vexlor {

QString AttentionNotices::providerTitle(const QString& providerID)
{
    static const QHash<QString, QString> titles = {
        {QStringLiteral("claude"), QStringLiteral("Claude")},
        {QStringLiteral("codex"), QStringLiteral("Codex")},
        {QStringLiteral("opencode"), QStringLiteral("OpenCode")},
        {QStringLiteral("kimi"), QStringLiteral("Kimi Code")},
    };
    return titles.value(providerID, providerID);
}

QList<AttentionNotice> AttentionNotices::update(const QList<Agent>& agents)
{
    QList<AttentionNotice> notices;
    QHash<QString, QStringList> current;
    for (const Agent& agent : agents) {
        const QList<AgentSession> waiting = agent.attentionSessions();
        QStringList keys;
        for (const AgentSession& s : waiting)
            keys.append(s.id);
        const QStringList before = m_keys.value(agent.id);
        current.insert(agent.id, keys);
        if (!m_baselineTaken)
            continue;
        if (keys.isEmpty()) {
            if (!before.isEmpty())
                notices.append(AttentionNotice{AttentionNotice::Kind::close, agent.id, {}, {}});
            continue;
        }
        const auto entered = std::find_if(waiting.begin(), waiting.end(),
                                          [&before](const AgentSession& s) { return !before.contains(s.id); });
        if (entered == waiting.end())
            continue;
        AttentionNotice notice{AttentionNotice::Kind::show, agent.id, {}, {}};
        notice.summary = QCoreApplication::translate("AttentionNotices", "%1 needs you").arg(providerTitle(agent.id));
        QStringList body;
        if (!entered->title.isEmpty())
            body.append(entered->title);
        if (keys.size() > 1)
            body.append(QCoreApplication::translate("AttentionNotices", "+%1 more").arg(keys.size() - 1));
        notice.body = body.join(u' ');
        notices.append(notice);
    }
    m_keys = std::move(current);
    m_baselineTaken = true;
    return notices;
}

} // namespace vexlor
