#include "DesktopNotifier.h"

#include "collection/Logging.h"

#include <QCoreApplication>
#include <QDBusAbstractInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <optional>
#include <utility>

namespace vexlor {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kShowAction = QStringLiteral("show");

QDBusMessage closeCall(uint id)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
    call << id;
    return call;
}
} // namespace

// The notification server's two signals as Qt signals. With no service
// name the signals of any sender match: the server answers from its unique
// name.
class NotificationSignals : public QDBusAbstractInterface {
    Q_OBJECT

public:
    NotificationSignals(const QDBusConnection& bus, QObject* parent)
        : QDBusAbstractInterface(QString(), kPath, "org.freedesktop.Notifications", bus, parent)
    {
    }

signals:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);
};

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    auto* server = new NotificationSignals(m_bus, this);
    connect(server, &NotificationSignals::ActionInvoked, this, &DesktopNotifier::actionInvoked);
    connect(server, &NotificationSignals::NotificationClosed, this, &DesktopNotifier::notificationClosed);

    const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        if (!reply.isError())
            m_bodyMarkup = reply.value().contains(QStringLiteral("body-markup"));
    });
}

DesktopNotifier::~DesktopNotifier()
{
    // Waited for (briefly), since the process is about to end.
    for (const uint id : std::as_const(m_open))
        m_bus.call(closeCall(id), QDBus::Block, 300);
}

void DesktopNotifier::follow(const QList<Agent>& agents, bool send)
{
    const QList<AttentionNotice> notices = m_notices.update(agents);
    if (!send)
        return;
    for (const AttentionNotice& notice : notices) {
        if (notice.kind == AttentionNotice::Kind::show)
            show(notice);
        else
            close(notice.providerID);
    }
}

void DesktopNotifier::show(const AttentionNotice& notice)
{
    if (!m_bus.isConnected()) {
        logOnce(QStringLiteral("no session bus"));
        return;
    }
    if (m_pending.contains(notice.providerID)) {
        m_queued.insert(notice.providerID, notice);
        m_closeWhenSent.remove(notice.providerID);
        return;
    }
    const QString label = QCoreApplication::translate("DesktopNotifier", "Show");
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("Vexlor") << m_open.value(notice.providerID, 0u) << QStringLiteral("vexlor")
         << notice.summary << (m_bodyMarkup ? notice.body.toHtmlEscaped() : notice.body) << QStringList{QStringLiteral("default"), label, kShowAction, label}
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("vexlor")},
                        {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)}}
         << -1;
    m_pending.insert(notice.providerID);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, provider = notice.providerID](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                m_pending.remove(provider);
                const QDBusPendingReply<uint> reply = *w;
                const std::optional<AttentionNotice> queued = m_queued.contains(provider)
                    ? std::optional(m_queued.take(provider)) : std::nullopt;
                if (reply.isError()) {
                    m_closeWhenSent.remove(provider);
                    logOnce(reply.error().message());
                    return;
                }
                m_open.insert(provider, reply.value());
                m_sent.insert(reply.value(), provider);
                if (m_closeWhenSent.remove(provider))
                    close(provider);
                else if (queued)
                    show(*queued);
            });
}

void DesktopNotifier::close(const QString& providerID)
{
    if (m_pending.contains(providerID)) {
        m_queued.remove(providerID);
        m_closeWhenSent.insert(providerID);
        return;
    }
    const auto it = m_open.constFind(providerID);
    if (it == m_open.constEnd())
        return;
    const uint id = *it;
    m_open.erase(it);
    m_bus.asyncCall(closeCall(id));
}

void DesktopNotifier::actionInvoked(uint id, const QString& action)
{
    if (action != kShowAction && action != u"default")
        return;
    // Some servers close a notice before they report its action.
    if (const auto it = m_sent.constFind(id); it != m_sent.constEnd())
        emit showRequested(*it);
}

void DesktopNotifier::notificationClosed(uint id, uint)
{
    if (const QString provider = m_sent.value(id); m_open.value(provider) == id)
        m_open.remove(provider);
}

void DesktopNotifier::logOnce(const QString& why)
{
    if (std::exchange(m_logged, true))
        return;
    qCWarning(lcApp, "[Notify] desktop notifications are off: %s", qPrintable(why));
}

} // namespace vexlor

#include "DesktopNotifier.moc"
