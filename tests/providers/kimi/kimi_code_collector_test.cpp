// Kimi Code collector over index, state files and wire logs in temporary
// folders, with a fixed clock.

#include "TestSupport.h"
#include "fixtures/Fixtures.h"
#include "providers/kimi/KimiCodeCollector.h"
#include "providers/kimi/KimiWireUsage.h"

#include <QDir>
#include <QTest>

using namespace vexlor;
using namespace vexlor::test;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr double nowSeconds = 1780000000.0;

QByteArray isoAgo(double seconds)
{
    return Timestamp::fromSeconds(nowSeconds - seconds).toDateTime().toString(Qt::ISODateWithMs).toUtf8();
}

QByteArray number(double v)
{
    return QByteArray::number(v, 'g', 17);
}

QByteArray usageLine(double timeMs, const QByteArray& usage)
{
    return "{\"type\":\"usage.record\",\"time\":" + number(timeMs) + ",\"usage\":" + usage + "}\n";
}

// A Kimi data folder in a temporary folder.
struct KimiHome : fixtures::KimiHome {
    QTemporaryDir tmp;
    KimiHome() { root = tmp.path(); }
};

struct Run {
    double now = nowSeconds;
};

KimiCodeCollector makeCollector(const QString& dir, std::shared_ptr<Run> run = std::make_shared<Run>())
{
    return KimiCodeCollector({dir, [run] { return Timestamp::fromSeconds(run->now); }});
}

std::optional<double> tokens(const ProviderReport& r, const QString& label)
{
    for (const auto& w : r.usage.windows)
        if (w.label == label)
            return w.tokens;
    return std::nullopt;
}

} // namespace

