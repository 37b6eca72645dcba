#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A small HTTP server on 127.0.0.1: GET / answers the page, POST /results
// keeps the body.
class PageServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit PageServer(QByteArray page);

    bool Start();
    QUrl Address() const;
    const QList<QByteArray>& Results() const { return m_results; }
    // Further files answered to GET; runs of "/" in request paths count as one.
    void SetFile(const QByteArray& path, const QByteArray& body) { m_files.insert(path, body); }
    const QList<QByteArray>& Requests() const { return m_requests; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void Serve(QTcpSocket* socket);

    QByteArray m_page;
    QList<QByteArray> m_results;
    QMap<QByteArray, QByteArray> m_files;
    QList<QByteArray> m_requests;
};
