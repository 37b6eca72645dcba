#include "appfolder.h"
#include "mainwindow.h"
#include "scriptedprompter.h"
#include "startupargs.h"
#include "startupsettings.h"
#include "terminationwatcher.h"

#include <crashdumpfilter.h>

#include <QApplication>
#include <QIcon>
#include <QTextCodec>
#include <QThreadPool>
#include <QTranslator>

#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    CrashDumpFilter::Install("RIZIVException");
    QThreadPool::globalInstance()->setMaxThreadCount(15);

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    auto app = std::make_unique<QApplication>(argc, argv);
    Q_INIT_RESOURCE(toolbaricon);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/toolbaricon/applogo.png")));

    AppFolder::Set(QCoreApplication::applicationDirPath());
    StartupSettings::ReadSetupVersion();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    auto args = std::make_unique<Json::Value>(ParseCommandLine(std::vector<std::string>(argv, argv + argc), [] {
        return GetDefaultAddress(AppFolder::SettingsFile(QStringLiteral("history")), AppFolder::ApplicationName());
    }));
    const Json::Value& ip = (*args)["ip"];
    const QString address = ip.isString() ? QString::fromUtf8(ip.asCString()) : QString();

    const QString language = StartupSettings::ReadLanguage();
    auto translator = std::make_unique<QTranslator>();
    translator->load(StartupSettings::GetLanguageFilePath(language));
    QCoreApplication::installTranslator(translator.get());
    StartupSettings::SetApplicationFont(language);

    const bool compatibilityMode =
        StartupSettings::ReadCompatibilityMode(StartupSettings::CompositingManagerRunning());

    const std::unique_ptr<ScriptedPrompter> scripted = ScriptedPrompter::FromEnvironment();
    if (scripted)
        Prompts::SetCurrent(scripted.get());

    auto termination = std::make_unique<TerminationWatcher>();
    auto* window = new MainWindow(address, compatibilityMode, argc, *args, nullptr);
    window->show();

    const int code = QApplication::exec();
    delete window;
    Prompts::SetCurrent(nullptr);
    termination.reset();
    translator.reset();
    args.reset();
    app.reset();
    return code;
}
