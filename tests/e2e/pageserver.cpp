#include "pageserver.h"

#include <QTcpSocket>

#include <utility>

PageServer::PageServer(QByteArray page)
    : m_page(std::move(page))
{
}

bool PageServer::Start()
{
    return listen(QHostAddress::LocalHost, 0);
}

QUrl PageServer::Address() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(serverPort()));
}

void PageServer::AddFile(const QByteArray& path, const QByteArray& bytes, const QByteArray& type)
{
    m_files[path] = qMakePair(type, bytes);
}

void PageServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Serve(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void PageServer::Serve(QTcpSocket* socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const int headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        socket->setProperty("buffer", buffer);
        return;
    }
    const QByteArray header = buffer.left(headerEnd);
    int length = 0;
    for (const QByteArray& line : header.split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toInt();
    }
    if (buffer.size() < headerEnd + 4 + length) {
        socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("buffer", QByteArray());
    const QList<QByteArray> requestLine = header.left(header.indexOf('\r')).split(' ');
    const QByteArray method = requestLine.value(0);
    const QByteArray path = requestLine.value(1);

    QByteArray status = "404 Not Found";
    QByteArray body;
    QByteArray type = "text/plain";
    QByteArray file = path.split('?').first();
    file.replace("//", "/");
    if (method == "GET" && m_files.contains(file)) {
        m_requests << path;
        status = "200 OK";
        type = m_files[file].first;
        body = m_files[file].second;
    } else if (method == "GET" && (path == "/" || path == "/index.html")) {
        status = "200 OK";
        body = m_page;
        type = "text/html; charset=utf-8";
    } else if (method == "POST" && path == "/results") {
        m_results << buffer.mid(headerEnd + 4, length);
        status = "204 No Content";
    }
    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: "
                  + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}
