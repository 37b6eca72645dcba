#pragma once

#include <foundation/HostContext.h>

#include <json/json.h>

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <string>
#include <vector>

class QTimer;

namespace Foundation {
class IComInterface;
}

// The methods a test page calls to look at the program; made when the module's
// objects are loaded, gone when the module is cleared.
class E2EProbe : public QObject
{
    Q_OBJECT

public:
    explicit E2EProbe(HostContext* context);
    ~E2EProbe() override;

    Json::Value probeWindow(int winID);
    bool probeScreenshot(std::string name);
    bool probeAnswerDialog(std::string path);
    Json::Value probeOpenedUrls();
    Json::Value probeListFiles(std::string folder);

public slots:
    void OpenUrl(const QUrl& url);

private:
    void AnswerDialogs();

    HostContext* m_context;
    std::vector<std::unique_ptr<Foundation::IComInterface>> m_methods;
    QTimer* m_dialogTimer = nullptr;
    QString m_answer;
    QStringList m_openedUrls;
};
