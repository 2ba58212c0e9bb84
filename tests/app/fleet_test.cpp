// End to end: two `vexlor --headless` runs with their own homes and host
// names join a fleet through a real mosquitto broker started here on a free
// loopback port, or through one folder as a file-sync tool would share it.

#include "TestSupport.h"
#include "collection/Timestamp.h"
#include "fixtures/Fixtures.h"
#include "sync/SnapshotJson.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <functional>

using namespace vexlor;
using namespace vexlor::test;
using Check = std::function<bool(const QJsonObject&)>;

namespace {

class Broker {
public:
    explicit Broker(const QByteArray& extraConfig = {})
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
        probe.close();
        writeFile(dir.path(), QStringLiteral("mosquitto.conf"),
                  "listener " + QByteArray::number(port) + " 127.0.0.1\npersistence false\nuser root\n" + extraConfig);
        start();
    }
    ~Broker() { stop(); }
    void start()
    {
        process.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), dir.filePath(QStringLiteral("mosquitto.conf"))});
        QTRY_VERIFY_WITH_TIMEOUT(accepts(), 10000);
    }
    void stop()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    bool accepts()
    {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        return s.waitForConnected(500);
    }
    QString url(const QString& user = {}) const
    {
        return u"mqtt://" + (user.isEmpty() ? QString() : user + u'@') + QStringLiteral("127.0.0.1:%1/vx?keepalive=5").arg(port);
    }
    // mosquitto_pub / mosquitto_sub with this broker's address.
    QByteArray client(const QString& tool, const QStringList& arguments, const QByteArray& input = {})
    {
        QProcess p;
        p.start(tool, QStringList{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port)} + arguments);
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(15000);
        return p.readAllStandardOutput();
    }
    void publish(const QString& topic, const QByteArray& payload)
    {
        client(QStringLiteral("mosquitto_pub"), {QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-t"), topic, QStringLiteral("-s")}, payload);
    }

    QTemporaryDir dir;
    quint16 port = 0;
    QProcess process;
};

struct Member : HeadlessHome {
    void writeWorkingSession() const
    {
        writeClaudeStatus(QStringLiteral("s1"), QStringLiteral("idle"), QStringLiteral("Fix login"));
        writeFile(claude(), QStringLiteral("projects/-work-app/s1.jsonl"),
                  "{\"type\":\"user\",\"timestamp\":\"" + fixtures::iso(Timestamp::now().seconds()) + "\",\"message\":{\"role\":\"user\"}}\n");
    }
    void endTurn() const
    {
        appendFile(claude() + u"/projects/-work-app/s1.jsonl",
                   "{\"type\":\"assistant\",\"timestamp\":\"" + fixtures::iso(Timestamp::now().seconds())
                       + "\",\"message\":{\"model\":\"claude-sonnet-4-5\",\"stop_reason\":\"end_turn\"}}\n");
    }

    void run(const QStringList& fleet, const QProcessEnvironment& extra = {})
    {
        QProcessEnvironment env = environment();
        env.remove(QStringLiteral("VEXLOR_BROKER_PASSWORD"));
        env.remove(QStringLiteral("VEXLOR_BROKER"));
        env.insert(extra);
        process.setProcessEnvironment(env);
        process.start(vexlorBinary(), QStringList{QStringLiteral("--headless"), QStringLiteral("--interval"), QStringLiteral("0.2")} + fleet);
    }
    ~Member()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    // Reads snapshot lines until one satisfies `check`; empty when none does
    // in time. The lines of `alongside` are read and dropped meanwhile, so
    // that it never blocks on a full pipe.
    QJsonObject until(const Check& check, int timeoutMs = 20000, Member* alongside = nullptr)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (alongside) {
                alongside->process.waitForReadyRead(0);
                alongside->process.readAllStandardOutput();
                alongside->log();
            }
            if (!process.canReadLine() && !process.waitForReadyRead(200))
                continue;
            while (process.canReadLine()) {
                last = process.readLine();
                const QJsonObject line = QJsonDocument::fromJson(last).object();
                if (check(line))
                    return line;
            }
        }
        qWarning("no line matched; the last was %s; log: %s", last.constData(), log().constData());
        return {};
    }
    QByteArray log()
    {
        errors += process.readAllStandardError();
        return errors;
    }

    QProcess process;
    QByteArray errors;
    QByteArray last;
};

