// The program's options: defaults, the screenshot pair and the values that
// are refused.

#include "CommandLine.h"

#include <QTest>

using namespace vexlor;

namespace {
CommandLine parse(const QStringList& options)
{
    return parseCommandLine(QStringList{QStringLiteral("vexlor")} + options);
}
} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void demoScreenshotAfterPasses()
    {
        const CommandLine line = parse({QStringLiteral("--demo"), QStringLiteral("--screenshot"),
                                        QStringLiteral("/tmp/deck.png"), QStringLiteral("--passes"), QStringLiteral("3"),
                                        QStringLiteral("--columns"), QStringLiteral("6"), QStringLiteral("--rows"),
                                        QStringLiteral("4")});
        QVERIFY(line.demo);
        QCOMPARE(line.screenshotPath, std::optional<QString>(QStringLiteral("/tmp/deck.png")));
        QCOMPARE(line.passes, 3);
        QCOMPARE(line.columns, std::optional<int>(6));
        QCOMPARE(line.rows, std::optional<int>(4));
        QVERIFY(line.error.isEmpty());

        const CommandLine defaults = parse({});
        QVERIFY(!defaults.demo && !defaults.screenshotPath && !defaults.columns && !defaults.overlay);
        QCOMPARE(defaults.passes, 1);
        QVERIFY(defaults.error.isEmpty());
    }

    void overlayCards_data()
    {
        QTest::addColumn<QString>("card");
        for (const char* card : {"settings", "tips", "agents", "online", "sheet:claude"})
            QTest::newRow(card) << QString::fromLatin1(card);
    }
    void overlayCards()
    {
        QFETCH(QString, card);
        const CommandLine line = parse({QStringLiteral("--screenshot"), QStringLiteral("/tmp/d.png"),
                                        QStringLiteral("--overlay"), card});
        QCOMPARE(line.overlay, std::optional<QString>(card));
        QVERIFY(line.error.isEmpty());
    }

    void refusedValues_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("no passes") << QStringList{QStringLiteral("--passes"), QStringLiteral("0")};
        QTest::newRow("passes not a number") << QStringList{QStringLiteral("--passes"), QStringLiteral("two")};
        QTest::newRow("one column") << QStringList{QStringLiteral("--columns"), QStringLiteral("1")};
        QTest::newRow("seven columns") << QStringList{QStringLiteral("--columns"), QStringLiteral("7")};
        QTest::newRow("five rows") << QStringList{QStringLiteral("--rows"), QStringLiteral("5")};
        QTest::newRow("no rows") << QStringList{QStringLiteral("--rows"), QStringLiteral("0")};
        QTest::newRow("unknown card") << QStringList{QStringLiteral("--overlay"), QStringLiteral("picker")};
        QTest::newRow("sheet without agent") << QStringList{QStringLiteral("--overlay"), QStringLiteral("sheet:")};
        // Ignored without the option they go with.
        QTest::newRow("card without screenshot") << QStringList{QStringLiteral("--overlay"), QStringLiteral("tips")};
        QTest::newRow("passes alone") << QStringList{QStringLiteral("--passes"), QStringLiteral("2")};
        QTest::newRow("unknown format") << QStringList{QStringLiteral("--headless"), QStringLiteral("--format"), QStringLiteral("xml")};
        QTest::newRow("format without headless") << QStringList{QStringLiteral("--format"), QStringLiteral("waybar")};
        QTest::newRow("headless screenshot") << QStringList{QStringLiteral("--headless"), QStringLiteral("--screenshot"),
                                                            QStringLiteral("/tmp/d.png")};
    }
    void refusedValues()
    {
        QFETCH(QStringList, options);
        QVERIFY(!parse(options).error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
