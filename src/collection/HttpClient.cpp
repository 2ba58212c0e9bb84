#include "HttpClient.h"

#include "FileRoutines.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QHostAddress>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <memory>

namespace vexlor {

EnvironmentReader processEnvironment()
{
    return [](const char* name) { return environmentValue(name); };
}

bool isLoopbackHost(const QString& host)
{
    QString h = host;
    if (h.startsWith(u'[') && h.endsWith(u']'))
        h = h.mid(1, h.size() - 2);
    if (h.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    if (!address.setAddress(h))
        return false;
    return address.isLoopback();
}

EndpointChoice chooseEndpoint(const QUrl& production, const char* variable, const EnvironmentReader& environment)
{
    const std::optional<QString> replacement = environment ? environment(variable) : std::nullopt;
    if (!replacement)
        return {production, {}};
    const QUrl url(*replacement, QUrl::StrictMode);
    const QString refused = QStringLiteral("usage URL in %1 refused").arg(QLatin1StringView(variable));
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return {{}, refused + u": not an absolute URL"};
    const QString scheme = url.scheme().toLower();
    if (scheme == u"https")
        return {url, {}};
    if (scheme == u"http" && isLoopbackHost(url.host()))
        return {url, {}};
    return {{}, refused + u": only HTTPS, or HTTP to a loopback host"};
}

namespace {

QNetworkAccessManager* sharedManager()
{
    static QMutex mutex;
    static QPointer<QNetworkAccessManager> manager;
    QMutexLocker locker(&mutex);
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return nullptr;
    if (!manager) {
        // Owned by the application object, so it goes before Qt's own teardown.
        manager = new QNetworkAccessManager(app);
        manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    return manager;
}

struct ReadState {
    QByteArray body;
    bool tooLarge = false;
    bool timedOut = false;
};

} // namespace

HttpClient& HttpClient::shared()
{
    static HttpClient client;
    return client;
}

QCoro::Task<HttpResult> HttpClient::get(QUrl url, HeaderFields headers, HttpLimits limits)
{
    HttpResult result;
    QNetworkAccessManager* manager = sharedManager();
    if (!manager) {
        result.errorText = QStringLiteral("HTTP client used off the application thread");
        co_return result;
    }

    for (const auto& field : headers) {
        // A line break in a value would end the field and start another.
        if (field.first.isEmpty() || field.first.contains(':') || field.second.contains('\r')
            || field.second.contains('\n') || field.second.contains('\0') || field.first.contains('\r')
            || field.first.contains('\n')) {
            result.errorText = QStringLiteral("header field with a line break refused");
            co_return result;
        }
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);

    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(manager->get(request),
                                                                    [](QNetworkReply* r) { r->deleteLater(); });
    QNetworkReply* raw = reply.get();
    auto state = std::make_shared<ReadState>();
    const qint64 cap = limits.maxBodyBytes;

    auto refuse = [raw, state] {
        if (state->tooLarge)
            return;
        state->tooLarge = true;
        state->body.clear();
        raw->abort();
    };
    QObject::connect(raw, &QNetworkReply::metaDataChanged, raw, [raw, cap, refuse] {
        bool known = false;
        const qint64 announced = raw->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && announced > cap)
            refuse();
    });
    QObject::connect(raw, &QNetworkReply::readyRead, raw, [raw, state, cap, refuse] {
        if (state->tooLarge || state->timedOut)
            return;
        state->body += raw->read(cap + 1 - state->body.size());
        if (state->body.size() > cap || raw->bytesAvailable() > 0)
            refuse();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, raw, [raw, state] {
        state->timedOut = true;
        raw->abort();
    });
    deadline.start(limits.timeoutMs);

    co_await raw;
    deadline.stop();

    if (state->tooLarge) {
        result.outcome = HttpResult::Outcome::bodyTooLarge;
        result.errorText = QStringLiteral("response body larger than %1 bytes").arg(cap);
        co_return result;
    }
    if (state->timedOut) {
        result.outcome = HttpResult::Outcome::timedOut;
        result.errorText = QStringLiteral("request timed out");
        co_return result;
    }
    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Qt numbers the errors that merely restate an HTTP status 201-299 and
    // 401-499; connection, proxy and protocol errors (a body cut short among
    // them) are transport failures even after a status line arrived.
    const int code = raw->error();
    const bool answered = code == QNetworkReply::NoError || (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
    if (status.isValid() && answered) {
        // An error status is still an answer; its body is read the same way.
        state->body += raw->read(cap + 1 - state->body.size());
        if (state->body.size() > cap) {
            result.outcome = HttpResult::Outcome::bodyTooLarge;
            result.errorText = QStringLiteral("response body larger than %1 bytes").arg(cap);
            co_return result;
        }
        result.outcome = HttpResult::Outcome::response;
        result.status = status.toInt();
        result.body = std::move(state->body);
        co_return result;
    }
    if (raw->error() != QNetworkReply::NoError) {
        result.outcome = HttpResult::Outcome::transportError;
        result.errorText = raw->errorString();
        co_return result;
    }
    result.outcome = HttpResult::Outcome::response; // an answer that was not HTTP
    result.status = -1;
    co_return result;
}

} // namespace vexlor
