#pragma once
// The key-value store as a plain directory, which any file-sync tool can
// share between machines: each key is a file of that name holding the value.
//
// Setting a value writes a hidden temporary file beside it, syncs it to disk
// and renames it over the old file, so a reader sees the old value or the new
// one, never half of one; synchronize() syncs the directory so the rename
// itself survives a power cut. Outside changes are seen through a file-system
// watcher on the directory (started on request only) and reported with the
// names of the keys whose files appeared, changed or vanished; this store's
// own writes and removals are not reported. A burst of changes (a sync tool
// writes a temporary file, renames it, touches it) is looked at once, a
// quarter of a second after it began.

#include "KeyValueStore.h"
#include "collection/FileIdentity.h"

#include <QHash>
#include <memory>

class QFileSystemWatcher;
class QTimer;

namespace vexlor {

class DirectoryKeyValueStore final : public KeyValueStore {
    Q_OBJECT

public:
    // Larger files are refused on reading and writing.
    static constexpr qsizetype maximumValueBytes = 1024 * 1024;

    explicit DirectoryKeyValueStore(QString directory, QObject* parent = nullptr);
    ~DirectoryKeyValueStore() override;

    // $VEXLOR_KVS_DIR, else $XDG_DATA_HOME/vexlor/kvs (when absolute), else
    // ~/.local/share/vexlor/kvs.
    [[nodiscard]] static QString defaultDirectory();
    [[nodiscard]] const QString& directory() const { return m_directory; }

    [[nodiscard]] KeyValueRead value(const QString& key) const override;
    [[nodiscard]] KeyValueWrite setValue(const QString& key, const QByteArray& value) override;
    [[nodiscard]] KeyValueWrite synchronize() override;
    // The directory exists or can be created, and is writable.
    [[nodiscard]] bool hasIdentity() override;
    [[nodiscard]] QString identityProblem() const override { return m_identityProblem; }
    bool startObserving() override;
    [[nodiscard]] QStringList keys() const override;
    [[nodiscard]] KeyValueWrite removeValue(const QString& key) override;
    void checkForChanges() override;

private:
    [[nodiscard]] QString pathOf(const QString& key) const;
    [[nodiscard]] static std::optional<FileIdentity> stampOf(const QString& path);
    [[nodiscard]] QHash<QString, FileIdentity> scan() const;
    void rescan();
    void scheduleRescan();
    void rewatch(const QString& key);

    QString m_directory;
    QString m_identityProblem;
    bool m_observing = false;
    QHash<QString, FileIdentity> m_known; // last seen state of each key's file
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    std::unique_ptr<QTimer> m_rescanTimer;
};

} // namespace vexlor
