// Claude spend scanner: prices, de-duplication, hour buckets and windows,
// the per-file cache, the chunked line search, bad input, and following a
// growing transcript from where the last scan stopped (whatever is appended,
// rewritten or left half-written, the totals equal those of reading every
// file whole, and only the new bytes are read).

#include "TestSupport.h"
#include "fixtures/Fixtures.h"
#include "collection/FileRoutines.h"
#include "providers/claude/ClaudeSpendScanner.h"
#include "providers/claude/UsageLineReader.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

using namespace vexlor;
using namespace vexlor::test;
using namespace Qt::StringLiterals;

namespace {

constexpr double kHour = 3600;
// 30 minutes into an hour; tests move it where they need.
constexpr double kNow = 495000 * kHour + 1800;

struct Msg {
    QString id = {};        // empty: no message id
    QString requestId = {}; // empty: no request id
    double at = kNow - 600;
    double input = 0;
    double output = 0;
    double cacheWrite = 0;
    double cacheRead = 0;
    QString model = u"claude-sonnet-4-5"_s;
    std::optional<double> costUSD = {};
};

QByteArray line(const Msg& m)
{
    return fixtures::claudeAssistant({.at = m.at, .model = m.model.toUtf8(), .id = m.id.toUtf8(), .requestId = m.requestId.toUtf8(),
                                      .input = m.input, .output = m.output, .cacheWrite = m.cacheWrite, .cacheRead = m.cacheRead,
                                      .costUSD = m.costUSD});
}

FileStamp stampOf(const QString& path, double mtime = kNow - 60)
{
    return FileStamp{path, Timestamp::fromSeconds(mtime), QFileInfo(path).size()};
}

Clock fixedClock(double seconds)
{
    return [seconds] { return Timestamp::fromSeconds(seconds); };
}

// One file, one scan at kNow.
SpendSnapshot scanContent(const QByteArray& content, ClaudeSpendScanner::Tuning tuning = {})
{
    QTemporaryDir tmp;
    const QString path = writeFile(tmp.path(), u"p/s.jsonl"_s, content);
    ClaudeSpendScanner scanner(fixedClock(kNow), tuning);
    return scanner.scan({stampOf(path)});
}

bool near(double a, double b)
{
    return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(b));
}

qint64 peakRssKb()
{
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// One assistant line without its end; an empty id gives a line without identity.
QByteArray usageLine(const QByteArray& id, double at, int output, bool withTime = true)
{
    const QByteArray messageId = id.isEmpty() ? QByteArray() : "msg_" + id;
    const QByteArray requestId = id.isEmpty() ? QByteArray() : "req_" + id;
    return fixtures::claudeAssistant({.at = at, .withTime = withTime, .id = messageId, .requestId = requestId,
                                      .input = output * 3 + 7, .output = output, .cacheRead = 1234})
        .chopped(1);
}

ClaudeSpendScanner::Tuning followEverything()
{
    ClaudeSpendScanner::Tuning tuning;
    tuning.chunkBytes = 4096; // several chunks per file even in small tests
    tuning.followMinBytes = 0;
    return tuning;
}

struct Transcripts {
    QTemporaryDir dir;
    double modified = kNow - 3000; // advances with every change, as on disk

    QString path(const QString& name) const { return dir.path() + u'/' + name; }

    void append(const QString& name, const QByteArray& bytes)
    {
        appendFile(path(name), bytes);
        modified += 1;
        mtimes[name] = modified;
    }
    void replace(const QString& name, const QByteArray& bytes)
    {
        writeFile(dir.path(), name, bytes);
        modified += 1;
        mtimes[name] = modified;
    }

    QList<FileStamp> stamps() const
    {
        QList<FileStamp> out;
        for (auto it = mtimes.constBegin(); it != mtimes.constEnd(); ++it)
            out.append(stampOf(path(it.key()), it.value()));
        return out;
    }

    QMap<QString, double> mtimes;
};

// Every total compared exactly: the followed sums must be the same additions
// in the same order as a whole read, not merely close.
void verifySameAsWholeRead(ClaudeSpendScanner& followed, const Transcripts& files, const char* where)
{
    const SpendSnapshot got = followed.scan(files.stamps());
    ClaudeSpendScanner whole(fixedClock(kNow), followEverything());
    const SpendSnapshot want = whole.scan(files.stamps());
    const QByteArray context = QByteArray(where) + ": 24h " + QByteArray::number(got.tokens24h, 'g', 17) + " vs "
        + QByteArray::number(want.tokens24h, 'g', 17);
    QVERIFY2(got.tokens24h == want.tokens24h, context.constData());
    QVERIFY2(got.cost24h == want.cost24h, context.constData());
    QVERIFY2(got.tokens7d == want.tokens7d, context.constData());
    QVERIFY2(got.cost7d == want.cost7d, context.constData());
}

} // namespace

