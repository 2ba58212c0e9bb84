#pragma once
// A small HTTP/1.1 server on a loopback port for the online-usage tests. It
// records every request (method, target, header fields in wire order) and
// answers each with the next queued reply, or the default one. A reply can
// also never come, trickle in byte by byte, stream without end, or announce a
// larger body than it sends.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUrl>
#include <optional>
#include <utility>

class QTcpServer;
class QTcpSocket;

namespace vexlor::test {

class FakeHttpServer : public QObject {
    Q_OBJECT
public:
    struct Reply {
        enum class Mode { normal, never, trickle, endless };
        int status = 200;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
        Mode mode = Mode::normal;
        qint64 announcedLength = -1; // Content-Length to send; -1: the body's size
        int trickleIntervalMs = 20;
    };
    struct Request {
        QByteArray method;
        QByteArray target;
        QList<std::pair<QByteArray, QByteArray>> headers;
        // The first value of a header field, by case-insensitive name.
        [[nodiscard]] std::optional<QByteArray> header(const QByteArray& name) const;
        [[nodiscard]] QList<QByteArray> headerNames() const;
    };

    // For a test class's cleanupTestCase(): replies go with deleteLater and
    // Qt's network thread tears its request objects down through queued
    // calls; both need a running event loop before the application object
    // goes, or they outlive it and the leak checker reports them.
    static void settleClientTeardown();

    explicit FakeHttpServer(QObject* parent = nullptr);
    ~FakeHttpServer() override;

    bool listen(const QHostAddress& address = QHostAddress::LocalHost);
    [[nodiscard]] quint16 port() const;
    // "http://<host>:<port>" followed by `path`.
    [[nodiscard]] QString url(const QString& path, const QString& host = QStringLiteral("127.0.0.1")) const;

    void setDefaultReply(Reply reply) { m_default = std::move(reply); }
    void enqueue(Reply reply) { m_queue.append(std::move(reply)); }
    static Reply json(int status, const QByteArray& body);
    // An IPv4 address of this machine that is not loopback, or a null
    // address when it has none. A server listening on QHostAddress::AnyIPv4
    // is reachable there, so a test can prove a refused URL sent nothing.
    static QHostAddress nonLoopbackAddress();

    [[nodiscard]] const QList<Request>& requests() const { return m_requests; }
    [[nodiscard]] int connections() const { return m_connections; }
    // Bytes written by endless replies so far.
    [[nodiscard]] qint64 streamedBytes() const { return m_streamed; }

private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Reply& reply);

    QTcpServer* m_server = nullptr;
    Reply m_default;
    QList<Reply> m_queue;
    QList<Request> m_requests;
    int m_connections = 0;
    qint64 m_streamed = 0;
};

} // namespace vexlor::test
