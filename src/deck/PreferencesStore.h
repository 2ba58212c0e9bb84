#pragma once
// The per-user preferences store: one flat namespace of string keys kept as a
// single JSON object in $XDG_CONFIG_HOME/vexlor/preferences.json.
//
// Reads come from memory and never fail: a missing key or a value of the wrong
// type reads as missing (or false / 0 for the boolean and integer reads).
// Every write takes effect in memory at once and is saved straight away:
//   - under a QLockFile next to the file, the file is read again and this
//     store's changes are laid over it, so two processes writing different
//     keys never lose each other's keys;
//   - the new document goes to a temporary file that is flushed and synced,
//     then renamed over the old one (QSaveFile), and the folder is synced, so
//     a crash or power cut leaves either the old or the new file, never half
//     of one.
// A file that is not JSON, or whose top level is not an object, is renamed to
// "preferences.json.corrupt-<UTC time>" (never deleted, never overwritten) and
// the store carries on from what it knows. When saving fails (read-only or
// full disk, lock held elsewhere, unreadable file) the changes stay in memory,
// the file on disk is left as it was, and the next write tries again.
// Used on the main thread only; keys are never deleted.

#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace vexlor {

class PreferencesStore {
public:
    // A store kept in the file at `path` (created with its folders on the
    // first write). The file is read here.
    explicit PreferencesStore(QString path);

    PreferencesStore(const PreferencesStore&) = delete;
    PreferencesStore& operator=(const PreferencesStore&) = delete;

    // $XDG_CONFIG_HOME/vexlor/preferences.json, or ~/.config/... when the
    // variable is unset, empty or not an absolute path.
    [[nodiscard]] static QString defaultPath();
    // The process-wide store at defaultPath(), built on first use.
    [[nodiscard]] static PreferencesStore& shared();

    [[nodiscard]] const QString& path() const { return m_path; }

    // False when missing or not a boolean.
    [[nodiscard]] bool boolValue(const QString& key) const;
    // 0 when missing or not a whole number that fits an int.
    [[nodiscard]] int integerValue(const QString& key) const;
    // The stored value with its type; no value when the key is missing.
    [[nodiscard]] std::optional<QJsonValue> value(const QString& key) const;
    // No value when missing or not an array whose elements are all strings.
    [[nodiscard]] std::optional<QStringList> stringArray(const QString& key) const;
    // The object as stored (callers check each member's type); no value when
    // missing or not an object.
    [[nodiscard]] std::optional<QJsonObject> dictionary(const QString& key) const;

    void setBool(const QString& key, bool value);
    void setInteger(const QString& key, int value);
    void setStringArray(const QString& key, const QStringList& value);
    void setString(const QString& key, const QString& value);
    // Non-finite numbers cannot be written as JSON; their entries are left out.
    void setDoubleDictionary(const QString& key, const QMap<QString, double>& value);

    // True while some write has not reached the disk yet (it is retried with
    // the next write).
    [[nodiscard]] bool hasUnsavedChanges() const { return !m_pending.isEmpty(); }
    // Re-reads the file (keeping unsaved changes on top). For tests and for a
    // caller that knows another process wrote.
    void reload();

private:
    enum class ReadResult { missing, ok, corrupt, unreadable };
    ReadResult readFile(QJsonObject& out) const;
    bool moveAside() const;
    void write(const QString& key, const QJsonValue& value);
    bool save();

    QString m_path;
    QJsonObject m_values;                  // what reads see
    QHash<QString, QJsonValue> m_pending;  // written here, not yet on disk
};

} // namespace vexlor