class SpendScannerTest : public QObject {
    Q_OBJECT

private slots:
    // The cost of one message without a stated cost, through the whole scan:
    // the first matching name in the price table wins, in any case.
    void costFromTable_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<double>("input");
        QTest::addColumn<double>("output");
        QTest::addColumn<double>("cacheWrite");
        QTest::addColumn<double>("cacheRead");
        QTest::addColumn<double>("cost");
        QTest::newRow("opus-4-1, upper case") << u"CLAUDE-OPUS-4-1-20250805"_s << 1e6 << 1e6 << 0.0 << 0.0 << 90.0;
        QTest::newRow("opus-4-5 before opus") << u"claude-opus-4-5"_s << 1e6 << 1e6 << 0.0 << 0.0 << 30.0;
        QTest::newRow("3-5-haiku is plain haiku") << u"claude-3-5-haiku"_s << 1e6 << 1e6 << 0.0 << 0.0 << 6.0;
        QTest::newRow("unknown") << u"mystery"_s << 1e6 << 1e6 << 0.0 << 0.0 << 30.0;
        QTest::newRow("sonnet cache write") << u"claude-sonnet-4"_s << 0.0 << 0.0 << 1e6 << 0.0 << 3.75;
    }

    void costFromTable()
    {
        QFETCH(QString, model);
        QFETCH(double, input);
        QFETCH(double, output);
        QFETCH(double, cacheWrite);
        QFETCH(double, cacheRead);
        QFETCH(double, cost);
        const SpendSnapshot s = scanContent(line({.input = input, .output = output, .cacheWrite = cacheWrite,
                                                  .cacheRead = cacheRead, .model = model}));
        QVERIFY2(near(s.cost24h, cost), qPrintable(QString::number(s.cost24h)));
        QVERIFY(near(s.cost7d, cost));
        QCOMPARE(s.tokens24h, input + output + cacheWrite + cacheRead);
        QCOMPARE(s.updatedAt, std::optional(Timestamp::fromSeconds(kNow)));
    }

    void deduplication_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<double>("tokens");
        const Msg a{.id = u"msg_a"_s, .requestId = u"req_1"_s, .output = 10};
        QTest::newRow("same id and request: once") << line(a) + line(a) << 10.0;
        QTest::newRow("same id, other request: twice") << line(a) + line({.id = u"msg_a"_s, .requestId = u"req_2"_s, .output = 10}) << 20.0;
        QTest::newRow("same id, no request: once") << line({.id = u"m"_s, .output = 7}) + line({.id = u"m"_s, .output = 7}) << 7.0;
        QTest::newRow("no id: always counts") << line({.output = 3}) + line({.output = 3}) + line({.output = 3}) << 9.0;
        QTest::newRow("streaming repeats: the last copy counts")
            << line({.id = u"m"_s, .requestId = u"r"_s, .input = 5, .output = 1})
               + line({.id = u"m"_s, .requestId = u"r"_s, .input = 5, .output = 40})
               + line({.output = 1000})
               + line({.id = u"m"_s, .requestId = u"r"_s, .input = 5, .output = 300})
            << 1305.0;
        // A numeric id is not an identity; a numeric request id adds nothing to the key.
        QByteArray numericId = line({.id = u"x"_s, .output = 2});
        numericId.replace("\"id\":\"x\"", "\"id\":17");
        QTest::newRow("numeric id: always counts") << numericId + numericId << 4.0;
        QByteArray numericRequest = line({.id = u"n"_s, .requestId = u"r"_s, .output = 2});
        numericRequest.replace("\"requestId\":\"r\"", "\"requestId\":5");
        QTest::newRow("numeric request id: id alone is the key")
            << numericRequest + line({.id = u"n"_s, .output = 3}) << 3.0;
    }

    void deduplication()
    {
        QFETCH(QByteArray, content);
        QFETCH(double, tokens);
        QCOMPARE(scanContent(content).tokens24h, tokens);
        // The same bytes read through a tiny buffer give the same totals.
        QCOMPARE(scanContent(content, {.chunkBytes = 64}).tokens24h, tokens);
    }

    void sameMessageInTwoFilesCountsTwice()
    {
        QTemporaryDir tmp;
        const QByteArray text = line({.id = u"m"_s, .requestId = u"r"_s, .output = 50});
        const QString a = writeFile(tmp.path(), u"p/a.jsonl"_s, text);
        const QString b = writeFile(tmp.path(), u"p/b.jsonl"_s, text);
        ClaudeSpendScanner scanner(fixedClock(kNow));
        QCOMPARE(scanner.scan({stampOf(a), stampOf(b)}).tokens24h, 100.0);
    }

    // The final copy of a streamed message decides its hour, its counts and
    // its cost, even when the earlier copies fall into an earlier hour or
    // outside the 24-hour window.
    void lastCopyMovesAcrossHourAndWindow()
    {
        const double hourStart = 494990 * kHour;
        const double now = 495014 * kHour + 1200; // the 24-hour cutoff lies 20 minutes into hour 494990
        QTemporaryDir tmp;
        const QString path = writeFile(tmp.path(), u"p/s.jsonl"_s,
            line({.id = u"m"_s, .requestId = u"r"_s, .at = hourStart + 3590, .input = 10, .output = 1, .costUSD = 0.01})
            + line({.id = u"m"_s, .requestId = u"r"_s, .at = hourStart + 3599.5, .input = 10, .output = 20, .costUSD = 0.02})
            + line({.id = u"m"_s, .requestId = u"r"_s, .at = hourStart + 3601, .input = 10, .output = 90, .costUSD = 0.09}));
        ClaudeSpendScanner scanner(fixedClock(now));
        const SpendSnapshot s = scanner.scan({stampOf(path, now - 10)});
        QCOMPARE(s.tokens24h, 100.0);
        QCOMPARE(s.cost24h, 0.09);
        QCOMPARE(s.tokens7d, 100.0);
        const auto cached = scanner.cached(path);
        QVERIFY(cached);
        QCOMPARE(cached->buckets.size(), 1);
        QCOMPARE(cached->buckets.value(494991).tokens, 100.0);
        QVERIFY(!cached->buckets.contains(494990));

        // And the other way round: the last copy lands before the cutoff.
        const QString back = writeFile(tmp.path(), u"p/t.jsonl"_s,
            line({.id = u"m"_s, .at = hourStart + 3700, .output = 5})
            + line({.id = u"m"_s, .at = hourStart + 100, .output = 8}));
        const SpendSnapshot t = ClaudeSpendScanner(fixedClock(now)).scan({stampOf(back, now - 10)});
        QCOMPARE(t.tokens24h, 0.0);
        QCOMPARE(t.tokens7d, 8.0);
    }

    void windowsCountWholeHours_data()
    {
        QTest::addColumn<double>("now");
        QTest::addColumn<double>("age");
        QTest::addColumn<double>("in24h");
        QTest::addColumn<double>("in7d");
        const double h = 495000 * kHour;
        QTest::newRow("23h30 ago, hour began within 24h") << h + 1800 << 23.5 * kHour << 1.0 << 1.0;
        QTest::newRow("23h30 ago, hour began before 24h") << h + 600 << 23.5 * kHour << 0.0 << 1.0;
        QTest::newRow("hour began exactly at the 24h cutoff") << h << 24 * kHour - 1 << 0.0 << 1.0;
        QTest::newRow("hour began just after the 24h cutoff") << h << 23 * kHour << 1.0 << 1.0;
        QTest::newRow("hour began exactly at the 7d cutoff") << h << 168 * kHour - 1 << 0.0 << 0.0;
        QTest::newRow("6d23h30 ago, hour began before 7d") << h + 600 << 167.5 * kHour << 0.0 << 0.0;
        QTest::newRow("6d23h30 ago, hour began within 7d") << h + 1800 << 167.5 * kHour << 0.0 << 1.0;
        QTest::newRow("in the future") << h << -2 * kHour << 1.0 << 1.0;
    }

    void windowsCountWholeHours()
    {
        QFETCH(double, now);
        QFETCH(double, age);
        QFETCH(double, in24h);
        QFETCH(double, in7d);
        QTemporaryDir tmp;
        const QString path = writeFile(tmp.path(), u"p/s.jsonl"_s, line({.at = now - age, .output = 1}));
        ClaudeSpendScanner scanner(fixedClock(now));
        const SpendSnapshot s = scanner.scan({stampOf(path, now - 1)});
        QCOMPARE(s.tokens24h, in24h);
        QCOMPARE(s.tokens7d, in7d);
    }

    void missingTimestampUsesFileTime()
    {
        QByteArray text = line({.output = 4});
        text.replace("\"timestamp\":", "\"when\":");
        QByteArray numeric = line({.output = 6});
        numeric.replace(QByteArray("\"timestamp\":\"" + fixtures::iso(kNow - 600) + '"'), "\"timestamp\":1780000000");
        QTemporaryDir tmp;
        const QString path = writeFile(tmp.path(), u"p/s.jsonl"_s, text + numeric);
        ClaudeSpendScanner scanner(fixedClock(kNow));
        // File time 2 days back: both messages count in 7 days only.
        const SpendSnapshot s = scanner.scan({stampOf(path, kNow - 2 * 86400)});
        QCOMPARE(s.tokens24h, 0.0);
        QCOMPARE(s.tokens7d, 10.0);
    }

    void cacheFollowsListing()
    {
        QTemporaryDir tmp;
        const QString path = writeFile(tmp.path(), u"p/s.jsonl"_s, line({.output = 5}));
        double now = kNow;
        ClaudeSpendScanner scanner([&now] { return Timestamp::fromSeconds(now); });

        QCOMPARE(scanner.scan({stampOf(path)}).tokens24h, 5.0);
        QCOMPARE(scanner.filesRead(), 1);
        // Unchanged in the listing: not read again, even though the bytes were
        // emptied behind the listing's back (proof that the file was not touched).
        const FileStamp unchanged = stampOf(path);
        QFile::resize(path, 0);
        QCOMPARE(scanner.scan({unchanged}).tokens24h, 5.0);
        QCOMPARE(scanner.filesRead(), 1);

        // A changed size means a new read.
        writeFile(tmp.path(), u"p/s.jsonl"_s, line({.output = 5}));
        appendFile(path, line({.output = 7}));
        QCOMPARE(scanner.scan({stampOf(path)}).tokens24h, 12.0);
        QCOMPARE(scanner.filesRead(), 2);
        // So does a changed time alone.
        QCOMPARE(scanner.scan({stampOf(path, kNow - 30)}).tokens24h, 12.0);
        QCOMPARE(scanner.filesRead(), 3);

        // A file left out of the listing leaves the cache; a listing of a
        // missing folder is empty.
        QCOMPARE(scanner.scan({}), (SpendSnapshot{0, 0, 0, 0, Timestamp::fromSeconds(kNow)}));
        QCOMPARE(scanner.scan(jsonlFiles(u"/nonexistent/projects"_s)).tokens7d, 0.0);
        QVERIFY(!scanner.cached(path));
        QCOMPARE(scanner.scan({stampOf(path, kNow - 30)}).tokens24h, 12.0);
        QCOMPARE(scanner.filesRead(), 4);

        // Eight days later the file is out of the window: not counted even
        // though its messages are recent, not read, and dropped.
        QCOMPARE(scanner.scan({stampOf(path, kNow - 8 * 86400)}), (SpendSnapshot{0, 0, 0, 0, Timestamp::fromSeconds(kNow)}));
        QCOMPARE(scanner.filesRead(), 4);
        QVERIFY(!scanner.cached(path));
    }

    void badLinesAreSkipped_data()
    {
        QTest::addColumn<QByteArray>("bad");
        const QByteArray good = line({.output = 2});
        QTest::newRow("not json") << QByteArray("{\"usage\" oops\n");
        QTest::newRow("cut mid-write") << good.left(good.size() / 2) + '\n';
        QTest::newRow("two objects on a line") << good.trimmed() + good;
        QTest::newRow("user record") << QByteArray(good).replace("\"type\":\"assistant\"", "\"type\":\"user\"");
        QTest::newRow("usage outside message") << QByteArray("{\"type\":\"assistant\",\"message\":{},\"usage\":{\"output_tokens\":5}}\n");
        QTest::newRow("deep nesting") << QByteArray("{\"type\":\"assistant\",\"usage\":") + QByteArray(200000, '[') + QByteArray(200000, ']') + "}\n";
    }

    void badLinesAreSkipped()
    {
        QFETCH(QByteArray, bad);
        const QByteArray good = line({.output = 2});
        QCOMPARE(scanContent(good + bad + good).tokens24h, 4.0);
        QCOMPARE(scanContent(good + bad + good, {.chunkBytes = 48}).tokens24h, 4.0);
    }

    // A stated cost, and values that are not what they seem: numbers in
    // strings, fractions, integers beyond 64 bits, invalid UTF-8, and an
    // escaped spelling of the key (valid JSON, but only a line holding the
    // quoted key is parsed).
    void oddValues_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<double>("tokens");
        QTest::addColumn<double>("cost"); // < 0: not checked
        auto edited = [](const Msg& m, const char* from, const char* to) { return line(m).replace(from, to); };
        const Msg opus{.input = 1e6, .output = 1e6, .model = u"claude-opus-4-1"_s};
        QTest::newRow("stated cost wins") << line({.input = 1e6, .output = 1e6, .model = u"claude-opus-4-1"_s, .costUSD = 0.5})
                                          << 2e6 << 0.5;
        QTest::newRow("cost in a string is no number") << edited(opus, "\"type\":", "\"costUSD\":\"0.5\",\"type\":") << 2e6 << 90.0;
        QTest::newRow("count in a string") << edited({.input = 100, .output = 5}, "\"input_tokens\":100", "\"input_tokens\":\"100\"")
                                           << 5.0 << -1.0;
        QTest::newRow("fractional count") << edited({.output = 5}, "\"output_tokens\":5", "\"output_tokens\":2.5e0") << 2.5 << -1.0;
        QTest::newRow("escaped key") << edited({.output = 9}, "\"usage\"", "\"\\u0075sage\"") + line({.output = 1}) << 1.0 << -1.0;
        QTest::newRow("long integers elsewhere")
            << edited({.output = 5}, "\"role\":", "\"input\":{\"seed\":-123456789012345678901234567890,\"s\":\"99999999999999999999\\\"\",\"f\":1.12345678901234567890123},\"role\":")
                   + "\xff\"usage\"\n"
            << 5.0 << -1.0;
        QTest::newRow("long integer count")
            << edited({.output = 5, .costUSD = 1}, "\"output_tokens\":5", "\"output_tokens\":123456789012345678901234567890")
                   + edited({.id = u"\xe9"_s, .output = 1}, "\xc3\xa9", "\xe9")
            << 123456789012345678901234567890.0 + 1 << 1.0 + 15 / 1e6;
        QTest::newRow("invalid utf-8") << edited({.output = 3, .model = u"claude-opus-4-1 X"_s}, " X", " \xff\xfe\xc3")
                                              + edited({.output = 1, .model = u"sonnet?"_s}, "sonnet?", "sonnet\xe2\x82")
                                       << 4.0 << (3 * 75.0 + 1 * 15.0) / 1e6;
    }

    void oddValues()
    {
        QFETCH(QByteArray, content);
        QFETCH(double, tokens);
        QFETCH(double, cost);
        const SpendSnapshot s = scanContent(content);
        QCOMPARE(s.tokens24h, tokens);
        if (cost >= 0)
            QVERIFY2(near(s.cost24h, cost), qPrintable(QString::number(s.cost24h, 'g', 17)));
    }

    void longLines()
    {
        // Lines far longer than the read buffer, with and without the key,
        // the key near their start and near their end.
        const QByteArray filler(3 << 20, 'x');
        QByteArray bigAssistant = line({.output = 8});
        bigAssistant.replace("\"role\":", QByteArray("\"text\":\"" + filler + "\",\"role\":"));
        QByteArray keyAtEnd = line({.output = 16});
        keyAtEnd.replace("{\"type\":", QByteArray("{\"pad\":\"" + filler + "\",\"type\":"));
        const QByteArray toolResult = "{\"type\":\"user\",\"content\":\"" + filler + "\"}\n";
        const QByteArray content = toolResult + bigAssistant + line({.output = 1}) + toolResult + keyAtEnd;
        QCOMPARE(scanContent(content).tokens24h, 25.0);
        // With a cap below their length the two long usage lines are skipped.
        QCOMPARE(scanContent(content, {.chunkBytes = 4096, .maxLineBytes = 1 << 20}).tokens24h, 1.0);
    }

    // A single 100 MB line holding the key is longer than any line the
    // scanner will parse: it is skipped without memory growing with it.
    void hundredMegabyteLineStaysBounded()
    {
        QTemporaryDir tmp;
        const QString path = tmp.path() + u"/huge.jsonl"_s;
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(line({.output = 1}));
            f.write("{\"type\":\"assistant\",\"message\":{\"usage\":{\"output_tokens\":5},\"text\":\"");
            const QByteArray block(1 << 20, 'y');
            for (int i = 0; i < 100; ++i)
                f.write(block);
            f.write("\"}}\n");
            f.write(line({.output = 2}));
        }
        const qint64 before = peakRssKb();
        ClaudeSpendScanner scanner(fixedClock(kNow));
        QCOMPARE(scanner.scan({stampOf(path)}).tokens24h, 3.0);
        const qint64 grown = peakRssKb() - before;
        QVERIFY2(grown < 32 * 1024, qPrintable(u"peak grew by %1 kB"_s.arg(grown)));
    }

    void unreadableAndVanishedFiles()
    {
        QTemporaryDir tmp;
        const QString good = writeFile(tmp.path(), u"p/good.jsonl"_s, line({.output = 2}));
        const QString gone = tmp.path() + u"/p/gone.jsonl"_s;
        QDir().mkpath(tmp.path() + u"/p/dir.jsonl"_s);
        const QString shrunk = writeFile(tmp.path(), u"p/shrunk.jsonl"_s, line({.output = 4}) + line({.output = 8}));
        const FileStamp shrunkStamp = stampOf(shrunk);
        QFile::resize(shrunk, line({.output = 4}).size() + 10);
        const QString locked = writeFile(tmp.path(), u"p/locked.jsonl"_s, line({.output = 16}));
        ::chmod(QFile::encodeName(locked).constData(), 0);
        const bool rootReads = ::access(QFile::encodeName(locked).constData(), R_OK) == 0;

        ClaudeSpendScanner scanner(fixedClock(kNow));
        const QList<FileStamp> listing{stampOf(good), FileStamp{gone, Timestamp::fromSeconds(kNow - 5), 500},
                                       stampOf(tmp.path() + u"/p/dir.jsonl"_s), shrunkStamp, stampOf(locked)};
        const SpendSnapshot s = scanner.scan(listing);
        QCOMPARE(s.tokens24h, rootReads ? 22.0 : 6.0);
        QCOMPARE(scanner.filesRead(), 5);
        // Unreadable files are cached empty and not tried again until they change.
        QVERIFY(scanner.cached(gone) && scanner.cached(gone)->buckets.isEmpty());
        QCOMPARE(scanner.scan(listing).tokens24h, s.tokens24h);
        QCOMPARE(scanner.filesRead(), 5);
    }

    void fifoDoesNotBlock()
    {
        QTemporaryDir tmp;
        const QString fifo = tmp.path() + u"/pipe.jsonl"_s;
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        ClaudeSpendScanner scanner(fixedClock(kNow));
        QFuture<SpendSnapshot> running = QtConcurrent::run([&] {
            return scanner.scan({FileStamp{fifo, Timestamp::fromSeconds(kNow - 5), 0}});
        });
        QDeadlineTimer deadline(5000);
        while (!running.isFinished() && !deadline.hasExpired())
            QThread::msleep(10);
        if (!running.isFinished()) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK); // release it
            running.waitForFinished();
            ::close(fd);
            QFAIL("the scan blocked on a FIFO");
        }
        QCOMPARE(running.result().tokens7d, 0.0);
    }

    // Every variant of the key search finds the first key exactly where a
    // plain search does, near both ends of the range and between near-misses.
    void keySearchVariantsAgree()
    {
        QRandomGenerator rng(99);
        const char alphabet[] = "\"usagex\n";
        QByteArray text(4096 + 64, 'x');
        for (int round = 0; round < 2000; ++round) {
            for (int i = 0; i < 4096; ++i)
                text[i] = rng.bounded(8) ? alphabet[rng.bounded(8)] : 'x';
            const int at = 40 + rng.bounded(4000);
            if (rng.bounded(2))
                text.replace(at, 7, "\"usage\"");
            const char* begin = text.constData() + rng.bounded(40);
            // Half the time the range ends inside the planted key.
            const char* end = rng.bounded(2) ? text.constData() + at + 1 + rng.bounded(6)
                                             : text.constData() + 4096 - rng.bounded(40);
            const char* expected = static_cast<const char*>(::memmem(begin, size_t(end - begin), "\"usage\"", 7));
            for (auto how : {UsageLineReader::KeySearch::automatic, UsageLineReader::KeySearch::portable,
                             UsageLineReader::KeySearch::sse2, UsageLineReader::KeySearch::avx2}) {
                QCOMPARE(UsageLineReader::findKey(begin, end, how), expected);
                // Ranges shorter than a vector fall through to the plain search.
                QCOMPARE(UsageLineReader::findKey(begin, begin + 9, how),
                         static_cast<const char*>(::memmem(begin, 9, "\"usage\"", 7)));
            }
        }
    }

    // Several threads reading different files, and two scans at once, give
    // the totals of one thread reading alone.
    void parallelScansAgree()
    {
        QTemporaryDir tmp;
        QList<FileStamp> listing;
        QRandomGenerator rng(7);
        for (int f = 0; f < 40; ++f) {
            QByteArray content;
            for (int i = 0; i < 200; ++i) {
                const QString id = u"m%1"_s.arg(rng.bounded(60));
                content += line({.id = id, .requestId = u"r"_s, .at = kNow - rng.bounded(200) * kHour,
                                 .input = double(rng.bounded(1000)), .output = double(i),
                                 .model = rng.bounded(2) ? u"claude-opus-4-1"_s : u"claude-sonnet-4"_s});
                content += "{\"type\":\"user\",\"content\":\"" + QByteArray(rng.bounded(2000), 'q') + "\"}\n";
            }
            listing.append(stampOf(writeFile(tmp.path(), u"p/%1/s.jsonl"_s.arg(f % 5) + QString::number(f), content)));
        }
        const SpendSnapshot alone = ClaudeSpendScanner(fixedClock(kNow), {.maxThreads = 1}).scan(listing);
        QVERIFY(alone.tokens7d > alone.tokens24h && alone.tokens24h > 0);
        ClaudeSpendScanner parallel(fixedClock(kNow), {.chunkBytes = 4096, .maxThreads = 4, .parallelMinBytes = 0});
        QCOMPARE(parallel.scan(listing), alone);
        QCOMPARE(parallel.filesRead(), 40);

        ClaudeSpendScanner shared(fixedClock(kNow), {.maxThreads = 2, .parallelMinBytes = 0});
        QFuture<SpendSnapshot> other = QtConcurrent::run([&] { return shared.scan(listing); });
        const SpendSnapshot mine = shared.scan(listing);
        QCOMPARE(mine, alone);
        QCOMPARE(other.result(), alone);
    }

    // Appends of every shape the writer produces, seeded so a failure repeats:
    // new messages, repeated streaming copies of earlier ones, lines without
    // identity, malformed lines, and lines cut mid-write and finished later.
    void randomAppendsMatchWholeReads_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u, 5u, 6u})
            QTest::addRow("seed %u", seed) << seed;
    }

    void randomAppendsMatchWholeReads()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        Transcripts files;
        ClaudeSpendScanner scanner(fixedClock(kNow), followEverything());
        QByteArray unfinished; // the rest of a line cut mid-write
        int nextId = 0;
        for (int round = 0; round < 40; ++round) {
            QByteArray bytes = std::exchange(unfinished, {});
            const int lines = static_cast<int>(random.bounded(1, 12));
            for (int i = 0; i < lines; ++i) {
                const double at = kNow - random.bounded(0, 48) * kHour + random.bounded(0, 3600);
                const int output = static_cast<int>(random.bounded(1, 5000));
                switch (random.bounded(0, 6)) {
                case 0:
                    bytes += usageLine({}, at, output) + '\n';
                    break;
                case 1:
                    bytes += "{\"type\":\"assistant\",\"usage\":{ cut\n";
                    break;
                case 2: // a later copy of an earlier message, maybe in another hour
                    bytes += usageLine(QByteArray::number(random.bounded(0, nextId + 1)), at, output) + '\n';
                    break;
                default:
                    bytes += usageLine(QByteArray::number(nextId++), at, output) + '\n';
                }
            }
            if (random.bounded(0, 3) == 0) {
                // Half of the next line is already on disk.
                const QByteArray next = usageLine(QByteArray::number(nextId++), kNow - 60, 42) + '\n';
                const auto cut = static_cast<qsizetype>(random.bounded(1, static_cast<int>(next.size())));
                bytes += next.left(cut);
                unfinished = next.mid(cut);
            }
            files.append(QStringLiteral("a.jsonl"), bytes);
            if (round % 3 == 0)
                files.append(QStringLiteral("b.jsonl"), usageLine(QByteArray::number(round), kNow - round * 100, round + 1) + '\n');
            verifySameAsWholeRead(scanner, files, qPrintable(QStringLiteral("round %1").arg(round)));
            if (QTest::currentTestFailed())
                return;
        }
        QVERIFY(scanner.cached(files.path(QStringLiteral("a.jsonl")))->follow);
    }

    void onlyNewBytesAreRead()
    {
        Transcripts files;
        ClaudeSpendScanner scanner(fixedClock(kNow), followEverything());
        QByteArray start;
        for (int i = 0; i < 2000; ++i)
            start += usageLine(QByteArray::number(i), kNow - 600, i) + '\n';
        files.append(QStringLiteral("s.jsonl"), start);
        (void)scanner.scan(files.stamps());
        QCOMPARE(scanner.bytesRead(), start.size());

        const QByteArray more = usageLine("extra", kNow - 60, 5) + '\n';
        files.append(QStringLiteral("s.jsonl"), more);
        verifySameAsWholeRead(scanner, files, "after one line");
        QCOMPARE(scanner.bytesRead(), start.size() + more.size());
    }

    // A complete last line without its line feed counts at once, and neither
    // a repeat of its message nor the finishing line feed counts it twice.
    void unterminatedLastLineCountsOnce_data()
    {
        QTest::addColumn<QByteArray>("id");
        QTest::newRow("message with identity") << QByteArray("m1");
        QTest::newRow("line without identity") << QByteArray();
    }

    void unterminatedLastLineCountsOnce()
    {
        QFETCH(QByteArray, id);
        Transcripts files;
        ClaudeSpendScanner scanner(fixedClock(kNow), followEverything());
        files.append(QStringLiteral("t.jsonl"), usageLine("first", kNow - 900, 10) + '\n' + usageLine(id, kNow - 800, 20));
        verifySameAsWholeRead(scanner, files, "open line");
        const double withOpenLine = scanner.scan(files.stamps()).tokens24h;
        QVERIFY(withOpenLine > 1281); // more than the first line alone

        files.append(QStringLiteral("t.jsonl"), "\n");
        verifySameAsWholeRead(scanner, files, "line finished");
        QCOMPARE(scanner.scan(files.stamps()).tokens24h, withOpenLine);

        files.append(QStringLiteral("t.jsonl"), usageLine(id, kNow - 700, 25) + '\n');
        verifySameAsWholeRead(scanner, files, "repeated");
    }

    // A file that is not the one read before, or no longer starts the same,
    // is read whole again.
    void rewrittenFilesAreReadWhole_data()
    {
        QTest::addColumn<bool>("newFile");
        QTest::newRow("rewritten in place, longer") << false;
        QTest::newRow("replaced by another file") << true;
    }

    void rewrittenFilesAreReadWhole()
    {
        QFETCH(bool, newFile);
        Transcripts files;
        ClaudeSpendScanner scanner(fixedClock(kNow), followEverything());
        QByteArray before;
        for (int i = 0; i < 50; ++i)
            before += usageLine(QByteArray::number(i), kNow - 600, 100 + i) + '\n';
        files.append(QStringLiteral("r.jsonl"), before);
        verifySameAsWholeRead(scanner, files, "first read");

        QByteArray after;
        for (int i = 0; i < 60; ++i)
            after += usageLine("other" + QByteArray::number(i), kNow - 300, 7 + i) + '\n';
        if (newFile) {
            // Replaced by rename, as an editor saves: another file, even
            // though it starts with the same bytes.
            const QString staged = files.path(QStringLiteral("staged"));
            QFile f(staged);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write(before + after) > 0);
            f.close();
            QVERIFY(std::rename(QFile::encodeName(staged).constData(),
                                QFile::encodeName(files.path(QStringLiteral("r.jsonl"))).constData()) == 0);
            files.modified += 1;
            files.mtimes[QStringLiteral("r.jsonl")] = files.modified;
            verifySameAsWholeRead(scanner, files, "replaced");
            QCOMPARE(scanner.bytesRead(), 2 * before.size() + after.size());
        } else {
            files.replace(QStringLiteral("r.jsonl"), after);
            verifySameAsWholeRead(scanner, files, "rewritten");
            QCOMPARE(scanner.bytesRead(), before.size() + after.size());
        }
    }

    // Lines without their own time count at the file's modification time,
    // which moves as the file grows: such a file is never followed.
    void linesWithoutTimeMoveWithTheFile()
    {
        Transcripts files;
        ClaudeSpendScanner scanner(fixedClock(kNow), followEverything());
        files.modified = kNow - 2 * 86400 + 100; // just outside the 24 hours
        files.append(QStringLiteral("u.jsonl"), usageLine("timeless", 0, 500, false) + '\n');
        verifySameAsWholeRead(scanner, files, "first read");
        QVERIFY(!scanner.cached(files.path(QStringLiteral("u.jsonl")))->follow);

        files.modified = kNow - 60; // written to just now
        files.append(QStringLiteral("u.jsonl"), usageLine("timed", kNow - 60, 5) + '\n');
        verifySameAsWholeRead(scanner, files, "after growing");
        QCOMPARE(scanner.scan(files.stamps()).tokens24h, 3241.0 + 1261.0); // the timeless line moved into the day
    }

    // Only the most recently written large files keep per-message state.
    void followedFilesAreBounded()
    {
        Transcripts files;
        ClaudeSpendScanner::Tuning tuning = followEverything();
        tuning.followFiles = 2;
        tuning.followMinBytes = 2000;
        ClaudeSpendScanner scanner(fixedClock(kNow), tuning);
        QByteArray big;
        for (int i = 0; i < 20; ++i)
            big += usageLine(QByteArray::number(i), kNow - 600, i) + '\n';
        QVERIFY(big.size() > 2000);
        for (const char* name : {"old.jsonl", "mid.jsonl", "new.jsonl"})
            files.append(QString::fromLatin1(name), big);
        files.append(QStringLiteral("small.jsonl"), usageLine("s", kNow - 60, 1) + '\n');
        (void)scanner.scan(files.stamps());
        QVERIFY(!scanner.cached(files.path(QStringLiteral("old.jsonl")))->follow);
        QVERIFY(scanner.cached(files.path(QStringLiteral("mid.jsonl")))->follow);
        QVERIFY(scanner.cached(files.path(QStringLiteral("new.jsonl")))->follow);
        QVERIFY(!scanner.cached(files.path(QStringLiteral("small.jsonl")))->follow);

        // The oldest one resumes: it is read whole, then followed instead.
        const qint64 before = scanner.bytesRead();
        files.append(QStringLiteral("old.jsonl"), usageLine("late", kNow - 30, 3) + '\n');
        verifySameAsWholeRead(scanner, files, "old file grew");
        QCOMPARE(scanner.bytesRead() - before, QFileInfo(files.path(QStringLiteral("old.jsonl"))).size());
        QVERIFY(scanner.cached(files.path(QStringLiteral("old.jsonl")))->follow);
        QVERIFY(!scanner.cached(files.path(QStringLiteral("mid.jsonl")))->follow);
    }
};

QTEST_GUILESS_MAIN(SpendScannerTest)
#include "spend_scanner_test.moc"
