#pragma once
// Watches the files and folders the collectors named after their last pass
// (inotify through QFileSystemWatcher) and reports a burst of changes once,
// a short settle time after its first change. The set is bounded; paths that
// do not exist are left out until a later call names them again. When the
// system refuses a watch (its limit reached, no permission), the change is
// left to the polling loop: one log line for the life of the object, and no
// new watches are tried for a while. Main thread only.

#include <QDeadlineTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <chrono>

namespace vexlor {

class ChangeWatcher final : public QObject {
    Q_OBJECT

public:
    static constexpr qsizetype kMaxPaths = 256;
    static constexpr std::chrono::milliseconds kSettle{150};
    static constexpr std::chrono::minutes kRetryAfterRefusal{5};

    explicit ChangeWatcher(QObject* parent = nullptr);

    // Watches exactly the existing ones of `paths` (the first kMaxPaths
    // distinct ones), dropping the watches of paths no longer named.
    void watch(const QStringList& paths);
    [[nodiscard]] QStringList watched() const;

signals:
    // Once per burst of changes.
    void changed();

private:
    void noteChange(const QString& path, bool folder);
    void settle();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QSet<QString> m_changedFiles;
    QDeadlineTimer m_retryAt{0};
    bool m_refusalLogged = false;
};

} // namespace vexlor
