#pragma once

#include <QPointer>
#include <QString>
#include <QWebEngineView>

#include <functional>

class QWebEngineCertificateError;
class PageChannel;

// The embedded web view. A page call arrives as `request`; `response` hands
// one text (a reply or an event) back to the page. Every page loaded here has
// window.nativeBridge: request(text) sends, onmessage receives.
class CBrowser : public QWebEngineView
{
    Q_OBJECT

public:
    // Answers true to go on with a page whose certificate failed, false to stop.
    using CertificateErrorHandler = std::function<bool(const QWebEngineCertificateError&)>;

    explicit CBrowser(QWidget* parent = nullptr, int flags = 0);
    ~CBrowser() override;

    void setCertificateErrorHandler(CertificateErrorHandler handler);
    const CertificateErrorHandler& certificateErrorHandler() const;

signals:
    // One JSON request text of the page, emitted on the GUI thread.
    void request(CBrowser* view, QString text);

public slots:
    // Hands one text to the page, in call order. Texts sent while no page is
    // connected are lost.
    virtual void response(QString text);

private:
    CertificateErrorHandler m_certificateErrorHandler;
    QPointer<PageChannel> m_channelObject;
};
