#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A small HTTP server on 127.0.0.1: GET / answers the page, GET of an added
// path answers its bytes, POST /results keeps the body.
class PageServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit PageServer(QByteArray page);

    bool Start();
    QUrl Address() const;
    const QList<QByteArray>& Results() const { return m_results; }
    // Further files answered to GET; runs of "/" in request paths count as one.
    void SetFile(const QByteArray& path, const QByteArray& body) { AddFile(path, body, "application/octet-stream"); }
    const QList<QByteArray>& Requests() const { return m_requests; }
    void AddFile(const QByteArray& path, const QByteArray& bytes, const QByteArray& type);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void Serve(QTcpSocket* socket);

    QByteArray m_page;
    QList<QByteArray> m_results;
    QMap<QByteArray, QPair<QByteArray, QByteArray>> m_files;  // path -> (type, bytes)
    QList<QByteArray> m_requests;
};
