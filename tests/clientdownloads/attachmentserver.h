#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// Answers every request on 127.0.0.1 with one attachment, "report.txt".
class AttachmentServer : public QTcpServer
{
public:
    explicit AttachmentServer(const QByteArray& body)
    {
        connect(this, &QTcpServer::newConnection, this, [this, body] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [socket, body] {
                    const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
                    socket->setProperty("request", request);
                    if (!request.contains("\r\n\r\n"))
                        return;
                    socket->setProperty("request", QByteArray());
                    socket->write("HTTP/1.1 200 OK\r\n"
                                  "Content-Type: application/octet-stream\r\n"
                                  "Content-Disposition: attachment; filename=\"report.txt\"\r\n"
                                  "Connection: close\r\n"
                                  "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
    }

    QUrl Address() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/report.txt").arg(serverPort())); }
};
