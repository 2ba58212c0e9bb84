#pragma once
// An in-memory key-value store for the sync service's tests: it records every
// write and synchronisation and can be told to lack an identity or to fail.

#include "sync/KeyValueStore.h"

#include <QHash>

namespace vexlor::test {

class FakeKeyValueStore final : public KeyValueStore {
public:
    QHash<QString, QByteArray> values;
    QList<QPair<QString, QByteArray>> writes;
    int synchronizeCount = 0;
    bool identity = true;
    QString failWritesWith; // non-empty: every write fails with this
    QString failReadsWith;
    bool observing = false;

    [[nodiscard]] KeyValueRead value(const QString& key) const override
    {
        if (!failReadsWith.isEmpty())
            return {std::nullopt, failReadsWith};
        const auto it = values.constFind(key);
        if (it == values.constEnd())
            return {};
        return {it.value(), QString()};
    }

    [[nodiscard]] KeyValueWrite setValue(const QString& key, const QByteArray& value) override
    {
        if (!failWritesWith.isEmpty())
            return KeyValueWrite::failure(failWritesWith);
        values.insert(key, value);
        writes.append({key, value});
        return {};
    }

    [[nodiscard]] KeyValueWrite synchronize() override
    {
        ++synchronizeCount;
        return {};
    }

    [[nodiscard]] bool hasIdentity() override { return identity; }

    bool startObserving() override
    {
        observing = true;
        return true;
    }

    // Simulates another device's write arriving.
    void changeFromOutside(const QString& key, const QByteArray& value)
    {
        values.insert(key, value);
        emit changedExternally({key});
    }
};

} // namespace vexlor::test
