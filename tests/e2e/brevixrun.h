#pragma once

#include "pageserver.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <json/json.h>

#include <map>
#include <string>
#include <vector>

QByteArray ReadFile(const QString& path);

std::string Styled(const Json::Value& value);

// One run of the real Brevix, headless, from a fresh application folder in a
// temporary folder with its own home, on a page served by the run's server.
class BrevixRun
{
public:
    explicit BrevixRun(const QByteArray& page);
    ~BrevixRun();

    // The application folder with the program, Tolvane, the window module
    // given, settings and translations, plus the named modules of the build
    // (e.g. "Quillnet"); then the page server.
    bool Prepare(const QString& sorquin, const QStringList& modules = {});
    // Prepare() for the demo devices in the folder given, with the modules that play their
    // streams; the window module given journals its pictures to Journal().
    bool PrepareDemoPlay(const QString& sorquin, const QString& devices);

    QString AppFolder() const { return m_temp.filePath(QStringLiteral("app")); }
    QString TempPath(const QString& name) const { return m_temp.filePath(name); }
    QString Journal() const { return TempPath(QStringLiteral("frames.txt")); }
    QString Address() const { return m_server.Address().toString(); }
    void SetEnv(const QString& name, const QString& value) { m_env.insert(name, value); }
    PageServer& Server() { return m_server; }

    // Starts Brevix on the page's address followed by the arguments.
    bool Start(const QStringList& arguments = {});
    // Waits until the page posted its answers or Brevix ended.
    const QList<QByteArray>& WaitForResults(int timeoutMs);
    // Asks Brevix to end; true when it ended normally with code 0.
    bool Stop();

private:
    QTemporaryDir m_temp;
    PageServer m_server;
    QProcessEnvironment m_env;
    QProcess m_brevix;
};

// The page's answers (a JSON array of reply texts) split into the replies by
// their "id" and the other texts in order; false when not such an array.
struct PageAnswers
{
    std::map<int, std::string> replies;
    std::vector<std::string> others;
    size_t count = 0;
};
bool SplitAnswers(const QByteArray& posted, PageAnswers& answers);