QJsonObject host(const QJsonObject& line, const QString& name)
{
    for (const auto& h : line[u"fleet"].toArray())
        if (h[u"host"].toString() == name)
            return h.toObject();
    return {};
}

QString claudeStatus(const QJsonArray& agents)
{
    for (const auto& a : agents)
        if (a[u"id"].toString() == u"claude")
            return a[u"status"].toString();
    return {};
}

// The first (usually retained) message on a topic.
QByteArray subscribeOnce(Broker& broker, const QString& topic)
{
    return broker.client(QStringLiteral("mosquitto_sub"), {QStringLiteral("-t"), topic, QStringLiteral("-C"), QStringLiteral("1"),
                                                           QStringLiteral("-W"), QStringLiteral("20")});
}

Check hostIs(const QString& name, bool online, const QString& status = {})
{
    return [=](const QJsonObject& line) {
        const QJsonObject h = host(line, name);
        return !h.isEmpty() && h[u"online"].toBool() == online
            && (status.isEmpty() || claudeStatus(h[u"agents"].toArray()) == status);
    };
}

} // namespace

class FleetTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFileInfo(vexlorBinary()).isExecutable())
            QSKIP("the vexlor program is not built (interface build switched off)");
        m_hasBroker = !QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin")}).isEmpty()
            || !QStandardPaths::findExecutable(QStringLiteral("mosquitto")).isEmpty();
        qputenv("PATH", qgetenv("PATH") + ":/usr/sbin");
    }

    void init()
    {
        if (!m_hasBroker && QByteArray(QTest::currentTestFunction()) != "twoDecksShareAFolder")
            QSKIP("mosquitto is not installed (scripts/install-deps)");
    }

    // The folder route: each host writes its own key in the folder and reads
    // the others'; requests to acknowledge travel as files.
    void twoDecksShareAFolder()
    {
        QTemporaryDir shared;
        QProcessEnvironment env;
        env.insert(QStringLiteral("VEXLOR_KVS_DIR"), shared.path());
        // A host that went quiet eleven minutes ago.
        const QString capturedAt = *SnapshotJson::formatTimestamp(Timestamp::now() - 660);
        writeFile(shared.path(), QStringLiteral("charlie@deck.snapshot.v1"),
                  "{\"version\":1,\"capturedAt\":\"" + capturedAt.toUtf8() + "\",\"content\":{\"agents\":[],\"usage\":[]}}");
        Member a, b;
        a.writeWorkingSession();
        a.run({QStringLiteral("--host"), QStringLiteral("alpha")}, env);
        b.run({QStringLiteral("--host"), QStringLiteral("bravo")}, env);

        const QJsonObject first = b.until(hostIs(QStringLiteral("alpha"), true, QStringLiteral("working")));
        QVERIFY(!first.isEmpty());
        QCOMPARE(host(first, QStringLiteral("charlie"))[u"online"].toBool(true), false);
        QCOMPARE(host(first, QStringLiteral("charlie"))[u"seenAt"].toString(), capturedAt);
        // A's needs-you arrives with the folder store's next write, up to
        // 30 seconds after its first.
        a.endTurn();
        const QJsonObject needy = b.until(hostIs(QStringLiteral("alpha"), true, QStringLiteral("needsYou")), 60000, &a);
        QVERIFY2(!needy.isEmpty(), b.log().constData());
        QVERIFY(QJsonDocument(needy).toJson().contains("Fix login"));

        // B asks A to acknowledge; A's deck turns idle, A saves it and takes
        // the request's file away.
        b.process.write("ack claude alpha\n");
        QVERIFY(b.process.waitForBytesWritten(5000));
        QVERIFY(!a.until([](const QJsonObject& l) { return claudeStatus(l[u"content"][u"agents"].toArray()) == u"idle"; },
                         20000, &b).isEmpty());
        QFile prefs(a.prefsBase() + u"/vexlor/preferences.json");
        QVERIFY(prefs.open(QIODevice::ReadOnly));
        QVERIFY(QJsonDocument::fromJson(prefs.readAll())[u"CollectorAcknowledged"].toObject().contains(u"claude:s1"));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(shared.filePath(QStringLiteral("alpha@ack.bravo.v1"))), 10000);

        // Each host has its own key; the key of a deck outside a fleet stays
        // unwritten, and nobody counts itself.
        QCOMPARE(QDir(shared.path()).entryList(QDir::Files),
                 (QStringList{QStringLiteral("alpha@deck.snapshot.v1"), QStringLiteral("bravo@deck.snapshot.v1"),
                              QStringLiteral("charlie@deck.snapshot.v1")}));
        QVERIFY(host(needy, QStringLiteral("bravo")).isEmpty());
    }

    void twoDecksShareAFleet()
    {
        Broker broker("allow_anonymous true\n");
        Member a, b;
        a.writeWorkingSession();
        a.run({QStringLiteral("--broker"), broker.url(), QStringLiteral("--host"), QStringLiteral("alpha")});
        b.run({QStringLiteral("--broker"), broker.url(), QStringLiteral("--host"), QStringLiteral("bravo")});

        // A's needs-you reaches B's fleet member, with the session's title.
        QVERIFY(!b.until(hostIs(QStringLiteral("alpha"), true, QStringLiteral("working"))).isEmpty());
        a.endTurn();
        const QJsonObject needy = b.until(hostIs(QStringLiteral("alpha"), true, QStringLiteral("needsYou")));
        QVERIFY2(!needy.isEmpty(), b.log().constData());
        QVERIFY(QJsonDocument(needy).toJson().contains("Fix login"));

        // Garbage is ignored: a malformed and an oversized deck, a bad flag
        // and a bad acknowledgement; nobody crashes, mallory never appears.
        broker.publish(QStringLiteral("vx/mallory/deck"), "{\"version\":1,");
        broker.publish(QStringLiteral("vx/eve/deck"), QByteArray(950000, ' ') + "{}");
        broker.publish(QStringLiteral("vx/mallory/online"), "maybe");
        broker.publish(QStringLiteral("vx/alpha/ack"), "{\"provider\":\"rm -rf\"}");

        // B asks A to acknowledge; A's deck turns idle and A saves it.
        b.process.write("ack claude alpha\n");
        QVERIFY(b.process.waitForBytesWritten(5000));
        QVERIFY(!a.until([](const QJsonObject& l) { return claudeStatus(l[u"content"][u"agents"].toArray()) == u"idle"; }).isEmpty());
        QVERIFY(!b.until(hostIs(QStringLiteral("alpha"), true, QStringLiteral("idle"))).isEmpty());
        QFile prefs(a.prefsBase() + u"/vexlor/preferences.json");
        QVERIFY(prefs.open(QIODevice::ReadOnly));
        QVERIFY(QJsonDocument::fromJson(prefs.readAll())[u"CollectorAcknowledged"].toObject().contains(u"claude:s1"));
        QTRY_VERIFY(b.log().contains("ignoring the deck from mallory"));
        QVERIFY(b.log().contains("ignoring a deck from eve larger than"));
        QVERIFY(a.log().contains("ignoring an acknowledgement request"));
        QVERIFY(host(b.until(hostIs(QStringLiteral("alpha"), true)), QStringLiteral("mallory")).isEmpty());

        // The broker restarts without its retained messages: both publish
        // again and see each other again.
        broker.stop();
        QTRY_VERIFY_WITH_TIMEOUT(b.log().contains("lost the connection"), 10000);
        broker.start();
        for (const char* topic : {"vx/alpha/deck", "vx/bravo/deck", "vx/bravo/online"})
            QVERIFY2(!subscribeOnce(broker, QString::fromLatin1(topic)).isEmpty(), topic);
        QTRY_VERIFY_WITH_TIMEOUT(a.log().count("connected to") == 2 && b.log().count("connected to") == 2, 10000);

        // A dies without a word: the broker's last will marks it offline.
        a.process.kill();
        QVERIFY(!b.until(hostIs(QStringLiteral("alpha"), false)).isEmpty());
        // B ends cleanly and says so itself.
        b.process.terminate();
        QVERIFY(b.process.waitForFinished(10000));
        QCOMPARE(subscribeOnce(broker, QStringLiteral("vx/bravo/online")).trimmed(), QByteArray("0"));
    }

    // A configuration that cannot work is one clear line; the local deck
    // goes on. TLS rows run against a certificate for "localhost" signed by a
    // CA made here, trusted through SSL_CERT_FILE or not at all.
    void configurations_data()
    {
        QTest::addColumn<QString>("url");      // "%1" is the broker's port
        QTest::addColumn<QString>("password"); // "env:...", "file:MODE:..." or ""
        QTest::addColumn<QString>("expected"); // in the log
        QTest::addColumn<bool>("fleet");       // lines carry a "fleet" member
        const QString ann = QStringLiteral("mqtt://ann@127.0.0.1:%1/vx");
        QTest::newRow("wrong password") << ann << QStringLiteral("env:wrong") << QStringLiteral("refused the connection") << true;
        QTest::newRow("right password file") << ann << QStringLiteral("file:600:secret\n")
                                             << QStringLiteral("connected to mqtt://127.0.0.1:") << true;
        QTest::newRow("password file others may read") << ann << QStringLiteral("file:640:secret")
                                                        << QStringLiteral("may be read or written by others") << false;
        QTest::newRow("plain to another machine") << QStringLiteral("mqtt://broker.example.com/vx") << QString()
                                                  << QStringLiteral("allowed only on this machine") << false;
        QTest::newRow("tls, trusted CA") << QStringLiteral("mqtts://localhost:%1/vx") << QStringLiteral("ca")
                                         << QStringLiteral("connected to mqtts://localhost:") << true;
        QTest::newRow("tls, unknown CA") << QStringLiteral("mqtts://localhost:%1/vx") << QString()
                                         << QStringLiteral("cannot connect to mqtts://localhost:") << true;
    }

    void configurations()
    {
        QFETCH(QString, url);
        QFETCH(QString, password);
        QFETCH(QString, expected);
        QFETCH(bool, fleet);
        QTemporaryDir auth;
        const auto path = [&auth](const char* name) { return auth.filePath(QString::fromLatin1(name)); };
        QByteArray config;
        if (url.startsWith(u"mqtts")) {
            writeFile(auth.path(), QStringLiteral("san"), "subjectAltName=DNS:localhost\n");
            const QString ec = QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2");
            for (const QString& command : {QStringLiteral("req -x509 %1 -keyout ca.key -out ca.crt -subj /CN=FleetTestCA").arg(ec),
                                           QStringLiteral("req %1 -keyout server.key -out server.csr -subj /CN=localhost").arg(ec),
                                           QStringLiteral("x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial "
                                                          "-out server.crt -days 2 -extfile san")}) {
                QProcess openssl;
                openssl.setWorkingDirectory(auth.path());
                openssl.start(QStringLiteral("openssl"), command.split(u' '));
                QVERIFY(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
            }
            config = "allow_anonymous true\ncertfile " + path("server.crt").toUtf8() + "\nkeyfile " + path("server.key").toUtf8() + "\n";
        } else {
            QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                       {QStringLiteral("-b"), QStringLiteral("-c"), path("passwords"), QStringLiteral("ann"), QStringLiteral("secret")}), 0);
            config = "allow_anonymous false\npassword_file " + path("passwords").toUtf8() + "\n";
        }
        Broker broker(config);

        Member m;
        m.writeWorkingSession();
        QProcessEnvironment env;
        env.insert(QStringLiteral("SSL_CERT_FILE"), password == u"ca" ? path("ca.crt") : path("none"));
        if (password.startsWith(u"env:"))
            env.insert(QStringLiteral("VEXLOR_BROKER_PASSWORD"), password.mid(4));
        if (password.startsWith(u"file:")) {
            const QString path = writeFile(m.prefsBase(), QStringLiteral("vexlor/broker-password"), password.section(u':', 2).toUtf8());
            QVERIFY(QFile::setPermissions(path, password.section(u':', 1, 1) == u"600"
                                                    ? QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                    : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        }
        m.run({QStringLiteral("--broker"), QString(url).replace(u"%1"_qs, QString::number(broker.port)), QStringLiteral("--host"), QStringLiteral("solo")}, env);
        QTRY_VERIFY_WITH_TIMEOUT(m.log().contains(expected.toUtf8()), 15000);
        // The local deck keeps working, with the fleet member only when linked.
        const QJsonObject line = m.until([](const QJsonObject& l) { return claudeStatus(l[u"content"][u"agents"].toArray()) == u"working"; });
        QVERIFY(!line.isEmpty());
        QCOMPARE(line.contains(u"fleet"), fleet);
        QVERIFY(!m.log().contains("secret"));
        QCOMPARE(m.log().count("[Fleet]"), 1);
    }

private:
    bool m_hasBroker = false;
};

QTEST_GUILESS_MAIN(FleetTest)
#include "fleet_test.moc"
