#include "httpserver.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

QString NormalPath(const QString& path)
{
    QString normal = path;
    normal.replace(QRegularExpression(QStringLiteral("/+")), QStringLiteral("/"));
    return normal;
}

QByteArray Header(int status, qint64 length)
{
    return QByteArray("HTTP/1.1 ") + QByteArray::number(status) + " Test\r\nContent-Type: application/octet-stream\r\n"
        + "Content-Length: " + QByteArray::number(length) + "\r\nConnection: close\r\n\r\n";
}

const qint64 kPatternBytes = 1 << 16;
const qint64 kGeneratedBacklog = 1 << 20;

} // namespace

char GeneratedByte(qint64 index)
{
    const qint64 i = index % kPatternBytes;
    return static_cast<char>((i * 7 + i / 251) & 0xff);
}

LoopbackHttpServer::LoopbackHttpServer()
{
    m_worker = new HttpWorker;
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(m_worker, "Listen", Qt::BlockingQueuedConnection, Q_RETURN_ARG(quint16, m_port));
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    QMetaObject::invokeMethod(m_worker, "Shutdown", Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

QString LoopbackHttpServer::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

QString LoopbackHttpServer::BaseUrl() const
{
    return Url(QStringLiteral("/"));
}

void LoopbackHttpServer::SetRoute(const QString& path, const HttpRoute& route)
{
    m_worker->SetRoute(path, route);
}

QStringList LoopbackHttpServer::Requests() const
{
    return m_worker->Requests();
}

HttpWorker::HttpWorker()
    : m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpWorker::OnConnection);
}

void HttpWorker::SetRoute(const QString& path, const HttpRoute& route)
{
    QMutexLocker lock(&m_mutex);
    m_routes.insert(NormalPath(path), route);
}

QStringList HttpWorker::Requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

quint16 HttpWorker::Listen()
{
    m_server->listen(QHostAddress::LocalHost, 0);
    return m_server->serverPort();
}

void HttpWorker::Shutdown()
{
    m_server->close();
    for (QTcpSocket* socket : findChildren<QTcpSocket*>())
        socket->abort();
}

void HttpWorker::OnConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_pending.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_pending.remove(socket); });
    }
}

void HttpWorker::OnReadable(QTcpSocket* socket)
{
    if (!m_pending.contains(socket))
        return;
    QByteArray& buffer = m_pending[socket];
    buffer += socket->readAll();
    if (!buffer.contains("\r\n\r\n"))
        return;
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    m_pending.remove(socket);
    const QString path = QString::fromUtf8(requestLine.value(1));
    {
        QMutexLocker lock(&m_mutex);
        m_requests.append(path);
    }
    Answer(socket, path);
}

void HttpWorker::Answer(QTcpSocket* socket, const QString& path)
{
    HttpRoute route{404, QByteArray("not found")};
    {
        QMutexLocker lock(&m_mutex);
        route = m_routes.value(NormalPath(path), route);
    }
    const QByteArray body = route.body;
    const int half = body.size() / 2;
    switch (route.mode) {
    case HttpRoute::Mode::Complete:
        socket->write(Header(route.status, body.size()) + body);
        socket->disconnectFromHost();
        break;
    case HttpRoute::Mode::CloseMidway:
        socket->write(Header(route.status, body.size()) + body.left(half));
        socket->disconnectFromHost();
        break;
    case HttpRoute::Mode::StallMidway:
        socket->write(Header(route.status, body.size()) + body.left(half));
        socket->flush();
        break;
    case HttpRoute::Mode::Silent:
        break;
    case HttpRoute::Mode::Trickle:
        socket->write(Header(route.status, body.size()));
        Pace(socket, body, std::max(1, body.size() / 8), 150);
        break;
    case HttpRoute::Mode::Drip:
        socket->write(Header(route.status, body.size()));
        Pace(socket, body, 1, 100);
        break;
    case HttpRoute::Mode::Generated:
        socket->write(Header(route.status, route.size));
        Generate(socket, route.size);
        break;
    }
}

// Writes `body` a piece of `pieceBytes` every `intervalMs`, then closes.
void HttpWorker::Pace(QTcpSocket* socket, const QByteArray& body, int pieceBytes, int intervalMs)
{
    auto* timer = new QTimer(socket);
    auto sent = std::make_shared<int>(0);
    connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent, pieceBytes] {
        socket->write(body.mid(*sent, pieceBytes));
        *sent += pieceBytes;
        if (*sent >= body.size()) {
            timer->stop();
            socket->disconnectFromHost();
        }
    });
    timer->start(intervalMs);
}

// Keeps about a megabyte queued on the socket until `size` bytes are out, so the server's own
// memory stays small whatever the size.
void HttpWorker::Generate(QTcpSocket* socket, qint64 size)
{
    QByteArray pattern(kPatternBytes, 0);
    for (qint64 i = 0; i < kPatternBytes; ++i)
        pattern[static_cast<int>(i)] = GeneratedByte(i);
    auto sent = std::make_shared<qint64>(0);
    auto refill = [socket, size, sent, pattern] {
        while (*sent < size && socket->bytesToWrite() < kGeneratedBacklog) {
            const qint64 piece = std::min(kPatternBytes, size - *sent);
            socket->write(pattern.constData(), piece);   // each piece starts at a pattern boundary
            *sent += piece;
        }
        if (*sent >= size && socket->bytesToWrite() == 0)
            socket->disconnectFromHost();
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, refill);
    refill();
}
