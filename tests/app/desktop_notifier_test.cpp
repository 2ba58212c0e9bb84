// Desktop notifications through a real D-Bus daemon: a private session bus
// started here, a notification server on it that records what it is asked,
// and the notifier driven through the attention of passes.

#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace vexlor;

namespace {

class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeNotificationServer(QDBusConnection bus)
        : m_bus(std::move(bus))
    {
    }
    struct Call {
        uint replaces = 0;
        QString summary, body;
        QStringList actions;
    };
    QList<Call> notified;
    QList<uint> closed;

    void emitSignal(const QString& name, const QVariantList& args)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"), name);
        signal.setArguments(args);
        m_bus.send(signal);
    }

public slots:
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int)
    {
        notified.append({replaces, summary, body, actions});
        return replaces ? replaces : ++m_lastId;
    }
    void CloseNotification(uint id)
    {
        closed.append(id);
        emitSignal(QStringLiteral("NotificationClosed"), {id, 3u});
    }

private:
    QDBusConnection m_bus;
    uint m_lastId = 40;
};

QList<Agent> claudeWaitingOn(const QStringList& titles)
{
    Agent claude;
    claude.id = QStringLiteral("claude");
    claude.name = QStringLiteral("CLAUDE");
    claude.status = titles.isEmpty() ? AgentStatus::idle : AgentStatus::needsYou;
    for (const QString& title : titles)
        claude.openSessions.append({QStringLiteral("claude:") + title, title, AgentSession::State::attention, {}});
    Agent codex;
    codex.id = QStringLiteral("codex");
    return {claude, codex};
}

} // namespace

class DesktopNotifierTest : public QObject {
    Q_OBJECT

private slots:
    void announcesReplacesClosesAndShows()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("dbus-daemon is not installed");
        QProcess daemon;
        daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                     QStringLiteral("--print-address=1")});
        QVERIFY(daemon.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(daemon.readLine().trimmed());
        {
            QDBusConnection serverBus = QDBusConnection::connectToBus(address, QStringLiteral("server"));
            QVERIFY(serverBus.isConnected());
            FakeNotificationServer server(serverBus);
            QVERIFY(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                             QDBusConnection::ExportAllSlots));
            QVERIFY(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

            DesktopNotifier notifier(QDBusConnection::connectToBus(address, QStringLiteral("client")));
            QSignalSpy shows(&notifier, &DesktopNotifier::showRequested);
            // Attention present at start-up, and the same again: nothing.
            notifier.follow(claudeWaitingOn({QStringLiteral("old")}));
            notifier.follow(claudeWaitingOn({QStringLiteral("old")}));
            notifier.follow(claudeWaitingOn({QStringLiteral("old"), QStringLiteral("Fix login")}));
            QTRY_COMPARE(server.notified.size(), 1);
            QCOMPARE(server.notified[0].replaces, 0u);
            QCOMPARE(server.notified[0].summary, QStringLiteral("Claude needs you"));
            QCOMPARE(server.notified[0].body, QStringLiteral("Fix login +1 more"));
            QVERIFY(server.notified[0].actions.contains(QStringLiteral("show")));

            // Another session while it is open: the same notification, replaced.
            notifier.follow(claudeWaitingOn({QStringLiteral("old"), QStringLiteral("Fix login"), QStringLiteral("Tests")}));
            QTRY_COMPARE(server.notified.size(), 2);
            QCOMPARE(server.notified[1].replaces, 41u);
            QCOMPARE(server.notified[1].body, QStringLiteral("Tests +2 more"));

            // Acknowledged: its sessions leave attention and the notice closes.
            notifier.follow(claudeWaitingOn({}));
            QTRY_COMPARE(server.closed, QList<uint>{41u});

            // A new notice after that is a new one; its "Show" asks for the deck.
            notifier.follow(claudeWaitingOn({QStringLiteral("Deploy")}));
            QTRY_COMPARE(server.notified.size(), 3);
            QCOMPARE(server.notified[2].replaces, 0u);
            server.emitSignal(QStringLiteral("ActionInvoked"), {42u, QStringLiteral("show")});
            QTRY_COMPARE(shows.size(), 1);
            QCOMPARE(shows[0][0].toString(), QStringLiteral("claude"));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("server"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        daemon.kill();
        daemon.waitForFinished(5000);
    }
};

QTEST_GUILESS_MAIN(DesktopNotifierTest)
#include "desktop_notifier_test.moc"
