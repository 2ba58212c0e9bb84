#pragma once
// One deck per user. The first start takes a lock file in the runtime folder
// and listens on a local socket beside it; a later start finds the lock
// held, connects to that socket to ask the running deck to show itself, and
// ends. A lock left by a crashed process (its pid is gone) is taken over.

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace vexlor {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        primary,        // this process holds the lock and listens
        alreadyRunning, // another deck runs and was asked to show itself
        failed,         // the runtime folder is unusable: run without the guard
    };

    // `runtimeDirectory` holds "<name>.lock" and the socket "<name>.socket".
    explicit SingleInstance(QString runtimeDirectory, QString name = QStringLiteral("vexlor"), QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR when it names a folder, else a private per-user
    // folder under the temporary directory.
    [[nodiscard]] static QString defaultRuntimeDirectory();

    [[nodiscard]] Claim claim();
    [[nodiscard]] QString lockPath() const;
    [[nodiscard]] QString socketPath() const;

signals:
    // Another start asked the running deck to come forward.
    void showRequested();

private:
    bool listen();
    bool askRunningToShow();

    QString m_directory;
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace vexlor
