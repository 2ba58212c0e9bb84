#pragma once
// One page of the information bar: the summary, an agent, a usage tile or
// another host of the fleet.

#include "Agent.h"
#include "FleetView.h"
#include "ProviderUsage.h"

#include <variant>

namespace vexlor {

struct InfoPage {
    Q_GADGET
    Q_PROPERTY(int id READ pageId)
    // "agent", "usage", "summary" or "host".
    Q_PROPERTY(QString kind READ kindName)
    // The page's Agent / ProviderUsage, or undefined for other kinds.
    Q_PROPERTY(QVariant agent READ agentValue)
    Q_PROPERTY(QVariant usage READ usageValue)
    // The page's FleetHostView, or undefined.
    Q_PROPERTY(QVariant host READ hostValue)

public:
    struct Summary {
        bool operator==(const Summary&) const = default;
    };
    using Content = std::variant<Agent, ProviderUsage, Summary, FleetHostView>;

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
        case 3:
            return QStringLiteral("host");
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

    [[nodiscard]] QVariant hostValue() const
    {
        const auto* h = std::get_if<FleetHostView>(&content);
        return h ? QVariant::fromValue(*h) : QVariant();
    }

    bool operator==(const InfoPage&) const = default;
};

} // namespace vexlor
