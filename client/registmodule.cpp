#include "registmodule.h"

#include "modulemanager.h"
#include "requestlog.h"
#include "taskworker.h"

#include <cbrowser.h>

#include <foundation/ComMethod.h>
#include <foundation/JsonRead.h>

#include <QCoreApplication>
#include <QDebug>
#include <QThread>
#include <QtConcurrent>

#include <chrono>
#include <cmath>
#include <limits>

namespace {

// Limits of a published method as the bridge asks for its parameter names.
constexpr int kMaxParams = 10;
constexpr int kMaxParamName = 100;

QString ErrorText(const char* format, const std::string& request)
{
    return QString::fromLatin1(format).arg(QString::fromStdString(request));
}

// The request's "id" as a 32-bit int: integers in range as they are, reals
// truncated toward zero when the result is in range, true 1, false 0;
// anything else, and anything out of range, 0.
int ReadRequestId(const Json::Value& root)
{
    const Json::Value* id = Foundation::JsonFind(root, "id");
    if (id == nullptr)
        return 0;
    switch (id->type()) {
    case Json::intValue:
    case Json::uintValue:
        return id->isInt() ? id->asInt() : 0;
    case Json::realValue: {
        const double truncated = std::trunc(id->asDouble());
        if (!std::isfinite(truncated)
            || truncated < static_cast<double>(std::numeric_limits<int>::min())
            || truncated > static_cast<double>(std::numeric_limits<int>::max()))
            return 0;
        return static_cast<int>(truncated);
    }
    case Json::booleanValue:
        return id->asBool() ? 1 : 0;
    default:
        return 0;
    }
}

// The reply of the overload that fits. A published method answers nothing only
// when its call failed (it threw): the page gets the failed call, and no
// same-named method of another table runs in its place.
std::string InvokeChosen(const Foundation::IComInterface& method, const std::string& request,
                         const Json::Value& root)
{
    std::string reply;
    try {
        reply = method.Invoke(ReadRequestId(root), request.c_str());
    } catch (...) {
        reply.clear();
    }
    if (reply.empty())
        reply = ErrorText("Json context error:%1", request).toUtf8().toStdString();
    return reply;
}

bool IsRequestObject(const Json::Value& root)
{
    return root.isObject() && root.isMember("method") && root.isMember("params")
        && root.isMember("id");
}

}  // namespace

RegistModule::RegistModule(HostContext* context, CTaskWorker* worker, ModuleManager* manager,
                           QObject* parent)
    : QObject(parent)
    , m_worker(worker)
    , m_manager(manager != nullptr ? manager : ModuleManager::Instance())
{
    m_signals.AddSignal("ImplComLoaded", &m_implComLoaded);
    m_signals.AddSignal("ImplComPreRelease", &m_implComPreRelease);
    m_signals.AddSignal("funcsExitSignal", &m_funcsExit);
    m_signals.AddSignal("GPU_Change", &m_gpuChange);

    AssembleContext(context);
    LoadComponents();
}

RegistModule::~RegistModule()
{
    ReleaseComponents();
}

void RegistModule::AssembleContext(HostContext* context)
{
    HostContext local;
    HostContext& record = context != nullptr ? *context : local;
    using fastdelegate::MakeDelegate;

    record.AddSignal = MakeDelegate(&m_signals, &SignalRegistry::AddSignal);
    record.RemoveSignal = MakeDelegate(&m_signals, &SignalRegistry::RemoveSignal);
    record.ConnectSignal = MakeDelegate(&m_signals, &SignalRegistry::Connect);
    record.DisconnectSignal = MakeDelegate(&m_signals, &SignalRegistry::Disconnect);
    record.RegisterObject = MakeDelegate(&m_objects, &ObjectRegistry::RegisterObject);
    record.QueryObject = MakeDelegate(&m_objects, &ObjectRegistry::QueryObject);
    record.RegisterMethod = MakeDelegate(this, &RegistModule::RegisterMethod);
    record.ResolveFunction = MakeDelegate(m_manager, &ModuleManager::LoadModule);
    record.GetLogLevelTable = MakeDelegate(m_manager, &ModuleManager::GetLogLevelTable);
    record.RegisterMethod2 = MakeDelegate(this, &RegistModule::RegisterMethod2);
    record.RegisterMethod3 = MakeDelegate(this, &RegistModule::RegisterMethod3);
    record.SendToWeb = MakeDelegate(this, &RegistModule::SendToWeb);

    // The modules get a copy: the sixteen slots and the compatibility byte.
    m_context = record;
    m_context.flags = record.CompatibilityFlag();
}

bool RegistModule::RegisterMethod(const char* name, Foundation::IComInterface* method)
{
    if (name == nullptr || method == nullptr)
        return false;
    m_tables[0].AddMethodEntry(name, method);
    return true;
}

bool RegistModule::RegisterMethod2(const char* name, Foundation::IComInterface* method)
{
    if (name == nullptr || method == nullptr)
        return false;
    m_tables[1].AddMethodEntry(name, method);
    return true;
}

bool RegistModule::RegisterMethod3(const char* name, Foundation::IComInterface* method)
{
    if (name == nullptr || method == nullptr)
        return false;
    m_tables[2].AddMethodEntry(name, method);
    return true;
}

