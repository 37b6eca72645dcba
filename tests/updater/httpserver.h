#pragma once

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

class QTcpServer;
class QTcpSocket;

// How the server answers one path.
struct HttpRoute {
    enum class Mode {
        Complete,       // the whole answer
        CloseMidway,    // full Content-Length, half the body, then the connection is closed
        StallMidway,    // full Content-Length, half the body, then nothing more
        Silent,         // the request is read and never answered
        Trickle,        // the body in small pieces, one every 150 ms
        Drip,           // the body one byte every 100 ms
        Generated,      // `size` bytes of a repeating pattern, written as the connection drains
    };
    int status = 200;
    QByteArray body;
    Mode mode = Mode::Complete;
    qint64 size = 0;
};

class HttpWorker;

char GeneratedByte(qint64 index);

// An HTTP server on 127.0.0.1 (port chosen by the system) running in its own thread, so the
// test thread may block on a child process while it serves. Paths are matched with runs of
// "/" collapsed; unknown paths get 404. Every request path is logged as received.
class LoopbackHttpServer
{
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();

    quint16 Port() const { return m_port; }
    QString Url(const QString& path) const;   // "http://127.0.0.1:<port>" + path
    QString BaseUrl() const;                   // "http://127.0.0.1:<port>/"

    void SetRoute(const QString& path, const HttpRoute& route);
    void SetFile(const QString& path, const QByteArray& body) { SetRoute(path, HttpRoute{200, body}); }
    QStringList Requests() const;

private:
    QThread m_thread;
    HttpWorker* m_worker = nullptr;
    quint16 m_port = 0;
};

class HttpWorker : public QObject
{
    Q_OBJECT

public:
    HttpWorker();

    void SetRoute(const QString& path, const HttpRoute& route);
    QStringList Requests() const;

public slots:
    quint16 Listen();
    void Shutdown();

private:
    void OnConnection();
    void OnReadable(QTcpSocket* socket);
    void Answer(QTcpSocket* socket, const QString& path);
    void Pace(QTcpSocket* socket, const QByteArray& body, int pieceBytes, int intervalMs);
    void Generate(QTcpSocket* socket, qint64 size);

    QTcpServer* m_server;
    mutable QMutex m_mutex;
    QMap<QString, HttpRoute> m_routes;
    QStringList m_requests;
    QMap<QTcpSocket*, QByteArray> m_pending;
};
