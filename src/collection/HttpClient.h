#pragma once
// The one HTTP client of the process, used for the online plan-usage fetches.
// A GET is awaited inside a collector pass; it never follows redirects, gives
// up after a timeout and refuses bodies above a size cap, so a hostile or
// broken server can neither hold a pass nor fill memory. The endpoint policy
// decides which URLs may carry a bearer token at all.

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <utility>

namespace vexlor {

// Reads one environment variable by name; no value when unset or empty.
// Injected wherever the environment matters, so tests never touch the real one.
using EnvironmentReader = std::function<std::optional<QString>(const char* name)>;
[[nodiscard]] EnvironmentReader processEnvironment();

// True for "localhost", 127.0.0.0/8 and ::1 (brackets allowed).
[[nodiscard]] bool isLoopbackHost(const QString& host);

struct EndpointChoice {
    QUrl url;      // valid only when error is empty
    QString error; // why a replacement URL was refused
    [[nodiscard]] bool ok() const { return error.isEmpty(); }
};

// The production URL, or the full replacement given in the environment
// variable `variable`. A replacement must be an absolute HTTPS URL with a
// host, or plain HTTP to a loopback host; anything else is refused, and the
// caller then sends nothing.
[[nodiscard]] EndpointChoice chooseEndpoint(const QUrl& production, const char* variable,
                                            const EnvironmentReader& environment);

struct HttpLimits {
    int timeoutMs = 10000;                 // for the whole exchange
    qint64 maxBodyBytes = 4 * 1024 * 1024; // larger bodies are refused
};

struct HttpResult {
    enum class Outcome { response, transportError, timedOut, bodyTooLarge };
    Outcome outcome = Outcome::transportError;
    int status = -1; // the HTTP status; -1 when the answer was not HTTP
    QByteArray body; // complete only when outcome is `response`
    QString errorText;

    [[nodiscard]] bool isResponse() const { return outcome == Outcome::response; }
};

using HeaderFields = QList<std::pair<QByteArray, QByteArray>>;

class HttpClient {
public:
    // The process-wide client. Its network manager belongs to the
    // application's thread; get() must be awaited on that thread.
    [[nodiscard]] static HttpClient& shared();

    // GET `url` with exactly `headers` (in order) besides the transport's own
    // fields. No cookies are stored or sent, no redirect is followed (a 3xx
    // answer is returned as its status), no authentication is retried. A
    // field whose name or value holds a line break fails before anything is
    // sent.
    QCoro::Task<HttpResult> get(QUrl url, HeaderFields headers, HttpLimits limits = {});

private:
    HttpClient() = default;
};

} // namespace vexlor
