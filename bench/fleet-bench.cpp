// fleet-bench: N simulated hosts (default 50) publish a changed deck snapshot
// every second through a real local mosquitto broker; one `vexlor --headless`
// reads them all. Prints the reader's CPU share (percent of one core) and RSS,
// and the time from a host's publish to the reader holding that host's new
// deck (p50, p99), as one JSON line last.
//
//   fleet-bench [--hosts N] [--seconds S]
//
// The reader's holding is seen through its "vexlor.fleet" debug line, which
// it prints right after accepting a host's deck.

#include "BenchSupport.h"
#include "sync/DeckSnapshot.h"
#include "sync/SnapshotJson.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <unistd.h>

using namespace vexlor;
using vexlor::bench::cpuSeconds;
using SteadyClock = std::chrono::steady_clock;

namespace {

double rssMegabytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto at = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(at, v.size() - 1)];
}

// A host's deck: one Claude agent with a few sessions, one of them renamed
// on every round so the content changes.
QByteArray deckOf(int host, int round)
{
    SnapshotAgent claude{QStringLiteral("claude"), QStringLiteral("CLAUDE"), SnapshotAgentStatus::working, 3, std::nullopt,
                         {QStringLiteral("sonnet-4-5")}, QList<SnapshotAgentSession>{}};
    for (int i = 0; i < 3; ++i)
        claude.openSessions->append({QStringLiteral("claude:h%1-s%2").arg(host).arg(i),
                                     QStringLiteral("Refactor the billing API, round %1").arg(round + i),
                                     i == 0 ? SnapshotAgentSession::State::working : SnapshotAgentSession::State::idle,
                                     Timestamp::now()});
    DeckSnapshot s;
    s.capturedAt = Timestamp::now();
    s.content.agents = {claude};
    for (const char* id : {"codex", "opencode", "kimi"})
        s.content.agents.append({QString::fromLatin1(id), QString::fromLatin1(id).toUpper(), SnapshotAgentStatus::idle, 0,
                                 std::nullopt, {}, QList<SnapshotAgentSession>{}});
    return SnapshotJson::encode(s).bytes.value_or(QByteArray());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int hosts = 50;
    int seconds = 30;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--hosts")
            hosts = std::max(1, args[i + 1].toInt());
        else if (args[i] == u"--seconds")
            seconds = std::max(5, args[i + 1].toInt());
    }

    QTemporaryDir dir;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!conf.open(QIODevice::WriteOnly))
        qFatal("cannot write the broker's configuration");
    conf.write("listener " + QByteArray::number(port) + " 127.0.0.1\npersistence false\nuser root\nallow_anonymous true\n"
               "max_queued_messages 100000\n");
    conf.close();
    QProcess broker;
    broker.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), conf.fileName()});
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(200))
            break;
        QThread::msleep(100);
    }

    // The reader: an empty home of its own, with the fleet's debug line on.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"CLAUDE_CONFIG_DIR", "CODEX_HOME", "KIMI_CODE_DATA_DIR", "OPENCODE_DATA_DIR", "XDG_CONFIG_HOME", "VEXLOR_KVS_DIR"})
        env.insert(QString::fromLatin1(name), dir.filePath(QString::fromLatin1(name)));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vexlor.fleet.debug=true"));
    env.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{category} %{message}"));
    env.remove(QStringLiteral("VEXLOR_BROKER_PASSWORD"));
    QProcess reader;
    reader.setProcessEnvironment(env);
    reader.setProcessChannelMode(QProcess::SeparateChannels);
    reader.setStandardOutputFile(QProcess::nullDevice());
    const QString url = QStringLiteral("mqtt://127.0.0.1:%1/bench").arg(port);
    reader.start(QCoreApplication::applicationDirPath() + u"/../vexlor",
                 {QStringLiteral("--headless"), QStringLiteral("--broker"), url, QStringLiteral("--host"), QStringLiteral("reader")});
    if (!reader.waitForStarted(10000))
        qFatal("vexlor did not start");

    // The simulated hosts share one client; each publishes once a second at
    // its own offset within the second.
    mosquitto_lib_init();
    mosquitto* mosq = mosquitto_new("fleet-bench", true, nullptr);
    if (!mosq || mosquitto_connect(mosq, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS || mosquitto_loop_start(mosq) != MOSQ_ERR_SUCCESS)
        qFatal("cannot connect to the broker");

    QHash<QString, SteadyClock::time_point> publishedAt;
    std::vector<double> latencies;
    bool measuring = false;
    QByteArray pending;
    QObject::connect(&reader, &QProcess::readyReadStandardError, [&] {
        const auto now = SteadyClock::now();
        pending += reader.readAllStandardError();
        qsizetype nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(nl);
            pending.remove(0, nl + 1);
            if (!line.startsWith("vexlor.fleet held "))
                continue;
            const QString host = QString::fromUtf8(line.mid(18));
            const auto it = publishedAt.constFind(host);
            if (measuring && it != publishedAt.constEnd())
                latencies.push_back(std::chrono::duration<double, std::milli>(now - *it).count());
        }
    });

    int round = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1000 / hosts > 0 ? 1000 / hosts : 1);
    int next = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const QString host = QStringLiteral("h%1").arg(next);
        const QByteArray deck = deckOf(next, round);
        const QByteArray topic = "bench/" + host.toUtf8() + "/deck";
        publishedAt.insert(host, SteadyClock::now());
        mosquitto_publish(mosq, nullptr, topic.constData(), int(deck.size()), deck.constData(), 1, true);
        if (++next == hosts) {
            next = 0;
            ++round;
        }
    });
    tick.start();

    // Warm up, then measure CPU and latency over `seconds`.
    double cpuBefore = 0;
    QElapsedTimer wall;
    QTimer::singleShot(5000, [&] {
        measuring = true;
        cpuBefore = cpuSeconds(reader.processId());
        wall.start();
    });
    QTimer::singleShot(5000 + seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();

    const double cpu = 100.0 * (cpuSeconds(reader.processId()) - cpuBefore) / (static_cast<double>(wall.elapsed()) / 1000.0);
    const double rss = rssMegabytes(reader.processId());
    tick.stop();
    reader.terminate();
    reader.waitForFinished(5000);
    mosquitto_disconnect(mosq);
    mosquitto_loop_stop(mosq, false);
    mosquitto_destroy(mosq);
    broker.terminate();
    broker.waitForFinished(5000);

    const double expected = static_cast<double>(hosts) * seconds;
    std::printf("%d hosts, one publish each per second, %d s: reader CPU %.2f%% of a core, RSS %.1f MB; "
                "publish to held p50 %.2f ms, p99 %.2f ms over %zu decks (%.0f published)\n",
                hosts, seconds, cpu, rss, percentile(latencies, 0.5), percentile(latencies, 0.99), latencies.size(), expected);
    QJsonObject out{{QStringLiteral("bench"), QStringLiteral("fleet-bench")},
                    {QStringLiteral("hosts"), hosts},
                    {QStringLiteral("seconds"), seconds},
                    {QStringLiteral("readerCpuPercent"), cpu},
                    {QStringLiteral("readerRssMB"), rss},
                    {QStringLiteral("latencyP50ms"), percentile(latencies, 0.5)},
                    {QStringLiteral("latencyP99ms"), percentile(latencies, 0.99)},
                    {QStringLiteral("decksHeld"), static_cast<qint64>(latencies.size())},
                    {QStringLiteral("targetCpuPercent"), 5},
                    {QStringLiteral("targetP99ms"), 50}};
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    return 0;
}
