#pragma once
// A small key-value store of data values, the backing of deck sync. Values
// are set and read whole under string keys; a store reports values changed by
// someone else and whether it has an identity to write under. Kept abstract so
// that other backends (and in-memory fakes in tests) can stand in for the
// directory store. Main thread only.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace vexlor {

struct KeyValueRead {
    std::optional<QByteArray> value; // absent when nothing is stored or on error
    QString error;                   // set when the value exists but cannot be read
};

struct KeyValueWrite {
    bool ok = true;
    QString error;
    [[nodiscard]] static KeyValueWrite failure(const QString& message) { return {false, message}; }
};

class KeyValueStore : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~KeyValueStore() override = default;

    [[nodiscard]] virtual KeyValueRead value(const QString& key) const = 0;
    // Replaces the value as a whole: a reader sees the old or the new value,
    // never a mix.
    [[nodiscard]] virtual KeyValueWrite setValue(const QString& key, const QByteArray& value) = 0;
    // Makes the values set so far durable.
    [[nodiscard]] virtual KeyValueWrite synchronize() = 0;
    // Whether there is an identity (an account, a writable place) to write under.
    [[nodiscard]] virtual bool hasIdentity() = 0;
    // Why the last hasIdentity() found none, as a log line says it (for
    // example which folder could not be created, and why); empty when the
    // store cannot tell.
    [[nodiscard]] virtual QString identityProblem() const { return {}; }
    // Starts emitting changedExternally; false when this store cannot observe.
    virtual bool startObserving() = 0;
    // Every key that holds a value now, in no particular order; empty when
    // this store cannot list its keys.
    [[nodiscard]] virtual QStringList keys() const { return {}; }
    // Removes the value under `key`; removing a missing value succeeds.
    [[nodiscard]] virtual KeyValueWrite removeValue(const QString& key);
    // After startObserving(): looks for outside changes now and reports them,
    // for backends whose notifications can be missed.
    virtual void checkForChanges() {}

    // Keys name files in some backends, so only safe file names are keys: not
    // empty, at most 255 UTF-8 bytes, no "/", no NUL, no ".." anywhere and no
    // leading "." (which also keeps keys apart from hidden temporary files).
    [[nodiscard]] static bool isValidKey(QStringView key);

signals:
    // Values under these keys were changed, added or removed from outside.
    void changedExternally(const QStringList& keys);
};

} // namespace vexlor
