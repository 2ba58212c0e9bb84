#pragma once
// One usage tile of the deck (a plan window's share, a token count with its
// cost, or a caption when there is no figure) and the texts shown for it.

#include "collection/Rgba.h"
#include "collection/Timestamp.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <optional>
#include <variant>

namespace vexlor {

struct ProviderUsage {
    Q_GADGET
    Q_PROPERTY(QString id READ tileId)
    Q_PROPERTY(QString name READ tileName)
    Q_PROPERTY(vexlor::Rgba tint READ tintColour)
    Q_PROPERTY(vexlor::Rgba tileBackground READ backgroundColour)
    // "percent", "tokens" or "unavailable", and the members of that kind
    // (the others read as 0 or empty).
    Q_PROPERTY(QString kind READ kindName)
    Q_PROPERTY(double fraction READ fraction)
    Q_PROPERTY(double count READ tokenCount)
    Q_PROPERTY(double cost READ cost)
    Q_PROPERTY(QString window READ window)
    Q_PROPERTY(QString caption READ caption)
    // Text, or undefined.
    Q_PROPERTY(QVariant secondaryText READ secondaryTextValue)
    // Seconds since 1970, or undefined.
    Q_PROPERTY(QVariant resetsAt READ resetsAtSeconds)
    Q_PROPERTY(QString valueText READ valueText)
    Q_PROPERTY(QString detailText READ detailText)

public:
    // The used share of a window, 0...1.
    struct Percent {
        double fraction = 0;
        QString window;
        bool operator==(const Percent&) const = default;
    };
    // A token count and its cost in US dollars (0 when unknown).
    struct Tokens {
        double count = 0;
        double cost = 0;
        QString window;
        bool operator==(const Tokens&) const = default;
    };
    // No figure; the caption is kept in English ("loading", "no data",
    // "online off", "not installed") and translated by detailText().
    struct Unavailable {
        QString caption;
        bool operator==(const Unavailable&) const = default;
    };
    using Kind = std::variant<Percent, Tokens, Unavailable>;

    QString id;   // "claude-usage", "claude-session", "claude-spend", ...
    QString name; // the provider's display name
    Rgba tint;
    Rgba tileBackground;
    Kind kind = Unavailable{};
    std::optional<QString> secondaryText;
    std::optional<Timestamp> resetsAt;

    // A tile without a figure in the neutral colours.
    [[nodiscard]] static ProviderUsage captionTile(const QString& id, const QString& name, const QString& caption);

    // "43%", "1.23M", "46K" or an em dash.
    [[nodiscard]] QString valueText() const;
    // "7d used", "$12.50 / 7d" (locale-aware money), "7d tokens", or the
    // translated caption.
    [[nodiscard]] QString detailText() const;

    [[nodiscard]] QString tileId() const { return id; }
    [[nodiscard]] QString tileName() const { return name; }
    [[nodiscard]] Rgba tintColour() const { return tint; }
    [[nodiscard]] Rgba backgroundColour() const { return tileBackground; }
    [[nodiscard]] QString kindName() const;
    [[nodiscard]] double fraction() const;
    [[nodiscard]] double tokenCount() const;
    [[nodiscard]] double cost() const;
    [[nodiscard]] QString window() const;
    [[nodiscard]] QString caption() const;
    [[nodiscard]] QVariant secondaryTextValue() const { return secondaryText ? QVariant(*secondaryText) : QVariant(); }
    [[nodiscard]] QVariant resetsAtSeconds() const { return resetsAt ? QVariant(resetsAt->seconds()) : QVariant(); }

    bool operator==(const ProviderUsage&) const = default;
};

// A fraction as a whole percentage, rounded half away from zero. The product
// is first snapped to 9 decimals so that 0.285 (28.499999999999996 in binary)
// counts as the 28.5 it stands for and gives 29.
[[nodiscard]] long long roundedPercent(double fraction);

} // namespace vexlor
