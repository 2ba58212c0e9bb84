#pragma once
// Decides when the desktop is told that an agent needs the user: a provider's
// notice is shown when one of its sessions newly enters its attention set
// (shown again, replacing the first, when another enters while it is open),
// and closed when the set empties, as an acknowledgement empties it. The
// first pass only sets the baseline, so attention present at start-up is
// never announced, and an unchanged set is never announced twice. Plain
// values; the sender that talks to the desktop lives with the application.

#include "Agent.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace vexlor {

struct AttentionNotice {
    enum class Kind { show, close };

    Kind kind = Kind::show;
    QString providerID;
    QString summary; // "Claude needs you"
    QString body;    // the newly waiting session's title, and "+2 more"

    bool operator==(const AttentionNotice&) const = default;
};

class AttentionNotices {
public:
    // One applied pass's agents; returns the notices to show and close, in
    // agent order.
    [[nodiscard]] QList<AttentionNotice> update(const QList<Agent>& agents);

    // "Claude", "Codex", "OpenCode", "Kimi Code"; other ids as they are.
    [[nodiscard]] static QString providerTitle(const QString& providerID);

private:
    bool m_baselineTaken = false;
    QHash<QString, QStringList> m_keys; // attention session keys per provider
};

} // namespace vexlor
