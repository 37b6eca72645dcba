#pragma once

#include <QString>
#include <QWebEngineView>

#include <functional>

class QWebEngineCertificateError;

// The embedded web view. A page call arrives as `request`; `response` hands
// one text (a reply or an event) back to the page.
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
    // Hands one text to the page, in call order.
    virtual void response(QString text);

private:
    CertificateErrorHandler m_certificateErrorHandler;
};
