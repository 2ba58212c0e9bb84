#pragma once
// Helpers shared by the tests: fixture files in temporary folders, running a
// coroutine to completion under an event loop, and setting a file's time.

#include "collection/Timestamp.h"

#include <QByteArray>
#include <QCoroTask>
#include <QEventLoop>
#include <QString>
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

// A snapshot of every path under `root` with size and mtime, to prove that
// nothing was created, changed or removed.
QString treeFingerprint(const QString& root);

} // namespace vexlor::test
