#pragma once
// Record lists handed to QML as lists of gadgets.

#include <QList>
#include <QVariant>
#include <QVariantList>

namespace vexlor {

template <typename T>
[[nodiscard]] QVariantList toVariantList(const QList<T>& values)
{
    QVariantList out;
    out.reserve(values.size());
    for (const T& v : values)
        out.append(QVariant::fromValue(v));
    return out;
}

} // namespace vexlor
