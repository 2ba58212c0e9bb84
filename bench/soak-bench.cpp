// A long headless run, to show that memory stays flat and no file
// descriptor leaks:
//   soak-bench [--seconds N] [--vexlor PATH]
// It builds a home in a temporary folder where a live Claude Code session
// (its status file names this process) and a Kimi Code session keep growing
// by a few records a second; every minute both move on to a new file and the
// old ones are deleted. `vexlor --headless --interval 0.2` runs over it for N
// seconds (600 by default). The resident set size (VmRSS) and the number of
// open descriptors of the vexlor process are sampled at start (ten seconds
// in), in the middle and at the end; the last line printed is one JSON object
// with them.

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

struct Sample {
    qint64 rssKb = -1;
    int fds = -1;
    double atSeconds = 0;
};

Sample sample(qint64 pid, double atSeconds)
{
    Sample s;
    s.atSeconds = atSeconds;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                s.rssKb = line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    if (fds.exists())
        s.fds = static_cast<int>(fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
    return s;
}

QString iso(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

QByteArray line(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool writeFile(const QString& path, const QByteArray& content, bool append = false)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile f(path);
    if (!f.open(append ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(content) == content.size();
}

class Home {
public:
    explicit Home(const QString& root)
        : m_root(root)
    {
    }

    // Starts generation `g`: a new transcript and Kimi session; the previous
    // generation's files are deleted.
    void rotate()
    {
        const int old = m_generation++;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        writeFile(m_root + QStringLiteral("/claude/sessions/soak.json"),
                  line({{QStringLiteral("sessionId"), claudeId()},
                        {QStringLiteral("pid"), QCoreApplication::applicationPid()},
                        {QStringLiteral("status"), QStringLiteral("working")},
                        {QStringLiteral("statusUpdatedAt"), double(now)},
                        {QStringLiteral("name"), QStringLiteral("Soak")}}));
        writeFile(m_root + QStringLiteral("/kimi/session_index.jsonl"),
                  line({{QStringLiteral("sessionId"), kimiId()}, {QStringLiteral("sessionDir"), kimiDir()}}), true);
        writeFile(kimiDir() + QStringLiteral("/state.json"),
                  line({{QStringLiteral("updatedAt"), iso(now)}, {QStringLiteral("title"), QStringLiteral("Soak")},
                        {QStringLiteral("workDir"), QStringLiteral("/soak")}}));
        if (old > 0) {
            QFile::remove(transcript(old));
            QDir(kimiDir(old)).removeRecursively();
        }
        ++m_rotations;
    }

    // A turn's worth of records in both tools.
    void grow()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        ++m_serial;
        const QJsonObject usage{{QStringLiteral("input_tokens"), 1000 + m_serial % 97},
                                {QStringLiteral("output_tokens"), 300},
                                {QStringLiteral("cache_read_input_tokens"), 20000}};
        writeFile(transcript(m_generation), line({{QStringLiteral("type"), QStringLiteral("user")},
                                                  {QStringLiteral("timestamp"), iso(now)},
                                                  {QStringLiteral("message"), QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}}}})
                      + line({{QStringLiteral("type"), QStringLiteral("assistant")},
                              {QStringLiteral("timestamp"), iso(now)},
                              {QStringLiteral("requestId"), QStringLiteral("req_%1").arg(m_serial)},
                              {QStringLiteral("message"), QJsonObject{{QStringLiteral("id"), QStringLiteral("msg_%1").arg(m_serial)},
                                                                      {QStringLiteral("model"), QStringLiteral("claude-sonnet-4-5-20250929")},
                                                                      {QStringLiteral("stop_reason"), QStringLiteral("tool_use")},
                                                                      {QStringLiteral("usage"), usage}}}}),
                  true);
        writeFile(kimiDir() + QStringLiteral("/agents/main/wire.jsonl"),
                  line({{QStringLiteral("type"), QStringLiteral("usage.record")},
                        {QStringLiteral("time"), double(now)},
                        {QStringLiteral("usage"), QJsonObject{{QStringLiteral("inputOther"), 500},
                                                              {QStringLiteral("output"), 200},
                                                              {QStringLiteral("inputCacheRead"), 9000}}}}),
                  true);
    }

    [[nodiscard]] int rotations() const { return m_rotations; }

private:
    [[nodiscard]] QString claudeId(int g = -1) const { return QStringLiteral("soak-%1").arg(g < 0 ? m_generation : g); }
    [[nodiscard]] QString kimiId(int g = -1) const { return QStringLiteral("kimi-soak-%1").arg(g < 0 ? m_generation : g); }
    [[nodiscard]] QString transcript(int g) const
    {
        return m_root + QStringLiteral("/claude/projects/-soak/%1.jsonl").arg(claudeId(g));
    }
    [[nodiscard]] QString kimiDir(int g = -1) const { return m_root + QStringLiteral("/kimi/sessions/") + kimiId(g); }

    QString m_root;
    int m_generation = 0;
    int m_rotations = 0;
    int m_serial = 0;
};

QJsonObject toJson(const Sample& s)
{
    return {{QStringLiteral("at_s"), s.atSeconds}, {QStringLiteral("rss_kb"), s.rssKb}, {QStringLiteral("fds"), s.fds}};
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int seconds = 600;
    QString vexlor = QCoreApplication::applicationDirPath() + QStringLiteral("/../vexlor");
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--seconds" && i + 1 < args.size())
            seconds = args[++i].toInt();
        else if (args[i] == u"--vexlor" && i + 1 < args.size())
            vexlor = args[++i];
        else {
            std::fprintf(stderr, "usage: soak-bench [--seconds N] [--vexlor PATH]\n");
            return 2;
        }
    }
    if (seconds < 30) {
        std::fprintf(stderr, "soak-bench: run for at least 30 seconds\n");
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    for (const char* sub : {"claude/projects/-soak", "codex", "kimi/sessions", "opencode", "config", "kvs"})
        QDir().mkpath(dir.path() + u'/' + QLatin1String(sub));
    Home home(dir.path());
    home.rotate();
    home.grow();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CLAUDE_CONFIG_DIR"), dir.path() + QStringLiteral("/claude"));
    env.insert(QStringLiteral("CODEX_HOME"), dir.path() + QStringLiteral("/codex"));
    env.insert(QStringLiteral("KIMI_CODE_DATA_DIR"), dir.path() + QStringLiteral("/kimi"));
    env.insert(QStringLiteral("OPENCODE_DATA_DIR"), dir.path() + QStringLiteral("/opencode"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("VEXLOR_KVS_DIR"), dir.path() + QStringLiteral("/kvs"));
    env.remove(QStringLiteral("CLAUDE_CODE_OAUTH_TOKEN"));

    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 snapshots = 0;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [&] {
        while (process.canReadLine()) {
            process.readLine();
            ++snapshots;
        }
    });
    process.start(vexlor, {QStringLiteral("--headless"), QStringLiteral("--interval"), QStringLiteral("0.2")});
    if (!process.waitForStarted(15000)) {
        std::fprintf(stderr, "soak-bench: cannot start %s\n", qPrintable(vexlor));
        return 1;
    }
    const qint64 pid = process.processId();

    QList<Sample> samples;
    int elapsed = 0;
    QTimer tick;
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, &app, [&] {
        ++elapsed;
        if (process.state() != QProcess::Running) {
            std::fprintf(stderr, "soak-bench: vexlor ended early\n");
            QCoreApplication::exit(1);
            return;
        }
        if (elapsed % 60 == 0)
            home.rotate();
        home.grow();
        if (elapsed == 10 || elapsed == seconds / 2 || elapsed == seconds) {
            samples << sample(pid, elapsed);
            std::printf("t=%ds rss=%lld kB fds=%d snapshots=%lld\n", elapsed, samples.last().rssKb, samples.last().fds,
                        snapshots);
            std::fflush(stdout);
        }
        if (elapsed >= seconds)
            QCoreApplication::exit(0);
    });
    tick.start();
    const int rc = QCoreApplication::exec();
    process.kill();
    process.waitForFinished(5000);
    if (rc != 0 || samples.size() != 3)
        return 1;

    const QJsonObject result{{QStringLiteral("seconds"), seconds},
                             {QStringLiteral("snapshots"), snapshots},
                             {QStringLiteral("rotations"), home.rotations()},
                             {QStringLiteral("start"), toJson(samples[0])},
                             {QStringLiteral("middle"), toJson(samples[1])},
                             {QStringLiteral("end"), toJson(samples[2])},
                             {QStringLiteral("rss_growth_kb"), samples[2].rssKb - samples[0].rssKb},
                             {QStringLiteral("fd_growth"), samples[2].fds - samples[0].fds}};
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    return 0;
}
