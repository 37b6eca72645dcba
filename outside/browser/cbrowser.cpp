#include "cbrowser.h"

#include <utility>

CBrowser::CBrowser(QWidget* parent, int /*flags*/)
    : QWebEngineView(parent)
{
}

CBrowser::~CBrowser() = default;

void CBrowser::setCertificateErrorHandler(CertificateErrorHandler handler)
{
    m_certificateErrorHandler = std::move(handler);
}

const CBrowser::CertificateErrorHandler& CBrowser::certificateErrorHandler() const
{
    return m_certificateErrorHandler;
}

void CBrowser::response(QString /*text*/)
{
    // The page side of the exchange is attached by the page API; without it
    // there is no page to hand the text to.
}
