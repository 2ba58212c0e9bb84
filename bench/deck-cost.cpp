// What the always-on deck costs while it sits on screen:
//   deck-cost [--vexlor PATH] [--settle S] [--seconds S] [--only HOME]
//             [--transcripts DIR] [--transcript-bytes N] [--headless-seconds S]
//
// Runs the real deck (`vexlor`, next to this program's folder by default) on
// an X display with a window manager, starting its own Xvfb and openbox when
// DISPLAY is not set, on these homes:
//   floor    a bare Qt Quick window of the deck's size, same flags and renderer
//   empty    a home without any agent (the tips card waits for a click)
//   still    the same without the information bar and its page turns
//   demo     `vexlor --demo`, whose agents change every few seconds
//   working  one Claude session at work (its dot breathes), nothing else moves
// For each it prints one JSON line: the share of one core used over
// `--seconds` (20) after `--settle` (10) seconds, the frames drawn per second
// over the same time (counted by the deck itself under VEXLOR_FRAME_STATS=1),
// the peak resident memory and the time from start to the first frame shown.
// Then `vexlor --headless --interval 3` on about 1 GB of Claude transcripts
// (written by spend-gen unless --transcripts names a tree): the share of one
// core over `--headless-seconds` (60) once the first pass is out.
//
// With `--floor WxH` the program is itself the floor window.

#include "FrameStats.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <signal.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct Options {
    QString vexlor;
    QString self;
    double settle = 10;
    double seconds = 20;
    double headlessSeconds = 60;
    QString only;
    QString transcripts;
    qint64 transcriptBytes = 1024LL * 1024 * 1024;
};

// CPU time (user + system) of a process in seconds, from /proc/PID/stat.
std::optional<double> cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray stat = f.readAll();
    // The command name may hold spaces; the fields start after its ')'.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    // Fields 14 and 15 of the whole line (utime, stime) are 11 and 12 here.
    const double ticks = fields[11].toDouble() + fields[12].toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// Peak resident memory (VmHWM) in MB.
double peakRssMb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double round1(double v)
{
    return std::round(v * 100) / 100;
}

// A child process whose standard error is read line by line as it comes.
class Child {
public:
    // `channel`: the one whose lines are awaited (the frame lines come on
    // standard error, the headless snapshots on standard output).
    Child(const QString& program, const QStringList& arguments, const QProcessEnvironment& env,
          QProcess::ProcessChannel channel = QProcess::StandardError)
    {
        m_process.setProcessEnvironment(env);
        m_process.setReadChannel(channel);
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_clock.start();
        m_process.start();
        if (!m_process.waitForStarted(10000))
            qFatal("cannot start %s", qPrintable(program));
    }
    ~Child() { stop(); }

    qint64 pid() const { return m_process.processId(); }
    double elapsed() const { return m_clock.nsecsElapsed() / 1e9; }

    // Reads what the child writes until `seconds` after its start.
    void runUntil(double seconds)
    {
        while (elapsed() < seconds && m_process.state() == QProcess::Running) {
            const int wait = std::max(1, int((seconds - elapsed()) * 1000));
            if (m_process.waitForReadyRead(std::min(wait, 200)))
                read();
        }
        read();
    }
    // Reads until `line` matches, or gives up after `seconds` from start.
    bool waitFor(const std::function<bool()>& done, double seconds)
    {
        while (!done()) {
            if (elapsed() > seconds || m_process.state() != QProcess::Running)
                return false;
            if (m_process.waitForReadyRead(200))
                read();
        }
        return true;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    std::optional<double> firstFrame;
    qint64 frames = 0;
    int stdoutLines = 0;
    std::optional<double> firstStdoutLine;

private:
    void read()
    {
        m_err += m_process.readAllStandardError();
        qsizetype end;
        while ((end = m_err.indexOf('\n')) >= 0) {
            const QByteArray line = m_err.left(end);
            m_err.remove(0, end + 1);
            if (line.startsWith("vexlor-frames: first frame") && !firstFrame)
                firstFrame = elapsed();
            static const QRegularExpression total(QStringLiteral("^vexlor-frames: \\d+ fps, (\\d+) in all"));
            const auto match = total.match(QString::fromUtf8(line));
            if (match.hasMatch())
                frames = match.captured(1).toLongLong();
        }
        const QByteArray out = m_process.readAllStandardOutput();
        if (!out.isEmpty() && !firstStdoutLine)
            firstStdoutLine = elapsed();
        stdoutLines += out.count('\n');
    }

    QProcess m_process;
    QElapsedTimer m_clock;
    QByteArray m_err;
};

// Xvfb and openbox of our own when no display is given.
class XSession {
public:
    XSession()
    {
        m_name = qEnvironmentVariable("DISPLAY");
        if (!m_name.isEmpty())
            return;
        int n = 90;
        while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            ++n;
        m_name = QStringLiteral(":%1").arg(n);
        m_xvfb.start(QStringLiteral("Xvfb"), {m_name, QStringLiteral("-screen"), QStringLiteral("0"),
                                             QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                                             QStringLiteral("tcp")});
        QElapsedTimer wait;
        wait.start();
        while (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) && wait.elapsed() < 10000)
            QThread::msleep(50);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_name);
        m_wm.setProcessEnvironment(env);
        m_wm.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        // The window manager is up once it names its check window on the root.
        while (wait.elapsed() < 15000) {
            QProcess probe;
            probe.setProcessEnvironment(env);
            probe.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
            probe.waitForFinished(3000);
            if (probe.readAllStandardOutput().contains("window id"))
                break;
            QThread::msleep(100);
        }
    }
    ~XSession()
    {
        for (QProcess* p : {&m_wm, &m_xvfb}) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            p->waitForFinished(3000);
        }
    }
    QString name() const { return m_name; }
    bool own() const { return m_xvfb.state() != QProcess::NotRunning; }