class KimiCodeCollectorTest : public QObject {
    Q_OBJECT

private slots:
    void unusableIndexReportsItsError_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::newRow("not utf-8") << u"latin1"_s << u"bad session index encoding"_s;
        QTest::newRow("directory") << u"directory"_s << qt_error_string(EISDIR);
        QTest::newRow("dangling link") << u"link"_s << qt_error_string(ENOENT);
    }
    void unusableIndexReportsItsError()
    {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        KimiHome home;
        home.addSession(u"s1"_s, QByteArray("{\"title\":\"x\",\"updatedAt\":\"" + isoAgo(1) + "\"}"));
        const QString indexPath = home.root + u"/session_index.jsonl"_s;
        QFile::remove(indexPath);
        if (kind == u"latin1")
            writeFile(home.root, u"session_index.jsonl"_s, home.index + "{\"sessionId\":\"caf\xe9\"}\n");
        else if (kind == u"directory")
            QVERIFY(QDir().mkpath(indexPath));
        else
            QVERIFY(QFile::link(home.root + u"/nowhere"_s, indexPath));

        const ProviderReport r = makeCollector(home.root).collectBlocking();
        QVERIFY(r.installed);
        QVERIFY(r.sessions.isEmpty());
        QCOMPARE(r.usage, UsageSnapshot::failed(error, Timestamp::fromSeconds(nowSeconds)));
        QVERIFY(!r.spend);
    }

    void sessionFromStateFile_data()
    {
        QTest::addColumn<QByteArray>("state");   // "-" for a missing file
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("expectedState");
        QTest::addColumn<double>("activityAgo"); // < 0: distant past
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("model");      // empty: none

        auto row = [](const char* name, const QByteArray& state, const char* expected, double ago, const QString& title,
                      const QString& model = {}, const QString& id = u"abcdef0123"_s) {
            QTest::newRow(name) << state << id << QString::fromLatin1(expected) << ago << title << model;
        };
        const QString fallback = u"session abcdef"_s;
        row("updated 89 s ago", "{\"updatedAt\":\"" + isoAgo(89) + "\",\"title\":\"Port the parser\"}", "working", 89,
            u"Port the parser"_s, u"Port the parser"_s);
        row("updated 90 s ago", "{\"updatedAt\":\"" + isoAgo(90) + "\",\"title\":\"Port the parser\"}", "idle", 90,
            u"Port the parser"_s, u"Port the parser"_s);
        row("no updatedAt", "{\"title\":\"T\"}", "idle", -1, u"T"_s, u"T"_s);
        row("numeric updatedAt", "{\"updatedAt\":1780000000}", "idle", -1, fallback);
        row("placeholder title, prompt", "{\"title\":\"nEw SeSsIoN\",\"lastPrompt\":\"Fix the flaky test\"}", "idle", -1,
            u"Fix the flaky test"_s, u"nEw SeSsIoN"_s);
        row("workDir only", "{\"workDir\":\"/home/me/projects/vexlor/\"}", "idle", -1, u"vexlor"_s);
        row("short id", "{}", "idle", -1, u"session ab"_s, {}, u"ab"_s);
        row("broken json", "{\"title\":\"half", "idle", -1, fallback);
        row("missing file", "-", "idle", -1, fallback);
        const QByteArray longPrompt = QByteArray("Refactor ").repeated(8); // 72 characters
        row("long prompt", "{\"title\":\"\",\"lastPrompt\":\"" + longPrompt + "\"}", "idle", -1,
            QString::fromUtf8(longPrompt.left(60)).trimmed() + QChar(0x2026), QString::fromUtf8(longPrompt.left(40)));
        row("wrong-typed members", "{\"title\":7,\"lastPrompt\":[\"x\"],\"workDir\":{}}", "idle", -1, fallback);
    }
    void sessionFromStateFile()
    {
        QFETCH(QByteArray, state);
        QFETCH(QString, id);
        QFETCH(QString, expectedState);
        QFETCH(double, activityAgo);
        QFETCH(QString, title);
        QFETCH(QString, model);
        KimiHome home;
        home.addSession(id, state == "-" ? std::nullopt : std::optional(state));
        const ProviderReport r = makeCollector(home.root).collectBlocking();
        QVERIFY(r.installed);
        QCOMPARE(r.sessions.size(), 1);
        const SessionSnapshot& s = r.sessions.first();
        QCOMPARE(s.key, u"kimi:"_s + id);
        QCOMPARE(s.id, id);
        QCOMPARE(toString(s.state), expectedState);
        QVERIFY(s.isOpen);
        QVERIFY(!s.completionAt);
        if (activityAgo >= 0)
            QCOMPARE(s.activityAt, Timestamp::fromSeconds(nowSeconds - activityAgo));
        else
            QVERIFY(s.activityAt.isDistantPast());
        QCOMPARE(s.title, std::optional(title));
        QCOMPARE(s.model, model.isEmpty() ? std::nullopt : std::optional(model));
    }

    void indexLinesThatAreNotSessionsAreSkipped()
    {
        KimiHome home;
        // No session at all: installed, with both windows at zero.
        home.index = "not json\n{\"sessionId\":1}\n";
        home.writeIndex();
        ProviderReport r = makeCollector(home.root).collectBlocking();
        QVERIFY(r.installed);
        QVERIFY(r.sessions.isEmpty());
        const QList<UsageWindowSnapshot> zero{{u"24h"_s, std::nullopt, 0.0, std::nullopt, std::nullopt},
                                              {u"7d"_s, std::nullopt, 0.0, std::nullopt, std::nullopt}};
        QCOMPARE(r.usage, (UsageSnapshot{zero, {}, Timestamp::fromSeconds(nowSeconds), {}}));
        QVERIFY(!r.spend);

        home.index.clear();
        home.addSession(u"first"_s, QByteArray("{}"), usageLine(nowSeconds * 1000 - 1000, "{\"output\":5}"));
        home.index += "{\"sessionDir\":\"/x\",\"sessionId\":42}\n"      // numeric id
                      "{\"sessionId\":\"nodir\"}\n"                      // no directory
                      "[\"sessionDir\",\"sessionId\"]\n"                 // not an object
                      "\n"
                      "{\"sessionDir\":\"/x\",\"sessionId\":\"cut";      // half-written line
        home.index += '\n';
        home.addSession(u"second"_s, std::nullopt);
        // The first session listed again: one row, its tokens counted once.
        home.index += "{\"sessionDir\":\"" + home.sessionDir(u"first"_s).toUtf8() + "\",\"sessionId\":\"first\"}\n";
        home.writeIndex();

        r = makeCollector(home.root).collectBlocking();
        QStringList keys;
        for (const auto& s : r.sessions)
            keys << s.key;
        QCOMPARE(keys, (QStringList{u"kimi:first"_s, u"kimi:second"_s}));
        QCOMPARE(tokens(r, u"24h"_s), std::optional(5.0));
        QVERIFY(!r.usage.error);
    }

    void tokensOfTheLastDayAndWeek_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<double>("day");
        QTest::addColumn<double>("week");
        const double nowMs = nowSeconds * 1000;
        const double dayLimit = (nowSeconds - 86400) * 1000;
        const QByteArray all = "{\"inputOther\":1,\"output\":10,\"inputCacheRead\":100,\"inputCacheCreation\":1000}";
        const QByteArray output3 = ",\"usage\":{\"output\":3}}\n";
        auto row = [](const char* name, const QByteArray& wire, double day, double week) {
            QTest::newRow(name) << wire << day << week;
        };
        row("recent", usageLine(nowMs - 5000, all), 1111, 1111);
        row("exactly at the 24 h limit", usageLine(dayLimit, all), 1111, 1111);
        row("just before the 24 h limit", usageLine(dayLimit - 1, all), 0, 1111);
        row("exactly at the 7 d limit", usageLine((nowSeconds - 604800) * 1000, all), 0, 1111);
        row("eight days old", usageLine(nowMs - 8 * 86400000.0, all), 0, 0);
        row("wrong-typed counts", usageLine(nowMs, "{\"inputOther\":\"7\",\"output\":2.5,\"inputCacheRead\":null}"), 2.5, 2.5);
        row("time as text", "{\"type\":\"usage.record\",\"time\":\"1780000000000\"" + output3, 0, 0);
        row("other record type", "{\"type\":\"usage.summary\",\"time\":1780000000000" + output3, 0, 0);
        row("escaped type", "{\"type\":\"usage\\u002erecord\",\"time\":1780000000000" + output3, 3, 3);
        row("type spelt in another member", "{\"note\":\"usage.record\",\"time\":1780000000000" + output3, 0, 0);
        row("cut last line", usageLine(nowMs, "{\"output\":4}") + usageLine(nowMs, "{\"output\":50}").left(40), 4, 4);
        row("broken and binary lines", QByteArray("\x00\xff\xfe garbage\n{\"type\":\n", 21) + usageLine(nowMs, "{\"output\":6}"), 6, 6);
        row("invalid utf-8 inside a record", "{\"type\":\"usage.record\",\"x\":\"\xff\",\"time\":1780000000000,\"usage\":{\"output\":8}}\n", 8, 8);
        // Only the last 4 MiB are read: an old record before them is gone,
        // the enormous line it starts is a fragment, the record after it counts.
        row("record before the last 4 MiB",
            usageLine(nowMs, "{\"output\":1000}") + "{\"pad\":\"" + QByteArray(kimiWireTailBytes, 'x') + "\"}\n" + usageLine(nowMs, "{\"output\":9}"),
            9, 9);
    }
    void tokensOfTheLastDayAndWeek()
    {
        QFETCH(QByteArray, wire);
        QFETCH(double, day);
        QFETCH(double, week);
        KimiHome home;
        home.addSession(u"s"_s, std::nullopt, wire);
        const ProviderReport r = makeCollector(home.root).collectBlocking();
        QCOMPARE(tokens(r, u"24h"_s), std::optional(day));
        QCOMPARE(tokens(r, u"7d"_s), std::optional(week));
    }

    void sessionsAddUpAndFollowTheirFiles()
    {
        KimiHome home;
        const double nowMs = nowSeconds * 1000;
        home.addSession(u"a"_s, QByteArray("{\"updatedAt\":\"" + isoAgo(10) + "\"}"), usageLine(nowMs - 1000, "{\"output\":1}"));
        home.addSession(u"b"_s, std::nullopt, usageLine(nowMs - 3 * 86400000.0, "{\"output\":20}"));
        home.addSession(u"broken"_s, QByteArray("{broken"), "{\"type\":\"usage.record\",\"cut");
        auto run = std::make_shared<Run>();
        KimiCodeCollector collector = makeCollector(home.root, run);

        // A pass reads and never writes.
        const QString before = treeFingerprint(home.root);
        ProviderReport r = collector.collectBlocking();
        QCOMPARE(treeFingerprint(home.root), before);
        QCOMPARE(r.sessions.size(), 3);
        QCOMPARE(tokens(r, u"24h"_s), std::optional(1.0));
        QCOMPARE(tokens(r, u"7d"_s), std::optional(21.0));
        QCOMPARE(toString(r.sessions.first().state), u"working"_s);

        // An appended record counts on the next pass.
        appendFile(home.wirePath(u"a"_s), usageLine(nowMs, "{\"output\":300}"));
        r = collector.collectBlocking();
        QCOMPARE(tokens(r, u"24h"_s), std::optional(301.0));
        QCOMPARE(tokens(r, u"7d"_s), std::optional(321.0));

        // A rewrite of the same size is seen too (the file's time changes).
        const QString bWire = home.wirePath(u"b"_s);
        writeFile(home.sessionDir(u"b"_s), u"agents/main/wire.jsonl"_s, usageLine(nowMs - 3 * 86400000.0, "{\"output\":40}"));
        setMtime(bWire, Timestamp::fromSeconds(nowSeconds + 5));
        r = collector.collectBlocking();
        QCOMPARE(tokens(r, u"7d"_s), std::optional(341.0));

        // Time moves on with no file changed: the windows move with it and
        // the session is no longer working.
        run->now = nowSeconds + 4 * 86400 + 60; // b's record is now just over 7 days old
        r = collector.collectBlocking();
        QCOMPARE(tokens(r, u"24h"_s), std::optional(0.0));
        QCOMPARE(tokens(r, u"7d"_s), std::optional(301.0));
        QCOMPARE(toString(r.sessions.first().state), u"idle"_s);
        QCOMPARE(r.usage.updatedAt, std::optional(Timestamp::fromSeconds(run->now)));

        // A wire file that disappears adds nothing.
        QVERIFY(QFile::remove(home.wirePath(u"a"_s)));
        run->now = nowSeconds;
        r = collector.collectBlocking();
        QCOMPARE(tokens(r, u"7d"_s), std::optional(40.0));
        QCOMPARE(r.sessions.size(), 3);
    }

    void wireCacheForgetsFilesNoLongerListed()
    {
        KimiHome home;
        home.addSession(u"a"_s, std::nullopt, usageLine(nowSeconds * 1000, "{\"output\":1}"));
        home.addSession(u"b"_s, std::nullopt, usageLine(nowSeconds * 1000, "{\"output\":2}"));
        KimiWireCache cache;
        const QString a = home.wirePath(u"a"_s);
        const QString b = home.wirePath(u"b"_s);
        QCOMPARE(cache.records(a).size(), 1);
        QCOMPARE(cache.records(b).size(), 1);
        QCOMPARE(cache.size(), 2);
        cache.retainOnly({a});
        QCOMPARE(cache.size(), 1);
        QVERIFY(QFile::remove(a));
        QVERIFY(cache.records(a).isEmpty());
        QCOMPARE(cache.size(), 0);
    }
};

QTEST_GUILESS_MAIN(KimiCodeCollectorTest)
#include "kimi_code_collector_test.moc"
