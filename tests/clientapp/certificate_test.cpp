#include "recordingprompter.h"
#include "windowfixture.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTest>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

// An HTTPS server on 127.0.0.1 with a self-signed certificate made now.
class SelfSignedServer : public QTcpServer
{
public:
    bool Start(const QString& folder)
    {
        const QString key = folder + QStringLiteral("/key.pem");
        const QString cert = folder + QStringLiteral("/cert.pem");
        const int made = QProcess::execute(
            QStringLiteral("openssl"),
            {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "1", "-subj",
             "/CN=127.0.0.1"});
        QFile keyFile(key);
        QFile certFile(cert);
        if (made != 0 || !keyFile.open(QIODevice::ReadOnly) || !certFile.open(QIODevice::ReadOnly))
            return false;
        m_key = QSslKey(keyFile.readAll(), QSsl::Rsa);
        m_certificate = QSslCertificate(certFile.readAll());
        return !m_key.isNull() && !m_certificate.isNull() && listen(QHostAddress::LocalHost, 0);
    }

    QUrl Address() const { return QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(serverPort())); }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        connect(socket, &QSslSocket::readyRead, socket, [socket] {
            if (!socket->readAll().contains("\r\n\r\n"))
                return;
            const QByteArray body = "<html><head><title>secure page</title></head><body>ok</body></html>";
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, QOverload<const QList<QSslError>&>::of(&QSslSocket::sslErrors), socket,
                [socket](const QList<QSslError>&) { socket->ignoreSslErrors(); });
        socket->startServerEncryption();
    }

private:
    QSslKey m_key;
    QSslCertificate m_certificate;
};

TEST(CertificatePrompt, SelfSignedDeviceLoadsOnlyAfterProceedAnyway)
{
    QTranslator translator;
    ASSERT_TRUE(translator.load(QStringLiteral(BREVIX_APP_DIR "/language/en-us.qm")));
    QCoreApplication::installTranslator(&translator);
    WindowFixture fixture;
    SelfSignedServer server;
    ASSERT_TRUE(server.Start(fixture.Folder()));
    RecordingPrompter prompter(QMessageBox::No);
    CBrowser* view = fixture.Window().Browser();
    QSignalSpy finished(view, &CBrowser::loadFinished);

    fixture.Window().LoadURL(0, server.Address());
    ASSERT_TRUE(finished.wait(15000));
    EXPECT_FALSE(finished.takeFirst().at(0).toBool());
    ASSERT_EQ(prompter.Asked().size(), 1);
    EXPECT_EQ(prompter.Asked().first().icon, QMessageBox::Warning);
    EXPECT_TRUE(prompter.Asked().first().informativeText.contains(QStringLiteral("127.0.0.1")));

    prompter.SetAnswer(QMessageBox::Yes);
    fixture.Window().LoadURL(0, server.Address());
    ASSERT_TRUE(finished.wait(15000));
    EXPECT_TRUE(finished.takeFirst().at(0).toBool());
    EXPECT_EQ(prompter.Asked().size(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(view->title(), QStringLiteral("secure page"), 5000);
    QCoreApplication::removeTranslator(&translator);
}

}  // namespace
