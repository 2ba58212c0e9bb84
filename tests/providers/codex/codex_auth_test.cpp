// Codex "auth.json" shapes and the access token's expiry.

#include "TestSupport.h"
#include "providers/codex/CodexAuth.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vexlor;

namespace {

QString jwt(const QByteArray& payload, bool padded = false)
{
    QByteArray::Base64Options options = QByteArray::Base64UrlEncoding;
    if (!padded)
        options |= QByteArray::OmitTrailingEquals;
    return QString::fromLatin1("eyJhbGciOiJub25lIn0." + payload.toBase64(options) + ".c2ln");
}

} // namespace

class CodexAuthTest : public QObject {
    Q_OBJECT

private slots:
    void credentials_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("token"); // empty: no credentials
        QTest::addColumn<QString>("account");
        QTest::newRow("full") << QByteArray(R"({"tokens":{"access_token":"at","account_id":"acc","id_token":"x"}})")
                              << QStringLiteral("at") << QStringLiteral("acc");
        QTest::newRow("no account") << QByteArray(R"({"tokens":{"access_token":"at"}})") << QStringLiteral("at")
                                    << QString();
        QTest::newRow("empty token") << QByteArray(R"({"tokens":{"access_token":""}})") << QString() << QString();
        QTest::newRow("top-level token only") << QByteArray(R"({"access_token":"at"})") << QString() << QString();
        QTest::newRow("not json") << QByteArray("tokens") << QString() << QString();
    }
    void credentials()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, token);
        QFETCH(QString, account);
        const auto parsed = parseCodexCredentials(json);
        QCOMPARE(parsed.has_value(), !token.isEmpty());
        if (parsed) {
            QCOMPARE(parsed->accessToken, token);
            QCOMPARE(parsed->accountId, account);
        }
    }

    void credentialsFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(!readCodexCredentials(dir.filePath(QStringLiteral("auth.json"))));
        const QString path = test::writeFile(dir.path(), QStringLiteral("auth.json"),
                                             R"({"tokens":{"access_token":"at","account_id":"a"}})");
        const auto read = readCodexCredentials(path);
        QVERIFY(read.has_value());
        QCOMPARE(read->accessToken, QStringLiteral("at"));
        QVERIFY(!readCodexCredentials(dir.path())); // a directory is not a file
    }

    void expiry_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<double>("expiry"); // -1: none
        QTest::newRow("unpadded") << jwt(R"({"exp":1800000000,"sub":"u"})") << 1800000000.0;
        // "?>?" encodes to characters that differ between base64 and base64url.
        QTest::newRow("url alphabet") << jwt(R"({"k":"?>?~~~","exp":42})") << 42.0;
        QTest::newRow("empty parts dropped")
            << QStringLiteral("..") + jwt(R"({"exp":7})").replace(u'.', QStringLiteral("..")) << 7.0;
        QTest::newRow("no exp") << jwt(R"({"sub":"u"})") << -1.0;
        QTest::newRow("exp as string") << jwt(R"({"exp":"1800000000"})") << -1.0;
        QTest::newRow("payload not base64") << QStringLiteral("a.%%%%.c") << -1.0;
        QTest::newRow("one part") << QStringLiteral("opaque-token") << -1.0;
    }
    void expiry()
    {
        QFETCH(QString, token);
        QFETCH(double, expiry);
        const auto found = jwtExpiry(token);
        QCOMPARE(found.has_value(), expiry >= 0);
        if (found)
            QCOMPARE(found->seconds(), expiry);
    }
};

QTEST_GUILESS_MAIN(CodexAuthTest)
#include "codex_auth_test.moc"
