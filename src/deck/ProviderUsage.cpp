#include "ProviderUsage.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace vexlor {

namespace {

// The context is the one the translation tools give ProviderUsage's members.
QString tr(const char* source)
{
    return QCoreApplication::translate("vexlor::ProviderUsage", source);
}

} // namespace

long long roundedPercent(double fraction)
{
    double p = fraction * 100.0;
    if (!std::isfinite(p))
        return 0;
    if (std::fabs(p) < 1e6)
        p = std::round(p * 1e9) / 1e9;
    return std::llround(p); // llround rounds halves away from zero
}

ProviderUsage ProviderUsage::captionTile(const QString& id, const QString& name, const QString& caption)
{
    const TilePalette neutral = neutralPalette();
    ProviderUsage tile;
    tile.id = id;
    tile.name = name;
    tile.tint = neutral.tint;
    tile.tileBackground = neutral.tileBackground;
    tile.kind = Unavailable{caption};
    return tile;
}

QString ProviderUsage::valueText() const
{
    if (const auto* p = std::get_if<Percent>(&kind))
        return QString::number(roundedPercent(p->fraction)) + u'%';
    if (const auto* t = std::get_if<Tokens>(&kind)) {
        // Fixed decimal point whatever the locale, as on every other figure
        // of the keys.
        if (t->count >= 1'000'000)
            return QString::asprintf("%.2fM", t->count / 1'000'000);
        return QString::asprintf("%.0fK", t->count / 1'000);
    }
    return QStringLiteral("\u2014");
}

QString ProviderUsage::detailText() const
{
    if (const auto* p = std::get_if<Percent>(&kind))
        return tr("%1 used").arg(p->window);
    if (const auto* t = std::get_if<Tokens>(&kind)) {
        if (t->cost > 0)
            return tr("$%1 / %2").arg(QLocale().toString(t->cost, 'f', 2), t->window);
        return tr("%1 tokens").arg(t->window);
    }
    const QString& c = std::get<Unavailable>(kind).caption;
    // The captions are fixed English texts; translate them where they are shown.
    static const char* const known[] = {
        QT_TRANSLATE_NOOP("ProviderUsage", "loading"),
        QT_TRANSLATE_NOOP("ProviderUsage", "no data"),
        QT_TRANSLATE_NOOP("ProviderUsage", "online off"),
        QT_TRANSLATE_NOOP("ProviderUsage", "not installed"),
    };
    for (const char* k : known) {
        if (c == QLatin1String(k))
            return QCoreApplication::translate("ProviderUsage", k);
    }
    return c;
}

QString ProviderUsage::kindName() const
{
    switch (kind.index()) {
    case 0:
        return QStringLiteral("percent");
    case 1:
        return QStringLiteral("tokens");
    default:
        return QStringLiteral("unavailable");
    }
}

double ProviderUsage::fraction() const
{
    const auto* p = std::get_if<Percent>(&kind);
    return p ? p->fraction : 0;
}

double ProviderUsage::tokenCount() const
{
    const auto* t = std::get_if<Tokens>(&kind);
    return t ? t->count : 0;
}

double ProviderUsage::cost() const
{
    const auto* t = std::get_if<Tokens>(&kind);
    return t ? t->cost : 0;
}

QString ProviderUsage::window() const
{
    if (const auto* p = std::get_if<Percent>(&kind))
        return p->window;
    if (const auto* t = std::get_if<Tokens>(&kind))
        return t->window;
    return QString();
}

QString ProviderUsage::caption() const
{
    const auto* u = std::get_if<Unavailable>(&kind);
    return u ? u->caption : QString();
}

} // namespace vexlor