private:
    QString m_name;
    QProcess m_xvfb;
    QProcess m_wm;
};

// An environment that sees only the scratch home.
QProcessEnvironment scratchEnvironment(const QString& home, const QString& display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"CLAUDE_CONFIG_DIR", "CLAUDE_CODE_OAUTH_TOKEN", "CODEX_HOME", "KIMI_CODE_DATA_DIR",
                             "OPENCODE_DATA_DIR", "VEXLOR_CLAUDE_USAGE_URL", "VEXLOR_CODEX_USAGE_URL",
                             "QT_QPA_PLATFORM", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    env.insert(QStringLiteral("VEXLOR_KVS_DIR"), home + QStringLiteral("/kvs"));
    env.insert(QStringLiteral("VEXLOR_FRAME_STATS"), QStringLiteral("1"));
    env.insert(QStringLiteral("DISPLAY"), display);
    QDir().mkpath(home + QStringLiteral("/run"));
    QFile::setPermissions(home + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return env;
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(data);
}

// One Claude session that stays at work for as long as this program lives:
// its status file names our pid and says "working".
void writeWorkingClaude(const QString& claudeDir)
{
    const QString id = QStringLiteral("7f3c2a10-5b6e-4d21-9c8f-0a1b2c3d4e5f");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    writeFile(claudeDir + QStringLiteral("/sessions/") + id + QStringLiteral(".json"),
              QJsonDocument(QJsonObject{{QStringLiteral("sessionId"), id},
                                        {QStringLiteral("pid"), QCoreApplication::applicationPid()},
                                        {QStringLiteral("status"), QStringLiteral("working")},
                                        {QStringLiteral("updatedAt"), double(now)},
                                        {QStringLiteral("statusUpdatedAt"), double(now)},
                                        {QStringLiteral("name"), QStringLiteral("Speed up the parser")},
                                        {QStringLiteral("cwd"), QStringLiteral("/home/bench/parser")}})
                  .toJson(QJsonDocument::Compact));
    const QString at = QDateTime::fromMSecsSinceEpoch(now - 5000, Qt::UTC).toString(Qt::ISODateWithMs);
    writeFile(claudeDir + QStringLiteral("/projects/-home-bench-parser/") + id + QStringLiteral(".jsonl"),
              QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("user")},
                                        {QStringLiteral("timestamp"), at},
                                        {QStringLiteral("message"), QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                                                                {QStringLiteral("content"), QStringLiteral("go")}}}})
                      .toJson(QJsonDocument::Compact)
                  + '\n');
}

// The deck's size: the largest top-level window named "Vexlor" (the tray and
// Qt's helper windows carry the name too).
QString windowSize(const QProcessEnvironment& env)
{
    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    probe.waitForFinished(5000);
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    static const QRegularExpression deck(QStringLiteral("\"Vexlor\".*\\s(\\d+)x(\\d+)[+-]"));
    QString best;
    int bestArea = 0;
    for (const QString& line : out.split(QLatin1Char('\n'))) {
        const auto m = deck.match(line);
        const int area = m.hasMatch() ? m.captured(1).toInt() * m.captured(2).toInt() : 0;
        if (area > bestArea) {
            bestArea = area;
            best = m.captured(1) + QLatin1Char('x') + m.captured(2);
        }
    }
    return best;
}

