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
    void AddFile(const QByteArray& path, const QByteArray& bytes, const QByteArray& type);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void Serve(QTcpSocket* socket);

    QByteArray m_page;
    QList<QByteArray> m_results;
    QMap<QByteArray, QPair<QByteArray, QByteArray>> m_files;  // path -> (type, bytes)
};
