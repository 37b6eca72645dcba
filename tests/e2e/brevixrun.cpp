#include "brevixrun.h"

#include <QDir>
#include <QFile>
#include <QTest>

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string Styled(const Json::Value& value)
{
    return Json::StyledWriter().write(value);
}

BrevixRun::BrevixRun(const QByteArray& page)
    : m_server(page), m_env(QProcessEnvironment::systemEnvironment())
{
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    m_env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    m_env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=false"));
}

BrevixRun::~BrevixRun()
{
    if (m_brevix.state() != QProcess::NotRunning) {
        m_brevix.kill();
        m_brevix.waitForFinished(5000);
    }
}

bool BrevixRun::Prepare(const QString& sorquin, const QStringList& modules)
{
    if (!m_temp.isValid())
        return false;
    const QString bin = QStringLiteral(BREVIX_APP_DIR);
    const QString folder = AppFolder();
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("config")) || !dir.mkpath(QStringLiteral("language")))
        return false;
    // Copied, so that the program's own folder is this one.
    if (!QFile::copy(bin + QStringLiteral("/Brevix"), folder + QStringLiteral("/Brevix")))
        return false;
    QFile::setPermissions(folder + QStringLiteral("/Brevix"), QFileDevice::ExeOwner | QFileDevice::ReadOwner);
    bool ok = QFile::link(sorquin, folder + QStringLiteral("/libSorquin.so"));
    for (const QString& module : QStringList{QStringLiteral("Tolvane")} + modules) {
        const QString name = QStringLiteral("/lib") + module + QStringLiteral(".so");
        ok = QFile::link(bin + name, folder + name) && ok;
    }
    ok = QFile::copy(bin + QStringLiteral("/config/version.ini"), folder + QStringLiteral("/config/version.ini")) && ok;
    for (const char* language : {"zh-cn.qm", "en-us.qm"})
        ok = QFile::copy(bin + QStringLiteral("/language/") + language, folder + QStringLiteral("/language/") + language)
            && ok;

    for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = m_temp.filePath(QStringLiteral("home/") + variable);
        ok = QDir().mkpath(path) && ok;
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_env.insert(QString::fromLatin1(variable), path);
    }
    return ok && m_server.Start();
}

bool BrevixRun::PrepareDemoPlay(const QString& sorquin, const QString& devices)
{
    const bool ok = Prepare(sorquin, {QStringLiteral("Quillnet"), QStringLiteral("play"), QStringLiteral("swscale"),
                                      QStringLiteral("Pravenna")});
    SetEnv(QStringLiteral("QUILLNET_DEVICES"), devices);
    SetEnv(QStringLiteral("BREVIX_E2E_FRAMES"), Journal());
    return ok;
}

bool BrevixRun::Start(const QStringList& arguments)
{
    m_brevix.setProcessEnvironment(m_env);
    // The media module keeps its settings under the working folder.
    m_brevix.setWorkingDirectory(AppFolder());
    m_brevix.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_brevix.setStandardOutputFile(QProcess::nullDevice());
    m_brevix.start(AppFolder() + QStringLiteral("/Brevix"), QStringList{Address()} + arguments);
    return m_brevix.waitForStarted(5000);
}

const QList<QByteArray>& BrevixRun::WaitForResults(int timeoutMs)
{
    QTest::qWaitFor([this] { return !m_server.Results().isEmpty() || m_brevix.state() == QProcess::NotRunning; },
                    timeoutMs);
    return m_server.Results();
}

bool BrevixRun::Stop()
{
    m_brevix.terminate();
    if (!m_brevix.waitForFinished(15000))
        return false;
    return m_brevix.exitStatus() == QProcess::NormalExit && m_brevix.exitCode() == 0;
}

bool SplitAnswers(const QByteArray& posted, PageAnswers& answers)
{
    Json::Value list;
    if (!Json::Reader().parse(posted.toStdString(), list) || !list.isArray())
        return false;
    answers.count = list.size();
    for (const Json::Value& answer : list) {
        if (!answer.isString())
            return false;
        Json::Value reply;
        if (Json::Reader().parse(answer.asString(), reply) && reply.isObject() && reply["id"].isInt())
            answers.replies[reply["id"].asInt()] = answer.asString();
        else
            answers.others.push_back(answer.asString());
    }
    return true;
}
