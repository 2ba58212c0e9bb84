#include "FakeHttpServer.h"

#include <QCoreApplication>
#include <QNetworkInterface>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace vexlor::test {

void FakeHttpServer::settleClientTeardown()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::qWait(200);
}

std::optional<QByteArray> FakeHttpServer::Request::header(const QByteArray& name) const
{
    for (const auto& [n, v] : headers) {
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    }
    return std::nullopt;
}

QList<QByteArray> FakeHttpServer::Request::headerNames() const
{
    QList<QByteArray> names;
    for (const auto& field : headers)
        names.append(field.first);
    return names;
}

FakeHttpServer::FakeHttpServer(QObject* parent)
    : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &FakeHttpServer::accept);
}

FakeHttpServer::~FakeHttpServer() = default;

bool FakeHttpServer::listen(const QHostAddress& address)
{
    return m_server->listen(address, 0);
}

quint16 FakeHttpServer::port() const
{
    return m_server->serverPort();
}

QString FakeHttpServer::url(const QString& path, const QString& host) const
{
    return QStringLiteral("http://%1:%2%3").arg(host).arg(port()).arg(path);
}

FakeHttpServer::Reply FakeHttpServer::json(int status, const QByteArray& body)
{
    Reply r;
    r.status = status;
    r.body = body;
    r.headers = {{"Content-Type", "application/json"}};
    return r;
}

QHostAddress FakeHttpServer::nonLoopbackAddress()
{
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        if (!a.isLoopback() && a.protocol() == QAbstractSocket::IPv4Protocol)
            return a;
    }
    return {};
}

void FakeHttpServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        ++m_connections;
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void FakeHttpServer::readFrom(QTcpSocket* socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("buffer", buffer.mid(end + 4));
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    Request request;
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.target = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    m_requests.append(request);
    const Reply reply = m_queue.isEmpty() ? m_default : m_queue.takeFirst();
    answer(socket, reply);
}

void FakeHttpServer::answer(QTcpSocket* socket, const Reply& reply)
{
    if (reply.mode == Reply::Mode::never)
        return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Status\r\n";
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    if (reply.mode != Reply::Mode::endless) {
        const qint64 length = reply.announcedLength >= 0 ? reply.announcedLength : reply.body.size();
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";

    switch (reply.mode) {
    case Reply::Mode::never:
        return;
    case Reply::Mode::normal:
        socket->write(head + reply.body);
        socket->disconnectFromHost();
        return;
    case Reply::Mode::trickle: {
        // Head at once, then one body byte per interval for as long as the
        // client listens; the bytes never stop long enough to look idle.
        socket->write(head);
        auto* timer = new QTimer(socket);
        QPointer<QTcpSocket> guard(socket);
        connect(timer, &QTimer::timeout, socket, [guard] {
            if (guard && guard->state() == QAbstractSocket::ConnectedState)
                guard->write(" ");
        });
        timer->start(reply.trickleIntervalMs);
        return;
    }
    case Reply::Mode::endless: {
        socket->write(head);
        const QByteArray chunk(64 * 1024, 'x');
        auto feed = [this, socket, chunk] {
            if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() > 4 * chunk.size())
                return;
            socket->write(chunk);
            m_streamed += chunk.size();
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, feed);
        feed();
        return;
    }
    }
}

} // namespace vexlor::test
