#pragma once
// Tells the desktop when an agent needs the user, through the freedesktop
// notification service (org.freedesktop.Notifications on the session bus):
// one notification per provider, replaced while it is open, closed when the
// provider's sessions were acknowledged; its "Show" action asks for the deck
// and that agent's sessions. What to announce is decided by AttentionNotices.
// Session titles are the user's own words: where the server reads the body
// as markup they are escaped, so "a <b> & c" arrives as written.
// Without a bus or a notification server nothing is sent and one line is
// logged. Main thread only.

#include "deck/AttentionNotices.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QSet>

namespace vexlor {

class DesktopNotifier : public QObject {
    Q_OBJECT

public:
    explicit DesktopNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    // Closes the notices still open: once the deck is gone nobody answers
    // their "Show".
    ~DesktopNotifier() override;

    // One applied pass's agents. With `send` false the attention is only
    // followed (so turning notifications on later announces nothing old).
    void follow(const QList<Agent>& agents, bool send = true);

signals:
    // The user chose "Show" on the notice of `providerID`.
    void showRequested(const QString& providerID);

private:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);
    void show(const AttentionNotice& notice);
    void close(const QString& providerID);
    void logOnce(const QString& why);

    QDBusConnection m_bus;
    AttentionNotices m_notices;
    QHash<QString, uint> m_open; // provider id -> id of its open notification
    QHash<uint, QString> m_sent; // every id the server gave -> its provider
    // Providers whose notice is on its way, and those of them to close as
    // soon as the server has named it.
    QSet<QString> m_pending;
    QSet<QString> m_closeWhenSent;
    // The newest notice asked for while its provider's last was on its way:
    // sent once that one has an id, so that it replaces it.
    QHash<QString, AttentionNotice> m_queued;
    bool m_logged = false;
    // Whether the server reads the body as markup; assumed until it answers,
    // as nearly every server does.
    bool m_bodyMarkup = true;
};

} // namespace vexlor
