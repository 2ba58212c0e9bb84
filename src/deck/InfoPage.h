#pragma once
// One page of the information bar: the summary, an agent or a usage tile.

#include "Agent.h"
#include "ProviderUsage.h"

#include <variant>

namespace vexlor {

struct InfoPage {
    Q_GADGET
    Q_PROPERTY(int id READ pageId)
    // "agent", "usage" or "summary".
    Q_PROPERTY(QString kind READ kindName)
    // The page's Agent / ProviderUsage, or undefined for other kinds.
    Q_PROPERTY(QVariant agent READ agentValue)
    Q_PROPERTY(QVariant usage READ usageValue)

public:
    struct Summary {
        bool operator==(const Summary&) const = default;
    };
    using Content = std::variant<Agent, ProviderUsage, Summary>;

    int id = 0;
    Content content = Summary{};

    [[nodiscard]] int pageId() const { return id; }
    [[nodiscard]] QString kindName() const
    {
        switch (content.index()) {
        case 0:
            return QStringLiteral("agent");
        case 1:
            return QStringLiteral("usage");
        default:
            return QStringLiteral("summary");
        }
    }
    [[nodiscard]] QVariant agentValue() const
    {
        const auto* a = std::get_if<Agent>(&content);
        return a ? QVariant::fromValue(*a) : QVariant();
    }
    [[nodiscard]] QVariant usageValue() const
    {
        const auto* u = std::get_if<ProviderUsage>(&content);
        return u ? QVariant::fromValue(*u) : QVariant();
    }

    bool operator==(const InfoPage&) const = default;
};

} // namespace vexlor
