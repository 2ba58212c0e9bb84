// Finding the Claude Code OAuth token: the credentials JSON shapes, the order
// of the sources, and the key chain tool run as a child process.

#include "TestSupport.h"
#include "providers/claude/ClaudeCredentials.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vexlor;
using vexlor::test::writeFile;

namespace {

QString writeScript(const QString& dir, const QString& name, const QByteArray& body)
{
    const QString path = writeFile(dir, name, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class ClaudeCredentialsTest : public QObject {
    Q_OBJECT

private slots:
    void credentialsJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("token"); // empty: none
        QTest::newRow("nested") << QByteArray(R"({"claudeAiOauth":{"accessToken":"sk-nested","refreshToken":"r"}})")
                                << QStringLiteral("sk-nested");
        QTest::newRow("nested wins over top level")
            << QByteArray(R"({"accessToken":"top","claudeAiOauth":{"accessToken":"inner"}})") << QStringLiteral("inner");
        QTest::newRow("nested without token falls back")
            << QByteArray(R"({"claudeAiOauth":{"refreshToken":"r"},"accessToken":"top"})") << QStringLiteral("top");
        QTest::newRow("trimmed") << QByteArray("{\"accessToken\":\" \\t tok \\t\"}") << QStringLiteral("tok");
        QTest::newRow("line break kept") << QByteArray(R"({"accessToken":"tok\n"})") << QStringLiteral("tok\n");
        QTest::newRow("only spaces and tabs") << QByteArray("{\"accessToken\":\" \\t \"}") << QString();
        QTest::newRow("nested blank does not fall back")
            << QByteArray(R"({"claudeAiOauth":{"accessToken":"  "},"accessToken":"top"})") << QString();
        QTest::newRow("not json") << QByteArray("accessToken=abc") << QString();
    }
    void credentialsJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, token);
        const auto found = tokenFromCredentialsJson(json);
        QCOMPARE(found.value_or(QString()), token);
        QCOMPARE(found.has_value(), !token.isEmpty());
    }

    // Each row gives the three sources and which one must win; "-" marks an
    // absent source. The calls list shows which sources were consulted.
    void sourceOrder_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QByteArray>("keychain");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QStringList>("consulted");
        const QByteArray kc = R"({"claudeAiOauth":{"accessToken":"from-keychain"}})";
        const QByteArray fl = R"({"claudeAiOauth":{"accessToken":"from-file"}})";
        const QStringList all{QStringLiteral("env"), QStringLiteral("keychain")};
        QTest::newRow("environment first") << QStringLiteral(" from-env ") << kc << fl << QStringLiteral("from-env")
                                           << QStringList{QStringLiteral("env")};
        QTest::newRow("blank environment ignored") << QStringLiteral(" \t ") << kc << fl << QStringLiteral("from-keychain") << all;
        QTest::newRow("keychain absent, file") << QStringLiteral("-") << QByteArray("-") << fl
                                               << QStringLiteral("from-file") << all;
        QTest::newRow("keychain without token, file") << QStringLiteral("-") << QByteArray(R"({"other":1})") << fl
                                                      << QStringLiteral("from-file") << all;
        QTest::newRow("nothing anywhere") << QStringLiteral("-") << QByteArray("-") << QByteArray("-") << QString()
                                          << all;
    }
    void sourceOrder()
    {
        QFETCH(QString, environment);
        QFETCH(QByteArray, keychain);
        QFETCH(QByteArray, file);
        QFETCH(QString, token);
        QFETCH(QStringList, consulted);

        QTemporaryDir config;
        QVERIFY(config.isValid());
        if (file != "-")
            writeFile(config.path(), QStringLiteral(".credentials.json"), file);
        QStringList calls;
        ClaudeTokenSources sources;
        sources.environment = [&](const char* name) -> std::optional<QString> {
            calls << QStringLiteral("env");
            if (QByteArray(name) != "CLAUDE_CODE_OAUTH_TOKEN" || environment == u"-")
                return std::nullopt;
            return environment;
        };
        sources.keychain = [&](const QString& service) -> std::optional<QByteArray> {
            calls << QStringLiteral("keychain");
            if (service != u"Claude Code-credentials" || keychain == "-")
                return std::nullopt;
            return keychain;
        };
        sources.credentialsFile = config.filePath(QStringLiteral(".credentials.json"));

        QCOMPARE(lookUpClaudeToken(sources).value_or(QString()), token);
        QCOMPARE(calls, consulted);
    }

    void secretToolOutcomes_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("prints secret") << QByteArray("printf '%s' \"$3\"\n") << true << QByteArray("svc name");
        QTest::newRow("no such item") << QByteArray("exit 1\n") << false << QByteArray();
        QTest::newRow("no such program") << QByteArray() << false << QByteArray();
        QTest::newRow("output then failure") << QByteArray("printf secret; exit 44\n") << false << QByteArray();
        QTest::newRow("hangs") << QByteArray("exec sleep 30\n") << false << QByteArray();
        QTest::newRow("too much output") << QByteArray("head -c 300000 /dev/zero\n") << false << QByteArray();
        QTest::newRow("killed") << QByteArray("kill -9 $$\n") << false << QByteArray();
    }
    void secretToolOutcomes()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, found);
        QFETCH(QByteArray, output);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SecretTool tool;
        tool.program = script.isEmpty() ? QStringLiteral("/nonexistent/secret-tool")
                                        : writeScript(dir.path(), QStringLiteral("tool"), script);
        tool.arguments = {QStringLiteral("lookup"), QStringLiteral("service"), QStringLiteral("svc name")};
        tool.timeoutMs = 500;
        tool.maxOutputBytes = 100000;
        const auto result = runSecretTool(tool);
        QCOMPARE(result.has_value(), found);
        if (found)
            QCOMPARE(*result, output);
    }
};

QTEST_GUILESS_MAIN(ClaudeCredentialsTest)
#include "claude_credentials_test.moc"
