#pragma once
// The collector for Kimi Code. Every pass reads the tool's session index, each
// session's state file and the end of each session's wire log: a session is
// working while its state changed in the last 90 seconds and idle otherwise
// (never in attention), and the usage holds the tokens of the last 24 hours
// and 7 days. Only wire-log parsing is cached, by file identity.

#include "collection/AgentCollector.h"

#include <QMutex>
#include <QStringList>

#include <memory>

namespace vexlor {

class KimiWireCache;

class KimiCodeCollector final : public AgentCollector {
public:
    struct Options {
        QString dataDirectory;
        Clock clock = systemClock();
    };

    // Reads KIMI_CODE_DATA_DIR ("~" expanded), else uses ~/.kimi-code.
    KimiCodeCollector();
    explicit KimiCodeCollector(Options options);
    ~KimiCodeCollector() override;

    [[nodiscard]] QString providerID() const override;
    [[nodiscard]] QString displayName() const override;
    [[nodiscard]] const QString& dataDirectory() const { return m_dataDirectory; }

    // The pass runs on a worker thread; the caller's thread stays free.
    QCoro::Task<ProviderReport> collect(CollectorContext context) override;
    // The index and the state files of the most recently active sessions.
    [[nodiscard]] QStringList watchPaths() const override;
    // The same pass, on the calling thread.
    [[nodiscard]] ProviderReport collectBlocking() const;

    [[nodiscard]] static QString defaultDataDirectory();

private:
    QString m_dataDirectory;
    Clock m_clock;
    std::shared_ptr<KimiWireCache> m_wireCache;
    mutable QMutex m_watchLock; // guards m_watchPaths
    QStringList m_watchPaths;
};

} // namespace vexlor