void print(const QJsonObject& line)
{
    std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

// Runs one program to the end of the measured window and reports it.
QJsonObject measure(const QString& home, const QString& program, const QStringList& arguments,
                    const QProcessEnvironment& env, const Options& options, QString* size = nullptr)
{
    Child child(program, arguments, env);
    child.runUntil(options.settle);
    const auto cpu0 = cpuSeconds(child.pid());
    const qint64 frames0 = child.frames;
    const double t0 = child.elapsed();
    if (size)
        *size = windowSize(env);
    child.runUntil(options.settle + options.seconds);
    const auto cpu1 = cpuSeconds(child.pid());
    const qint64 frames1 = child.frames;
    const double t1 = child.elapsed();
    const double rss = peakRssMb(child.pid());
    child.stop();
    QJsonObject line{{QStringLiteral("home"), home}};
    if (!cpu0 || !cpu1) {
        line[QStringLiteral("error")] = QStringLiteral("the program ended early");
        return line;
    }
    line[QStringLiteral("cpu_percent")] = round1(100 * (*cpu1 - *cpu0) / (t1 - t0));
    line[QStringLiteral("fps")] = round1(double(frames1 - frames0) / (t1 - t0));
    line[QStringLiteral("peak_rss_mb")] = round1(rss);
    line[QStringLiteral("first_frame_s")] = child.firstFrame ? QJsonValue(round1(*child.firstFrame)) : QJsonValue();
    line[QStringLiteral("seconds")] = round1(t1 - t0);
    return line;
}

int runFloor(int argc, char* argv[], const QString& size)
{
    QElapsedTimer started;
    started.start();
    vexlor::chooseRenderingPath();
    QGuiApplication app(argc, argv);
    const QStringList wh = size.split(QLatin1Char('x'));
    const int width = wh.value(0).toInt() > 0 ? wh.value(0).toInt() : 500;
    const int height = wh.value(1).toInt() > 0 ? wh.value(1).toInt() : 389;
    // An empty QML window with the deck's size and window flags, as the qml
    // tool would show it.
    QQmlApplicationEngine engine;
    engine.loadData(QStringLiteral("import QtQuick\nWindow {\n"
                                   "    width: %1; height: %2; color: \"transparent\"; title: \"Vexlor floor\"\n"
                                   "    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint"
                                   " | Qt.WindowDoesNotAcceptFocus\n"
                                   "}\n")
                        .arg(width)
                        .arg(height)
                        .toUtf8());
    auto* window = engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    if (!window)
        return 1;
    vexlor::FrameStats stats(window, started);
    stats.startPrinting();
    window->show();
    return app.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--floor") == 0)
            return runFloor(argc, argv, QString::fromLocal8Bit(argv[i + 1]));
    }
    QCoreApplication app(argc, argv);
    Options options;
    options.self = QCoreApplication::applicationFilePath();
    options.vexlor = QCoreApplication::applicationDirPath() + QStringLiteral("/../vexlor");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (args[i] == QLatin1String("--vexlor"))
            options.vexlor = next, ++i;
        else if (args[i] == QLatin1String("--settle"))
            options.settle = next.toDouble(), ++i;
        else if (args[i] == QLatin1String("--seconds"))
            options.seconds = next.toDouble(), ++i;
        else if (args[i] == QLatin1String("--headless-seconds"))
            options.headlessSeconds = next.toDouble(), ++i;
        else if (args[i] == QLatin1String("--only"))
            options.only = next, ++i;
        else if (args[i] == QLatin1String("--transcripts"))
            options.transcripts = next, ++i;
        else if (args[i] == QLatin1String("--transcript-bytes"))
            options.transcriptBytes = next.toLongLong(), ++i;
        else {
            std::fprintf(stderr, "deck-cost: unknown option %s\n", qPrintable(args[i]));
            return 2;
        }
    }
    const auto wanted = [&](const char* home) { return options.only.isEmpty() || options.only == QLatin1String(home); };

    XSession display;
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/deck-cost-XXXXXX"));
    QString deckSize = QStringLiteral("500x389");
    double floorRss = 0;

    // The empty home first: it tells the deck's size for the floor.
    QJsonObject empty;
    if (wanted("empty") || wanted("floor")) {
        const QString home = scratch.filePath(QStringLiteral("empty"));
        QString size;
        empty = measure(QStringLiteral("empty"), options.vexlor, {}, scratchEnvironment(home, display.name()), options, &size);
        if (!size.isEmpty())
            deckSize = size;
    }
    if (wanted("floor")) {
        const QString home = scratch.filePath(QStringLiteral("floor"));
        QJsonObject floor = measure(QStringLiteral("floor"), options.self, {QStringLiteral("--floor"), deckSize},
                                    scratchEnvironment(home, display.name()), options);
        floor[QStringLiteral("size")] = deckSize;
        floorRss = floor.value(QStringLiteral("peak_rss_mb")).toDouble();
        print(floor);
    }
    const auto withRatio = [&](QJsonObject line) {
        if (floorRss > 0 && line.contains(QStringLiteral("peak_rss_mb")))
            line[QStringLiteral("rss_vs_floor")] = round1(line.value(QStringLiteral("peak_rss_mb")).toDouble() / floorRss);
        line[QStringLiteral("display")] = display.own() ? QStringLiteral("own Xvfb + openbox") : display.name();
        return line;
    };
    if (wanted("empty"))
        print(withRatio(empty));
    // The empty home again without the information bar, whose page turn is
    // the one thing such a deck draws.
    if (wanted("still")) {
        const QString home = scratch.filePath(QStringLiteral("still"));
        writeFile(home + QStringLiteral("/.config/vexlor/preferences.json"), R"({"ShowInfoBar": false})");
        print(withRatio(measure(QStringLiteral("still"), options.vexlor, {}, scratchEnvironment(home, display.name()),
                                options)));
    }
    if (wanted("demo")) {
        const QString home = scratch.filePath(QStringLiteral("demo"));
        print(withRatio(measure(QStringLiteral("demo"), options.vexlor, {QStringLiteral("--demo")},
                                scratchEnvironment(home, display.name()), options)));
    }
    if (wanted("working")) {
        const QString home = scratch.filePath(QStringLiteral("working"));
        writeWorkingClaude(home + QStringLiteral("/.claude"));
        print(withRatio(measure(QStringLiteral("working"), options.vexlor, {}, scratchEnvironment(home, display.name()),
                                options)));
    }

    if (wanted("headless")) {
        QString tree = options.transcripts;
        if (tree.isEmpty()) {
            tree = scratch.filePath(QStringLiteral("transcripts"));
            QProcess gen;
            gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            gen.start(QCoreApplication::applicationDirPath() + QStringLiteral("/spend-gen"),
                      {tree, QStringLiteral("--bytes"), QString::number(options.transcriptBytes)});
            gen.waitForFinished(-1);
            gen.readAllStandardOutput();
        }
        const QString home = scratch.filePath(QStringLiteral("headless"));
        QProcessEnvironment env = scratchEnvironment(home, display.name());
        env.insert(QStringLiteral("CLAUDE_CONFIG_DIR"), tree);
        Child child(options.vexlor, {QStringLiteral("--headless"), QStringLiteral("--interval"), QStringLiteral("3")}, env,
                    QProcess::StandardOutput);
        qint64 bytes = 0;
        for (QDirIterator it(tree, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            it.next();
            bytes += it.fileInfo().size();
        }
        QJsonObject line{{QStringLiteral("home"), QStringLiteral("headless")},
                         {QStringLiteral("transcript_mb"), round1(bytes / 1048576.0)}};
        if (!child.waitFor([&] { return child.stdoutLines > 0; }, 600)) {
            line[QStringLiteral("error")] = QStringLiteral("no first pass");
            print(line);
            return 1;
        }
        const double t0 = child.elapsed();
        const auto cpu0 = cpuSeconds(child.pid());
        child.runUntil(t0 + options.headlessSeconds);
        const auto cpu1 = cpuSeconds(child.pid());
        const double t1 = child.elapsed();
        line[QStringLiteral("first_pass_s")] = round1(t0);
        if (cpu0 && cpu1)
            line[QStringLiteral("cpu_percent")] = round1(100 * (*cpu1 - *cpu0) / (t1 - t0));
        line[QStringLiteral("seconds")] = round1(t1 - t0);
        line[QStringLiteral("passes")] = child.stdoutLines;
        line[QStringLiteral("peak_rss_mb")] = round1(peakRssMb(child.pid()));
        child.stop();
        print(line);
    }
    return 0;
}
