#pragma once
// Helpers shared by the tests: fixture files in temporary folders, running a
// coroutine to completion under an event loop, and setting a file's time.

#include "collection/AgentCollector.h"
#include "collection/Timestamp.h"
#include "deck/Agent.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QCoroTask>
#include <QEventLoop>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <optional>

namespace vexlor::test {

// Writes `content` to `dir/relative`, creating parent folders. Returns the
// absolute path.
QString writeFile(const QString& dir, const QString& relative, const QByteArray& content);
void appendFile(const QString& path, const QByteArray& content);
// Sets both access and modification time.
void setMtime(const QString& path, Timestamp when);

// Runs the task under a nested event loop until it finishes (or the timeout
// passes, which fails the calling test with no value).
template <typename T>
std::optional<T> runTask(QCoro::Task<T> task, int timeoutMs = 20000)
{
    std::optional<T> result;
    QEventLoop loop;
    bool done = false;
    auto wrapper = [&]() -> QCoro::Task<void> {
        result = co_await std::move(task);
        done = true;
        loop.quit();
    };
    auto running = wrapper();
    if (!done) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result;
}

// Runs one collector pass to its end; a pass that never ends stops the test.
ProviderReport pass(AgentCollector& collector, const CollectorContext& context = {});
// The ids of a report's sessions, in report order.
QStringList sessionIds(const ProviderReport& report);

// Sets (or, with no value, unsets) an environment variable until the end of
// the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray m_name;
    std::optional<QByteArray> m_saved;
};

// The built program, beside the test executables' folder.
QString vexlorBinary();

// A temporary home for `vexlor --headless`: every agent folder, the
// preferences and the sync folder live inside it.
struct HeadlessHome {
    QTemporaryDir dir;
    QString claude() const { return dir.path() + u"/claude"; }
    QString prefsBase() const { return dir.path() + u"/config"; }
    QString kvs() const { return dir.path() + u"/kvs"; }
    // A live Claude session: its status file names this test's process.
    void writeClaudeStatus(const QString& id, const QString& status, const QString& name, double statusUpdatedAtMs = 0) const;
    QProcessEnvironment environment() const;
};

// A snapshot of every path under `root` with size and mtime, to prove that
// nothing was created, changed or removed.
QString treeFingerprint(const QString& root);

// A deck agent as the hub hands it to the model, its name the id in capitals.
Agent deckAgent(const QString& id, AgentStatus status, int sessions = 0, QList<AgentSession> rows = {},
                QStringList models = {});
// An open-session row whose id is "x:<title>".
AgentSession sessionRow(const QString& title, AgentSession::State state, std::optional<double> since = std::nullopt);

} // namespace vexlor::test
