#pragma once
// The assignment picker's contents: the general options, the provider pages
// and the rows either page shows for a slot's current assignment.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace vexlor {

struct PickerProvider {
    QString id;
    QString name; // translated
    QStringList options;
};

struct PickerRow {
    enum class Kind { option, section, provider };
    Kind kind = Kind::option;
    QString label;
    bool selected = false;
    QString assignment; // option rows
    QString providerID; // provider rows
};

[[nodiscard]] const QList<PickerProvider>& pickerProviders();
[[nodiscard]] const QStringList& generalOptions();
[[nodiscard]] const PickerProvider* findPickerProvider(const QString& id);

using PickerLabel = std::function<QString(const QString& assignment)>;

// The main page (empty providerID, or one that names no provider): general
// options, the "PROVIDERS" section, then one row per provider. A provider's
// page: one row per option of that provider.
[[nodiscard]] QList<PickerRow> pickerRows(const QString& current, const QString& providerID, const PickerLabel& label);

// "KEY 1 SHOWS" on the main page, the provider's name in capitals on its page.
[[nodiscard]] QString pickerHeader(int slot, const QString& providerID);

} // namespace vexlor