void RegistModule::SendToWeb(const char* text)
{
    if (text == nullptr)
        return;
    // From another thread the view receives it queued, on its own thread.
    emit RPCResponseEvent(QString::fromUtf8(text));
}

void RegistModule::GPUEnableChange(bool enable)
{
    try {
        m_gpuChange.Emit(enable);
    } catch (...) {
    }
}

void RegistModule::LoadComponents()
{
    m_manager->LoadAll();
    m_manager->InitAll(&m_context);
    m_manager->LoadImplObjectsAll(&m_context, "");
    try {
        m_implComLoaded.Emit();
    } catch (...) {
    }
}

void RegistModule::ReleaseComponents()
{
    if (m_released)
        return;
    m_released = true;

    StopRequests();
    try {
        m_implComPreRelease.Emit();
    } catch (...) {
    }
    for (MethodTable& table : m_tables)
        table.Clear();
    // The modules' tasks end before the services they call are destroyed: the running
    // one finishes, queued ones are dropped and later posts refused.
    if (m_worker != nullptr)
        m_worker->Stop();
    m_objects.Clear();
    m_manager->ClearAll([this] {
        if (m_worker != nullptr)
            m_worker->Stop();
    });
}

void RegistModule::RPCcall(CBrowser* view, QString text)
{
    const std::string request = text.toUtf8().toStdString();

    Json::Value root;
    if (!Foundation::JsonParse(request, root)) {
        if (view != nullptr)
            view->response(ErrorText("Json format error:%1", request));
        return;
    }
    if (!IsRequestObject(root)) {
        if (view != nullptr)
            view->response(ErrorText("Json context error:%1", request));
        return;
    }

    const Json::Value* async = Foundation::JsonFind(root, "async");
    if (async != nullptr && async->isBool() && async->asBool())
        StartAsync(request, root);
    else
        ExecuteRequest(request, root);
}

void RegistModule::StartAsync(const std::string& request, const Json::Value& root)
{
    bool accepted = false;
    {
        std::lock_guard<std::mutex> lock(m_requestMutex);
        if (!m_closing) {
            ++m_runningRequests;
            accepted = true;
        }
    }
    if (!accepted) {
        // Closing: nothing new may be left running on the pool.
        ExecuteRequest(request, root);
        return;
    }
    QtConcurrent::run([this, request, root] {
        ExecuteRequest(request, root);
        FinishAsync();
    });
}

void RegistModule::FinishAsync()
{
    std::lock_guard<std::mutex> lock(m_requestMutex);
    --m_runningRequests;
    m_requestDone.notify_all();
}

void RegistModule::StopRequests()
{
    std::unique_lock<std::mutex> lock(m_requestMutex);
    m_closing = true;
    const bool ownThread = QThread::currentThread() == thread();
    while (m_runningRequests > 0) {
        if (ownThread && QCoreApplication::instance() != nullptr) {
            // A running request may wait for this thread (a queued call made
            // blocking): serve queued calls while waiting.
            lock.unlock();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
            lock.lock();
            m_requestDone.wait_for(lock, std::chrono::milliseconds(10));
        } else {
            m_requestDone.wait(lock);
        }
    }
}

bool RegistModule::ExecuteRequest(std::string request, Json::Value root)
{
    try {
        qDebug().noquote() << "strReq" << QString::fromStdString(MaskedRequestText(request));
        qDebug().noquote() << "request"
                           << QString::fromStdString(Foundation::JsonStyledText(MaskedRequest(root)));

        std::string reply = InvokeMethod(m_tables[2], request, root);
        if (reply.empty())
            reply = InvokeMethod(m_tables[1], request, root);
        if (reply.empty())
            reply = InvokeMethod(m_tables[0], request, root);
        if (reply.empty())
            reply = ErrorText("Method not exist:%1", request).toUtf8().toStdString();
        SendToWeb(reply.c_str());
    } catch (...) {
        // Nothing leaves the bridge.
    }
    return true;
}

std::string RegistModule::InvokeMethod(const MethodTable& table, const std::string& request,
                                       const Json::Value& root) const
{
    try {
        const Json::Value* method = Foundation::JsonFind(root, "method");
        const std::string name =
            (method != nullptr && method->isString()) ? std::string(method->asCString()) : std::string();
        const MethodTable::Overloads overloads = table.Find(name);
        if (overloads.empty())
            return std::string();

        const Json::Value* params = Foundation::JsonFind(root, "params");
        const int count = params != nullptr ? Foundation::JsonMemberCount(*params) : 0;
        if (count > kMaxParams)
            return std::string();

        char names[kMaxParams][kMaxParamName] = {};
        std::string styled;
        for (Foundation::IComInterface* overload : overloads) {
            if (!overload->GetParamNames(names, count))
                continue;
            if (styled.empty())
                styled = Foundation::JsonStyledText(root);
            if (overload->CheckParamsText(count, styled.c_str()))
                return InvokeChosen(*overload, request, root);
        }
    } catch (...) {
        // A check that throws counts as no fitting overload.
    }
    return std::string();
}
