#pragma once
// One result row of a query: column name to value. Only numbers (integers
// and floats, as doubles) and texts are kept; NULL and BLOB columns are left
// out, so a missing column and an SQL NULL read the same.

#include <QHash>
#include <QString>
#include <optional>
#include <variant>

namespace vexlor {

class SqlRow {
public:
    using Value = std::variant<double, QString>;

    // A later column of the same name replaces an earlier one.
    void set(const QString& column, Value value) { m_values.insert(column, std::move(value)); }

    [[nodiscard]] bool contains(const QString& column) const { return m_values.contains(column); }
    [[nodiscard]] std::optional<double> number(const QString& column) const
    {
        const auto it = m_values.constFind(column);
        if (it != m_values.constEnd())
            if (const double* d = std::get_if<double>(&*it))
                return *d;
        return std::nullopt;
    }
    [[nodiscard]] std::optional<QString> text(const QString& column) const
    {
        const auto it = m_values.constFind(column);
        if (it != m_values.constEnd())
            if (const QString* s = std::get_if<QString>(&*it))
                return *s;
        return std::nullopt;
    }
    [[nodiscard]] qsizetype size() const { return m_values.size(); }
    bool operator==(const SqlRow&) const = default;

private:
    QHash<QString, Value> m_values;
};

} // namespace vexlor
