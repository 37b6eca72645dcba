#include "cbrowser.h"

#include "browserpage.h"
#include "pagechannel.h"
#include "pagescript.h"

#include <QWebChannel>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <utility>

CBrowser::CBrowser(QWidget* parent, int /*flags*/)
    : QWebEngineView(parent)
{
    auto* page = new BrowserPage(QWebEngineProfile::defaultProfile(), this);

    auto* channel = new QWebChannel(page);
    m_channelObject = new PageChannel(channel);
    channel->registerObject(QStringLiteral("nativeBridgeChannel"), m_channelObject);
    page->setWebChannel(channel, QWebEngineScript::MainWorld);
    connect(m_channelObject.data(), &PageChannel::requested, this,
            [this](const QString& text) { emit request(this, text); });

    QWebEngineScript script;
    script.setName(QStringLiteral("nativeBridge"));
    script.setSourceCode(PageApiScript());
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    page->scripts().insert(script);

    setPage(page);
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

void CBrowser::response(QString text)
{
    if (m_channelObject != nullptr)
        m_channelObject->Deliver(text);
}
