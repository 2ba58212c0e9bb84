// Reading a growing transcript on from where the last scan stopped: whatever
// is appended, rewritten or left half-written, the totals must equal those of
// reading every file whole, and only the new bytes are read.

#include "TestSupport.h"
#include "fixtures/Fixtures.h"
#include "providers/claude/ClaudeSpendScanner.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace vexlor;
using namespace vexlor::test;

namespace {

constexpr double kHour = 3600;
constexpr double kNow = 495000 * kHour + 1800;

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
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
        f.close();
        modified += 1;
        mtimes[name] = modified;
    }

    QList<FileStamp> stamps() const
    {
        QList<FileStamp> out;
        for (auto it = mtimes.constBegin(); it != mtimes.constEnd(); ++it)
            out.append(FileStamp{path(it.key()), Timestamp::fromSeconds(it.value()), QFileInfo(path(it.key())).size()});
        return out;
    }

    QMap<QString, double> mtimes;
};

Clock fixedClock()
{
    return [] { return Timestamp::fromSeconds(kNow); };
}

// Every total compared exactly: the followed sums must be the same additions
// in the same order as a whole read, not merely close.
void verifySameAsWholeRead(ClaudeSpendScanner& followed, const Transcripts& files, const char* where)
{
    const SpendSnapshot got = followed.scan(files.stamps());
    ClaudeSpendScanner whole(fixedClock(), followEverything());
    const SpendSnapshot want = whole.scan(files.stamps());
    const QByteArray context = QByteArray(where) + ": 24h " + QByteArray::number(got.tokens24h, 'g', 17) + " vs "
        + QByteArray::number(want.tokens24h, 'g', 17);
    QVERIFY2(got.tokens24h == want.tokens24h, context.constData());
    QVERIFY2(got.cost24h == want.cost24h, context.constData());
    QVERIFY2(got.tokens7d == want.tokens7d, context.constData());
    QVERIFY2(got.cost7d == want.cost7d, context.constData());
}

} // namespace

class SpendFollowTest : public QObject {
    Q_OBJECT

private slots:
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
        ClaudeSpendScanner scanner(fixedClock(), followEverything());
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
        ClaudeSpendScanner scanner(fixedClock(), followEverything());
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
        ClaudeSpendScanner scanner(fixedClock(), followEverything());
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
        ClaudeSpendScanner scanner(fixedClock(), followEverything());
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
        ClaudeSpendScanner scanner(fixedClock(), followEverything());
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
        ClaudeSpendScanner scanner(fixedClock(), tuning);
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

QTEST_GUILESS_MAIN(SpendFollowTest)
#include "spend_follow_test.moc"
