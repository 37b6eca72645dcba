#include "logfacade.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include <QDebug>
#include <QString>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>

namespace Tolvane {

namespace {

std::atomic<Foundation::LogLevelTable*> g_logger{nullptr};

constexpr int kDefaultLevel = 3;

// Module names the services log under, in the order the set-up records them.
const char* const kModuleNames[] = {"Tolvane", "UI", "Plugin", "Stream", "Playback",
                                    "RealVideo", "Downlaod", "VideoAnlyse", "Watermark", "StreamLib"};

Foundation::LogLevelNode* FindNode(Foundation::LogLevelTable* list, const char* name)
{
    for (Foundation::LogLevelNode* node = list->head; node != nullptr; node = node->next) {
        if (node->name != nullptr && std::strcmp(node->name, name) == 0) {
            return node;
        }
    }
    return nullptr;
}

// With the list locked: sets the first node of that name, else adds one at the head. A
// node that cannot be allocated is not added.
void SetLevelLocked(Foundation::LogLevelTable* list, const char* name, int level)
{
    if (Foundation::LogLevelNode* node = FindNode(list, name)) {
        node->level = level;
        return;
    }
    char* copy = strdup(name);
    if (copy == nullptr) {
        return;
    }
    auto* node = new (std::nothrow) Foundation::LogLevelNode{copy, level, list->head};
    if (node == nullptr) {
        std::free(copy);
        return;
    }
    list->head = node;
}

void Write(const char* levelName, int level, const std::string& module, const std::string& message,
           const char* file, int line, const char* function)
{
    if (ModuleLogger() == nullptr) {
        qDebug().noquote() << QString::fromLatin1(levelName) + QStringLiteral(": ins is NULL");
        return;
    }
    if (!LogFacade::_checkLevel(module, level)) {
        return;
    }
    std::string text;
    text.reserve(module.size() + message.size() + 64);
    text += '[';
    text += module;
    text += "][";
    text += file ? file : "";
    text += ':';
    text += std::to_string(line);
    text += ' ';
    text += function ? function : "";
    text += "] ";
    text += message;
    if (text.size() >= 3) {
        qDebug().noquote() << QString::fromStdString(text);
    }
}

}  // namespace

void SetModuleLogLevel(Foundation::LogLevelTable* list, const char* name, int level)
{
    if (list == nullptr || name == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(list->lock);
    SetLevelLocked(list, name, level);
}

int GetModuleLogLevel(Foundation::LogLevelTable* list, const char* name)
{
    if (list == nullptr || name == nullptr) {
        return kDefaultLevel;
    }
    std::lock_guard<std::mutex> guard(list->lock);
    if (Foundation::LogLevelNode* node = FindNode(list, name)) {
        return node->level;
    }
    SetLevelLocked(list, name, kDefaultLevel);
    return kDefaultLevel;
}

std::string ModuleLogLevelsToJson(Foundation::LogLevelTable* list)
{
    Json::Value levels;  // null until its first element makes it an array
    if (list != nullptr) {
        std::lock_guard<std::mutex> guard(list->lock);
        for (Foundation::LogLevelNode* node = list->head; node != nullptr; node = node->next) {
            Json::Value item(Json::objectValue);
            item["name"] = Json::Value(node->name ? node->name : "");
            item["level"] = Json::Value(node->level);
            levels.append(item);
        }
    }
    return Foundation::JsonStyledText(levels);
}

Foundation::LogLevelTable* ModuleLogger()
{
    return g_logger.load(std::memory_order_acquire);
}

void SetModuleLogger(Foundation::LogLevelTable* list)
{
    g_logger.store(list, std::memory_order_release);
}

void SetUpModuleLogger(HostContext* context)
{
    Foundation::LogLevelTable* list = Foundation::HostLogLevelTable(context, "console");
    SetModuleLogger(list);
    if (list == nullptr) {
        return;
    }
    for (const char* name : kModuleNames) {
        SetModuleLogLevel(list, name, kDefaultLevel);
    }
}

void LogFacade::trace(const std::string& module, const std::string& message, const char* file, int line,
                      const char* function)
{
    Write("trace", 1, module, message, file, line, function);
}

void LogFacade::info(const std::string& module, const std::string& message, const char* file, int line,
                     const char* function)
{
    Write("info", 2, module, message, file, line, function);
}

void LogFacade::warn(const std::string& module, const std::string& message, const char* file, int line,
                     const char* function)
{
    Write("warn", 3, module, message, file, line, function);
}

bool LogFacade::_checkLevel(const std::string& module, int level)
{
    Foundation::LogLevelTable* list = ModuleLogger();
    if (list == nullptr) {
        qDebug().noquote() << QStringLiteral("_checkLevel: ins is NULL");
        return false;
    }
    return level >= GetModuleLogLevel(list, module.c_str());
}

}  // namespace Tolvane
