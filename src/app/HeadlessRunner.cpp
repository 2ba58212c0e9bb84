#include "HeadlessRunner.h"

#include "DeckAssembly.h"
#include "StatusBarText.h"
#include "collection/ProviderCatalog.h"
#include "deck/DeckModel.h"
#include "hub/CollectorHub.h"
#include "sync/FleetSource.h"
#include "sync/SnapshotJson.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace vexlor {

HeadlessRunner::HeadlessRunner(PreferencesStore& store, AppSettings& settings, Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_store(store)
    , m_settings(settings)
{
}

HeadlessRunner::~HeadlessRunner() = default;

void HeadlessRunner::start()
{
    DeckAssembly::Options parts;
    parts.collectors = std::move(m_options.collectors);
    parts.interval = m_options.interval;
    parts.fleet = std::move(m_options.fleet);
    m_parts = std::make_unique<DeckAssembly>(m_store, m_settings, std::move(parts));
    connect(&m_parts->hub(), &CollectorHub::passApplied, this, &HeadlessRunner::printSnapshot);

    m_input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_input, &QSocketNotifier::activated, this, &HeadlessRunner::readInput);

    // A pass whose workers all finish before they are awaited completes
    // without ever suspending, so started here it could print its snapshot
    // and ask the loop to quit before QCoreApplication::exec() began; the
    // request would be lost and a `--passes` run would never end.
    QTimer::singleShot(0, this, [this] { m_parts->hub().start(); });
}

void HeadlessRunner::printSnapshot(const DeckSnapshot& snapshot)
{
    if (m_options.passes > 0 && m_printed >= m_options.passes)
        return;
    QByteArray line;
    if (m_options.format == CommandLine::Format::snapshot) {
        const SnapshotEncoding encoded = SnapshotJson::encode(snapshot);
        if (!encoded.bytes) {
            fprintf(stderr, "vexlor: snapshot not printable: %s\n", qPrintable(encoded.error));
            return;
        }
        line = *encoded.bytes;
        if (m_parts->fleet() && line.endsWith('}'))
            line.insert(line.size() - 1, "," + fleetMember());
    } else {
        const statusbar::Summary summary
            = statusbar::summarize(m_parts->model().agents(), m_parts->model().usage(), Timestamp::now().seconds());
        line = m_options.format == CommandLine::Format::waybar ? statusbar::waybarLine(summary)
                                                                : statusbar::plainLine(summary);
    }
    line.append('\n');
    fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    fflush(stdout);
    ++m_printed;
    if (m_options.passes > 0 && m_printed >= m_options.passes)
        QCoreApplication::exit(0);
}

QByteArray HeadlessRunner::fleetMember() const
{
    QJsonArray hosts;
    for (const FleetHost& h : m_parts->fleet()->hosts()) {
        QJsonObject o;
        o.insert(QStringLiteral("host"), h.host);
        o.insert(QStringLiteral("online"), h.online);
        o.insert(QStringLiteral("seenAt"), SnapshotJson::formatTimestamp(h.seenAt).value_or(QString()));
        o.insert(QStringLiteral("agents"), SnapshotJson::encodeAgents(h.content.agents).value_or(QJsonArray()));
        hosts.append(o);
    }
    // The array's own text, behind its member name.
    const QByteArray text = QJsonDocument(QJsonObject{{QStringLiteral("fleet"), hosts}}).toJson(QJsonDocument::Compact);
    return text.mid(1, text.size() - 2);
}

void HeadlessRunner::readInput()
{
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        // End of input: keep polling, stop listening.
        m_input->setEnabled(false);
        if (!m_pending.isEmpty())
            handleLine(std::exchange(m_pending, {}));
        return;
    }
    m_pending.append(buffer, n);
    qsizetype newline;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        handleLine(line);
    }
    // A line without an end that grows without bound is not a command.
    if (m_pending.size() > 4096)
        m_pending.clear();
}

void HeadlessRunner::handleLine(const QByteArray& raw)
{
    const QByteArray line = raw.trimmed();
    const QList<QByteArray> words = line.simplified().split(' ');
    if (words.size() == 2 && words[0] == "ack" && findProvider(QString::fromUtf8(words[1]))) {
        m_parts->hub().acknowledge(QString::fromUtf8(words[1]));
        return;
    }
    // "ack PROVIDER HOST": ask another host of the fleet to acknowledge.
    if (m_parts->fleet() && words.size() == 3 && words[0] == "ack" && findProvider(QString::fromUtf8(words[1]))) {
        m_parts->fleet()->sendAck(QString::fromUtf8(words[2]), QString::fromUtf8(words[1]));
        return;
    }
    if (!line.isEmpty()) {
        QStringList ids;
        for (const ProviderInfo& p : providerCatalog())
            ids.append(p.id);
        const QString why = QCoreApplication::translate(
            "main", "ignoring input line (expected \"ack PROVIDER\" or, in a fleet, \"ack PROVIDER HOST\", "
                    "PROVIDER one of %1)").arg(ids.join(QStringLiteral(", ")));
        fprintf(stderr, "vexlor: %s\n", qPrintable(why));
    }
}

} // namespace vexlor
