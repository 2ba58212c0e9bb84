#pragma once
// `vexlor --headless`: the real hub, collectors, preferences and sync service
// without any interface. Every applied pass is written to standard output as
// one line: snapshot JSON, or a status-bar line when asked for. "ack PROVIDER"
// lines on standard input acknowledge a provider. Sync log lines go to
// standard error so that standard output holds only snapshots. In a fleet
// (a broker or a shared folder) the snapshot also goes to the other hosts,
// acknowledgements may come from them, "ack PROVIDER HOST" asks another host
// to acknowledge, and each printed snapshot line gains a "fleet" member: the
// other hosts, sorted by name, each as {"host", "online", "seenAt", "agents"}.

#include "CommandLine.h"
#include "collection/AgentCollector.h"
#include "sync/FleetSource.h"

#include <QObject>
#include <QByteArray>
#include <chrono>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace vexlor {

class AppSettings;
class DeckAssembly;
class PreferencesStore;
struct DeckSnapshot;

class HeadlessRunner : public QObject {
    Q_OBJECT

public:
    struct Options {
        int passes = 0; // 0: run until killed
        std::chrono::milliseconds interval{3000};
        // Snapshot JSON, a Waybar object or a plain line per pass.
        CommandLine::Format format = CommandLine::Format::snapshot;
        // Empty: the four real collectors.
        std::vector<std::unique_ptr<AgentCollector>> collectors;
        // Null: no fleet.
        std::unique_ptr<FleetSource> fleet;
    };

    // `store` and `settings` must outlive the runner.
    HeadlessRunner(PreferencesStore& store, AppSettings& settings, Options options, QObject* parent = nullptr);
    ~HeadlessRunner() override;

    // Polling begins once the event loop runs, so that the exit after the
    // last counted pass always reaches a running loop.
    void start();

private:
    void printSnapshot(const DeckSnapshot& snapshot);
    [[nodiscard]] QByteArray fleetMember() const;
    void readInput();
    void handleLine(const QByteArray& line);

    Options m_options;
    PreferencesStore& m_store;
    AppSettings& m_settings;
    std::unique_ptr<DeckAssembly> m_parts;
    QSocketNotifier* m_input = nullptr;
    QByteArray m_pending;
    int m_printed = 0;
};

} // namespace vexlor
