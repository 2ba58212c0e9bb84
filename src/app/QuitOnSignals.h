#pragma once
// Ends the program through the event loop on SIGTERM, SIGINT and SIGHUP, so
// that an interrupted or terminated deck (or headless run) leaves the way a
// quit from the menu does: the loop returns, "about to quit" handlers run and
// destructors follow. The handler only writes the signal's number to a pipe;
// the event loop reads it and calls QCoreApplication::quit().

#include <QObject>

class QSocketNotifier;

namespace vexlor {

class QuitOnSignals final : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; the application object must exist. One instance
    // at a time; the previous handlers come back when it is destroyed.
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;
    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

    // Whether the handlers are in place (a pipe could be made).
    [[nodiscard]] bool isActive() const { return m_notifier != nullptr; }

private:
    void drain();

    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vexlor
