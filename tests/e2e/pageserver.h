#pragma once

#include <QByteArray>
#include <QList>
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

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void Serve(QTcpSocket* socket);

    QByteArray m_page;
    QList<QByteArray> m_results;
};
