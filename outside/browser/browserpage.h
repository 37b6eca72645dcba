#pragma once

#include <QPointer>
#include <QWebEnginePage>

class CBrowser;

// The page of a CBrowser: certificate errors go to the view's handler.
class BrowserPage : public QWebEnginePage
{
    Q_OBJECT

public:
    BrowserPage(QWebEngineProfile* profile, CBrowser* view);

protected:
    bool certificateError(const QWebEngineCertificateError& error) override;

private:
    // The view's answer; false when it has none.
    bool AskHandler(const QWebEngineCertificateError& error);

    QPointer<CBrowser> m_view;
};
