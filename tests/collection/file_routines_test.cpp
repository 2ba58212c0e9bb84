// Shared file routines: listing, tails, JSON lines, dates and titles.

#include "TestSupport.h"
#include "collection/FileRoutines.h"
#include "collection/IsoDate.h"
#include "collection/Json.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexlor;
using namespace vexlor::test;

class FileRoutinesTest : public QObject {
    Q_OBJECT

private slots:
    void attentionRule()
    {
        CollectorContext ctx;
        ctx.attentionSince = Timestamp::fromSeconds(100);
        QVERIFY(!ctx.needsAttention(QStringLiteral("c:a"), Timestamp::fromSeconds(100)));
        QVERIFY(ctx.needsAttention(QStringLiteral("c:a"), Timestamp::fromSeconds(101)));
        ctx.acknowledged.insert(QStringLiteral("c:a"), Timestamp::fromSeconds(150));
        QVERIFY(!ctx.needsAttention(QStringLiteral("c:a"), Timestamp::fromSeconds(150)));
        QVERIFY(ctx.needsAttention(QStringLiteral("c:a"), Timestamp::fromSeconds(150.5)));
    }

    void listingKeepsVisibleJsonlFilesOnly()
    {
        QTemporaryDir tmp;
        QCOMPARE(jsonlFiles(tmp.path() + u"/missing").size(), 0);
        writeFile(tmp.path(), QStringLiteral("a.jsonl"), "1234567");
        writeFile(tmp.path(), QStringLiteral("b.JSONL"), "x");
        writeFile(tmp.path(), QStringLiteral(".hidden.jsonl"), "x");
        writeFile(tmp.path(), QStringLiteral(".git/d.jsonl"), "x");
        writeFile(tmp.path(), QStringLiteral("x/c.jsonl"), "x");
        writeFile(tmp.path(), QStringLiteral("x/notes.txt"), "x");
        QDir(tmp.path()).mkpath(QStringLiteral("dir.jsonl"));
        // A symbolic link loop and a link to a file are not followed.
        QVERIFY(QFile::link(tmp.path(), tmp.path() + u"/x/loop"));
        QVERIFY(QFile::link(tmp.path() + u"/a.jsonl", tmp.path() + u"/x/link.jsonl"));
        // The walk stops 64 folders down.
        writeFile(tmp.path(), QStringLiteral("d/").repeated(70) + QStringLiteral("deep.jsonl"), "x");
        // A FIFO named like a transcript is not a regular file.
        QVERIFY(mkfifo(QFile::encodeName(tmp.path() + u"/fifo.jsonl").constData(), 0600) == 0);

        const Timestamp when = Timestamp::fromSeconds(1700000000.25);
        setMtime(tmp.path() + u"/a.jsonl", when);
        auto files = jsonlFiles(tmp.path());
        QStringList names;
        for (const auto& f : files)
            names << f.path.mid(tmp.path().size() + 1);
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("a.jsonl"), QStringLiteral("x/c.jsonl")}));
        for (const auto& f : files) {
            if (f.path.endsWith(u"/a.jsonl")) {
                QCOMPARE(f.size, 7);
                QVERIFY(std::abs(f.mtime - when) < 1e-3);
            }
        }
        // A trailing slash lists the same files.
        QCOMPARE(jsonlFiles(tmp.path() + u'/').size(), 2);
    }

    void listingSkipsUnreadableDirectories()
    {
        if (geteuid() == 0)
            QSKIP("permission bits do not bind root");
        QTemporaryDir tmp;
        writeFile(tmp.path(), QStringLiteral("ok/a.jsonl"), "x");
        writeFile(tmp.path(), QStringLiteral("locked/b.jsonl"), "x");
        chmod(QFile::encodeName(tmp.path() + u"/locked").constData(), 0);
        QCOMPARE(jsonlFiles(tmp.path()).size(), 1);
        chmod(QFile::encodeName(tmp.path() + u"/locked").constData(), 0700);
    }

    void boundedReads()
    {
        QTemporaryDir tmp;
        const QString p = writeFile(tmp.path(), QStringLiteral("t.txt"), "0123456789");
        const QString fifo = tmp.path() + u"/f.jsonl";
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        struct Row {
            QString path;
            qint64 max;
            Overflow overflow;
            std::optional<QByteArray> bytes;
            int error;
        };
        const Row rows[] = {
            {p, 4, Overflow::keepTail, QByteArray("6789"), 0},
            {p, 100, Overflow::keepTail, QByteArray("0123456789"), 0},
            {p, 10, Overflow::refuse, QByteArray("0123456789"), 0},
            {p, 9, Overflow::refuse, std::nullopt, EFBIG},
            {tmp.path(), 100, Overflow::keepTail, std::nullopt, EISDIR},
            {fifo, 100, Overflow::keepTail, std::nullopt, EINVAL}, // never blocks
            {tmp.path() + u"/missing", 100, Overflow::refuse, std::nullopt, ENOENT},
        };
        for (const Row& row : rows) {
            const BoundedRead read = readBounded(row.path, row.max, row.overflow);
            QCOMPARE(read.bytes, row.bytes);
            QCOMPARE(read.error, row.error);
        }
    }

    void jsonLinesSurviveHostileInput()
    {
        QByteArray deep(100000, '[');
        QByteArray bad = "{\"t\":\"a\xFF\xFE" "b\"}";
        QByteArray input = deep + "\n" + bad + "\n{\"n\":\"12\",\"d\":1.5,\"i\":3}\n";
        const auto docs = parseJSONLinesUtf8(input);
        QCOMPARE(docs.size(), 2);
        // Invalid UTF-8 is read as replacement characters, not dropped.
        QCOMPARE(json::qstring(docs[0].root(), "t"), std::optional(QStringLiteral("a\uFFFD\uFFFDb")));
        const auto o = docs[1].root();
        QCOMPARE(json::number(o, "n"), std::nullopt); // numbers in strings do not count
        QCOMPARE(json::number(o, "d"), std::optional(1.5));
        QCOMPARE(json::integer(o, "i"), std::optional<qint64>(3));
        QCOMPARE(json::integer(o, "d"), std::nullopt);
        QCOMPARE(json::string(o, "i"), std::nullopt);
    }

    // An empty view (no data pointer at all) used to reach memcpy with a null
    // source inside the parser; the sanitizer lane catches that.
    void emptyJsonIsNoObject()
    {
        QVERIFY(!json::Document::parseObject(QByteArrayView()).has_value());
        QVERIFY(!json::Document::parseObject(QByteArray()).has_value());
        QVERIFY(!json::Document::parseObject(" \n").has_value());
        QVERIFY(parseJSONLinesUtf8(QByteArrayView()).isEmpty());
        QVERIFY(json::Document::parseObject("{}").has_value());
    }

    void isoDates_data()
    {
        QTest::addColumn<QByteArray>("member"); // the JSON value of "t"
        QTest::addColumn<double>("expected");   // NaN: fallback
        const double base = 1735689600;         // 2025-01-01T00:00:00Z
        const double nan = std::nan("");
        auto row = [](const char* name, const char* text, double expected) {
            QTest::newRow(name) << QByteArray(QByteArray("\"") + text + '"') << expected;
        };
        row("utc", "2025-01-01T00:00:00Z", base);
        row("fraction", "2025-01-01T00:00:00.5Z", base + 0.5);
        row("offset", "2025-01-01T02:00:00+02:00", base);
        row("negative offset", "2024-12-31T19:00:00.000-05:00", base);
        row("leap day", "2024-02-29T00:00:00Z", 1709164800.0);
        row("date only", "2025-01-01", nan);
        row("no zone", "2025-01-01T00:00:00", nan);
        row("bad day", "2025-02-30T00:00:00Z", nan);
        row("empty fraction", "2025-01-01T00:00:00.Z", nan);
        row("trailing", "2025-01-01T00:00:00Zx", nan);
        row("space", "2025-01-01 00:00:00Z", nan);
        QTest::newRow("a number") << QByteArray("1735689600") << nan;
    }

    void isoDates()
    {
        QFETCH(QByteArray, member);
        QFETCH(double, expected);
        const Timestamp fallback = Timestamp::fromSeconds(7);
        const QByteArray line = "{\"t\":" + member + "}";
        const auto doc = json::Document::parseObject(line);
        QVERIFY(doc);
        const Timestamp got = parseISODate(json::member(doc->root(), "t"), fallback);
        if (std::isnan(expected))
            QCOMPARE(got, fallback);
        else
            QVERIFY2(std::abs(got.seconds() - expected) < 1e-6, qPrintable(QString::number(got.seconds(), 'f', 6)));
        QCOMPARE(parseISODate(std::nullopt, fallback), fallback);
    }

    void titles()
    {
        QCOMPARE(cleanTitle(QStringLiteral("  Fix\nthe build "), 60), std::optional(QStringLiteral("Fix the build")));
        QCOMPARE(cleanTitle(QStringLiteral("UnTitled Session"), 60), std::nullopt);
        QCOMPARE(cleanTitle(QStringLiteral("new session"), 60), std::nullopt);
        QCOMPARE(cleanTitle(QStringLiteral(" \t\n "), 60), std::nullopt);
        QCOMPARE(cleanTitle(std::nullopt, 60), std::nullopt);
        const QString sixtyOne = QString(59, u'a') + QStringLiteral(" b");
        QCOMPARE(cleanTitle(sixtyOne, 60), std::optional(QString(59, u'a') + QChar(0x2026)));
        QCOMPARE(cleanTitle(QString(60, u'x'), 60), std::optional(QString(60, u'x')));
        // Grapheme clusters, not UTF-16 units: a flag is one character.
        const QString flag = QStringLiteral("\U0001F1E9\U0001F1EA");
        QCOMPARE(cleanTitle(flag + flag + flag, 2), std::optional(flag + flag + QChar(0x2026)));
        QCOMPARE(cleanTitle(QStringLiteral("e\u0301e\u0301"), 2), std::optional(QStringLiteral("e\u0301e\u0301")));
    }

};

QTEST_GUILESS_MAIN(FileRoutinesTest)
#include "file_routines_test.moc"
