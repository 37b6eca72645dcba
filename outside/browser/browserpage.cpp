#include "browserpage.h"

#include "cbrowser.h"

#include <QTimer>
#include <QWebEngineCertificateError>

BrowserPage::BrowserPage(QWebEngineProfile* profile, CBrowser* view)
    : QWebEnginePage(profile, view)
    , m_view(view)
{
}

bool BrowserPage::certificateError(const QWebEngineCertificateError& error)
{
    if (m_view == nullptr || !m_view->certificateErrorHandler())
        return false;

    // The handler may ask the user; it runs after the engine's callback has
    // returned, never inside it.
    QWebEngineCertificateError pending(error);
    if (!pending.isOverridable()) {
        // Never goes on; the handler is only told.
        QTimer::singleShot(0, this, [this, pending] { AskHandler(pending); });
        return false;
    }
    pending.defer();
    QTimer::singleShot(0, this, [this, pending]() mutable {
        if (AskHandler(pending))
            pending.ignoreCertificateError();
        else
            pending.rejectCertificate();
    });
    return false;
}

bool BrowserPage::AskHandler(const QWebEngineCertificateError& error)
{
    if (m_view == nullptr || !m_view->certificateErrorHandler())
        return false;
    try {
        return m_view->certificateErrorHandler()(error);
    } catch (...) {
        return false;
    }
}
