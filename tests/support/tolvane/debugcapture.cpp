#include "debugcapture.h"

#include <mutex>

#include <QString>
#include <QtGlobal>

namespace testsupport {

namespace {

std::mutex g_linesMutex;
std::vector<std::string> g_lines;
QtMessageHandler g_previous = nullptr;
int g_captures = 0;  // live captures; the first installs the handler, the last removes it

void Collect(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    {
        std::lock_guard<std::mutex> lock(g_linesMutex);
        g_lines.push_back(text.toStdString());
    }
    if (g_previous != nullptr) {
        g_previous(type, context, text);
    }
}

}  // namespace

DebugCapture::DebugCapture()
{
    std::lock_guard<std::mutex> lock(g_linesMutex);
    g_lines.clear();
    if (g_captures++ == 0) {
        g_previous = qInstallMessageHandler(&Collect);
    }
}

DebugCapture::~DebugCapture()
{
    std::lock_guard<std::mutex> lock(g_linesMutex);
    if (--g_captures == 0) {
        qInstallMessageHandler(g_previous);
    }
}

std::vector<std::string> DebugCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(g_linesMutex);
    return g_lines;
}

bool DebugCapture::Contains(const std::string& text) const
{
    for (const std::string& line : Lines()) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace testsupport
