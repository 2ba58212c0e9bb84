#include "PickerCatalog.h"

#include "collection/ProviderCatalog.h"

#include <QCoreApplication>

namespace vexlor {

const QList<PickerProvider>& pickerProviders()
{
    static const QList<PickerProvider> providers = [] {
        QList<PickerProvider> out;
        for (const ProviderInfo& p : providerCatalog()) {
            QStringList options;
            for (const ProviderKey& key : p.keys)
                options.append(QString::fromUtf16(key.name));
            out.append({p.id, p.translatedPickerName(), options});
        }
        return out;
    }();
    return providers;
}

const QStringList& generalOptions()
{
    static const QStringList options{QStringLiteral("allAgents"), QStringLiteral("fleet"), QStringLiteral("info"),
                                     QStringLiteral("clock"), QStringLiteral("spacer")};
    return options;
}

const PickerProvider* findPickerProvider(const QString& id)
{
    for (const auto& provider : pickerProviders()) {
        if (provider.id == id)
            return &provider;
    }
    return nullptr;
}

namespace {
PickerRow optionRow(const QString& option, const QString& current, const PickerLabel& label)
{
    PickerRow row;
    row.kind = PickerRow::Kind::option;
    row.label = label(option);
    row.selected = option == current;
    row.assignment = option;
    return row;
}
} // namespace

QList<PickerRow> pickerRows(const QString& current, const QString& providerID, const PickerLabel& label)
{
    QList<PickerRow> rows;
    if (const auto* provider = findPickerProvider(providerID)) {
        for (const auto& option : provider->options)
            rows.append(optionRow(option, current, label));
        return rows;
    }
    for (const auto& option : generalOptions())
        rows.append(optionRow(option, current, label));
    PickerRow section;
    section.kind = PickerRow::Kind::section;
    section.label = QCoreApplication::translate("DeckView", "PROVIDERS");
    rows.append(section);
    for (const auto& provider : pickerProviders()) {
        PickerRow row;
        row.kind = PickerRow::Kind::provider;
        row.label = provider.name;
        row.selected = provider.options.contains(current);
        row.providerID = provider.id;
        rows.append(row);
    }
    return rows;
}

QString pickerHeader(int slot, const QString& providerID)
{
    if (const auto* provider = findPickerProvider(providerID))
        return provider->name.toUpper();
    return QCoreApplication::translate("DeckView", "KEY %1 SHOWS").arg(slot + 1);
}

} // namespace vexlor
