#pragma once

#include "appfolder.h"
#include "mainwindow.h"

#include <cbrowser.h>
#include <registmodule.h>

#include <QDir>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <json/json.h>

#include <functional>
#include <memory>
#include <ostream>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// A main window over a fresh application folder (no modules, no updater),
// with the bridge made by loading a blank page; page requests go straight to
// the bridge and its replies are kept.
class WindowFixture
{
public:
    // prepare runs on the fresh application folder before the window is made.
    explicit WindowFixture(const std::vector<std::string>& argv = {"Brevix", "", "-Hf"},
                           bool compatibilityMode = true,
                           const std::function<void(const QString& folder)>& prepare = {})
    {
        QDir(m_folder.path()).mkpath(QStringLiteral("config"));
        AppFolder::Set(m_folder.path());
        if (prepare)
            prepare(m_folder.path());
        Json::Value args(Json::objectValue);
        args["ip"] = "";
        for (std::size_t i = 2; i < argv.size(); ++i)
            args[argv[i].substr(1)] = true;
        m_window = std::make_unique<MainWindow>(QString(), compatibilityMode, static_cast<int>(argv.size()), args);
    }
    ~WindowFixture()
    {
        m_window.reset();
        AppFolder::Set(QString());
    }

    MainWindow& Window() { return *m_window; }
    QString Folder() const { return m_folder.path(); }

    // Makes the bridge and publishes the client's methods.
    void LoadBlank()
    {
        m_window->LoadURL(0, QUrl(QStringLiteral("about:blank")));
        QObject::connect(m_window->Bridge(), &RegistModule::RPCResponseEvent, m_window->Bridge(),
                         [this](const QString& text) { m_replies << text; });
    }

    // The reply to one request, as JSON; waits for asynchronous ones.
    Json::Value Call(const QString& request)
    {
        const int before = m_replies.size();
        m_window->Bridge()->RPCcall(m_window->Browser(), request);
        for (int i = 0; i < 500 && m_replies.size() == before; ++i)
            QTest::qWait(10);
        Json::Value reply;
        if (m_replies.size() > before)
            Json::Reader().parse(m_replies.last().toStdString(), reply);
        return reply;
    }

    Json::Value Result(const char* method, const Json::Value& params, bool async = false)
    {
        Json::Value request(Json::objectValue);
        request["method"] = method;
        request["params"] = params;
        request["id"] = 7;
        if (async)
            request["async"] = true;
        const Json::Value reply = Call(QString::fromStdString(Json::FastWriter().write(request)));
        return reply.isObject() ? reply["result"] : Json::Value("no reply");
    }

    const QStringList& Replies() const { return m_replies; }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_replies;
};
