#include "TestHost.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <foundation/JsonRead.h>

namespace testsupport {

namespace {

std::string Fill(const char* pattern, const std::string& text)
{
    std::string result(pattern);
    const std::size_t at = result.find("%1");
    if (at != std::string::npos) {
        result.replace(at, 2, text);
    }
    return result;
}

// The request id as the bridge reads it: numbers as 32-bit ints, true 1, anything else 0.
int RequestId(const Json::Value& id)
{
    if (id.isBool()) {
        return id.asBool() ? 1 : 0;
    }
    return Foundation::JsonToInt(id, 0);
}

}  // namespace

bool TestHost::TaskOrder::operator()(const TaskEntry& a, const TaskEntry& b) const
{
    if (a.priority != b.priority) {
        return a.priority < b.priority;
    }
    return a.stamp > b.stamp;
}

TestHost::TestHost()
{
    using fastdelegate::MakeDelegate;
    AddSignal("ImplComLoaded", &m_implComLoaded);
    AddSignal("ImplComPreRelease", &m_implComPreRelease);
    AddSignal("funcsExitSignal", &m_funcsExit);
    AddSignal("GPU_Change", &m_gpuChange);

    m_context.AddSignal = MakeDelegate(this, &TestHost::AddSignal);
    m_context.RemoveSignal = MakeDelegate(this, &TestHost::RemoveSignal);
    m_context.ConnectSignal = MakeDelegate(this, &TestHost::ConnectSignal);
    m_context.DisconnectSignal = MakeDelegate(this, &TestHost::DisconnectSignal);
    m_context.RegisterObject = MakeDelegate(this, &TestHost::RegisterObject);
    m_context.QueryObject = MakeDelegate(this, &TestHost::QueryObject);
    m_context.RegisterMethod = MakeDelegate(this, &TestHost::RegisterMethod);
    m_context.ResolveFunction = MakeDelegate(this, &TestHost::ResolveFunction);
    m_context.PostTask = MakeDelegate(this, &TestHost::PostTask);
    m_context.GetLogLevelTable = MakeDelegate(this, &TestHost::GetLogLevelTable);
    m_context.RegisterMethod2 = MakeDelegate(this, &TestHost::RegisterMethod2);
    m_context.RegisterMethod3 = MakeDelegate(this, &TestHost::RegisterMethod3);
    m_context.SendToWeb = MakeDelegate(this, &TestHost::SendToWeb);

    m_worker.Start(fastdelegate::FastDelegate0<>(this, &TestHost::WorkerLoop));
}

TestHost::~TestHost()
{
    StopWorker();
    ClearObjects();
    std::lock_guard<std::mutex> guard(m_logLevels.lock);
    for (Foundation::LogLevelNode* node = m_logLevels.head; node != nullptr;) {
        Foundation::LogLevelNode* next = node->next;
        std::free(node->name);
        delete node;
        node = next;
    }
    m_logLevels.head = nullptr;
}

// --- signals ---

bool TestHost::AddSignal(const char* name, Foundation::ISignal* signal)
{
    if (name == nullptr || *name == '\0' || signal == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_registryMutex);
    m_signals[name].push_back(signal);
    return true;
}

bool TestHost::RemoveSignal(const char* name, Foundation::ISignal* signal)
{
    if (name == nullptr || *name == '\0' || signal == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_registryMutex);
    auto found = m_signals.find(name);
    if (found == m_signals.end()) {
        return false;
    }
    auto& list = found->second;
    auto it = std::find(list.begin(), list.end(), signal);
    if (it != list.end()) {
        list.erase(it);
    }
    return true;
}

std::vector<Foundation::ISignal*> TestHost::SignalsOf(const char* name, bool* known) const
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    auto found = name ? m_signals.find(name) : m_signals.end();
    *known = found != m_signals.end();
    return *known ? found->second : std::vector<Foundation::ISignal*>();
}

bool TestHost::ConnectSignal(const char* name, Foundation::Any* handler)
{
    bool known = false;
    const std::vector<Foundation::ISignal*> listed = SignalsOf(name, &known);
    if (!known || handler == nullptr) {
        return false;
    }
    for (Foundation::ISignal* signal : listed) {
        signal->Connect(*handler);
    }
    return true;
}

bool TestHost::DisconnectSignal(const char* name, Foundation::Any* handler)
{
    bool known = false;
    const std::vector<Foundation::ISignal*> listed = SignalsOf(name, &known);
    if (!known || handler == nullptr) {
        return false;
    }
    for (Foundation::ISignal* signal : listed) {
        signal->Disconnect(*handler);
    }
    return true;
}

bool TestHost::FireSignal(const std::string& name)
{
    if (name == "ImplComLoaded") {
        m_implComLoaded.Emit();
    } else if (name == "ImplComPreRelease") {
        m_implComPreRelease.Emit();
    } else if (name == "funcsExitSignal") {
        m_funcsExit.Emit();
    } else {
        return false;
    }
    return true;
}

bool TestHost::HasSignal(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    return m_signals.count(name) != 0;
}

int TestHost::SignalCount(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    auto found = m_signals.find(name);
    return found == m_signals.end() ? 0 : static_cast<int>(found->second.size());
}

std::vector<std::string> TestHost::SignalNames() const
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    std::vector<std::string> names;
    for (const auto& entry : m_signals) {
        names.push_back(entry.first);
    }
    return names;
}

// --- objects ---

bool TestHost::RegisterObject(const char* typeName, Foundation::Any* object)
{
    if (typeName == nullptr) {
        return false;
    }
    Foundation::Any copy = object ? *object : Foundation::Any();
    Foundation::Any replaced;  // released after the lock, its destructor may call back
    {
        std::lock_guard<std::mutex> guard(m_registryMutex);
        Foundation::Any& slot = m_objects[typeName];
        replaced.swap(slot);
        slot.swap(copy);
        m_registrationLog.push_back(typeName);
    }
    return true;
}

Foundation::Any TestHost::QueryObject(const char* typeName)
{
    if (typeName == nullptr) {
        return Foundation::Any();
    }
    return Query(typeName);
}

Foundation::Any TestHost::Query(const std::string& typeName) const
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    auto found = m_objects.find(typeName);
    return found == m_objects.end() ? Foundation::Any() : found->second;
}

std::vector<std::string> TestHost::ObjectNames() const
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    std::vector<std::string> names;
    for (const auto& entry : m_objects) {
        names.push_back(entry.first);
    }
    return names;
}

std::vector<std::string> TestHost::RegistrationLog() const
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    return m_registrationLog;
}

void TestHost::ClearObjects()
{
    std::map<std::string, Foundation::Any> released;
    {
        std::lock_guard<std::mutex> guard(m_registryMutex);
        released.swap(m_objects);
    }
    // Services are destroyed here, outside the lock, and may still call the host.
    released.clear();
}

// --- methods ---

bool TestHost::AddMethodEntry(int table, const char* name, Foundation::IComInterface* method)
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    m_methods[table - 1][name ? name : ""].push_back(method);
    return true;
}

bool TestHost::RegisterMethod(const char* name, Foundation::IComInterface* method)
{
    return AddMethodEntry(1, name, method);
}

bool TestHost::RegisterMethod2(const char* name, Foundation::IComInterface* method)
{
    return AddMethodEntry(2, name, method);
}

bool TestHost::RegisterMethod3(const char* name, Foundation::IComInterface* method)
{
    return AddMethodEntry(3, name, method);
}

std::string TestHost::InvokeMethod(int table, const std::string& text, const Json::Value& request)
{
    const std::string name = Foundation::JsonStringOrEmpty(Foundation::JsonMember(request, "method"));
    std::vector<Foundation::IComInterface*> overloads;
    {
        std::lock_guard<std::mutex> guard(m_registryMutex);
        auto found = m_methods[table - 1].find(name);
        if (found == m_methods[table - 1].end()) {
            return std::string();
        }
        overloads = found->second;
    }
    const int count = Foundation::JsonMemberCount(Foundation::JsonMember(request, "params"));
    char names[10][100] = {};
    const std::string styled = Foundation::JsonStyledText(request);
    for (Foundation::IComInterface* method : overloads) {
        if (method == nullptr || !method->GetParamNames(names, count)
            || !method->CheckParamsText(count, styled.c_str())) {
            continue;
        }
        return method->Invoke(RequestId(Foundation::JsonMember(request, "id")), text.c_str());
    }
    return std::string();
}

std::string TestHost::Call(const std::string& requestText)
{
    Json::Value request;
    if (!Foundation::JsonParse(requestText, request)) {
        return Fill(kFormatError, requestText);
    }
    if (!request.isObject() || !request.isMember("method") || !request.isMember("params")
        || !request.isMember("id")) {
        return Fill(kContextError, requestText);
    }
    for (int table = 3; table >= 1; --table) {
        std::string reply = InvokeMethod(table, requestText, request);
        if (!reply.empty()) {
            return reply;
        }
    }
    return Fill(kMethodNotExist, requestText);
}

std::string TestHost::CallMethod(const std::string& method, const std::string& paramsJson, int id)
{
    Json::Value params;
    if (!Foundation::JsonParse(paramsJson, params)) {
        params = Json::Value();
    }
    Json::Value request(Json::objectValue);
    request["method"] = method;
    request["params"] = params;
    request["id"] = id;
    request["async"] = false;
    return Call(Foundation::JsonFastText(request));
}

std::vector<std::string> TestHost::MethodNames(int table) const
{
    std::vector<std::string> names;
    if (table < 1 || table > 3) {
        return names;
    }
    std::lock_guard<std::mutex> guard(m_registryMutex);
    for (const auto& entry : m_methods[table - 1]) {
        names.push_back(entry.first);
    }
    return names;
}

int TestHost::OverloadCount(const std::string& name, int table) const
{
    if (table < 1 || table > 3) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(m_registryMutex);
    auto found = m_methods[table - 1].find(name);
    return found == m_methods[table - 1].end() ? 0 : static_cast<int>(found->second.size());
}

void TestHost::ClearMethods()
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    for (auto& table : m_methods) {
        table.clear();
    }
}

// --- resolve table ---

void TestHost::SetFunction(const std::string& module, const std::string& function, void* address)
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    m_functions[{module, function}] = address;
}

int TestHost::ResolveCount() const
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    return m_resolveCount;
}

void* TestHost::ResolveFunction(const char* module, const char* function)
{
    std::lock_guard<std::mutex> guard(m_registryMutex);
    ++m_resolveCount;
    if (module == nullptr || function == nullptr) {
        return nullptr;
    }
    auto found = m_functions.find({module, function});
    return found == m_functions.end() ? nullptr : found->second;
}

// --- task worker ---

bool TestHost::PostTask(int priority, Foundation::CSharedPtr<Foundation::ITask>* task)
{
    if (task == nullptr || !*task) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_taskMutex);
        if (m_stop) {
            return false;
        }
        m_queue.push_back(TaskEntry{priority, ++m_taskStamp, *task});
        std::push_heap(m_queue.begin(), m_queue.end(), TaskOrder());
    }
    m_taskChanged.notify_all();
    return true;
}

void TestHost::WorkerLoop()
{
    std::unique_lock<std::mutex> lock(m_taskMutex);
    for (;;) {
        m_taskChanged.wait(lock, [this] { return m_stop || (!m_suspended && !m_queue.empty()); });
        if (m_stop) {
            return;
        }
        std::pop_heap(m_queue.begin(), m_queue.end(), TaskOrder());
        TaskEntry entry = std::move(m_queue.back());
        m_queue.pop_back();
        m_running = true;
        lock.unlock();
        try {
            entry.task->Run();
        } catch (...) {
            // A task never takes the worker down.
        }
        entry.task.reset();
        lock.lock();
        m_running = false;
        m_taskChanged.notify_all();
    }
}

void TestHost::SuspendWorker()
{
    std::lock_guard<std::mutex> guard(m_taskMutex);
    m_suspended = true;
}

void TestHost::ResumeWorker()
{
    {
        std::lock_guard<std::mutex> guard(m_taskMutex);
        m_suspended = false;
    }
    m_taskChanged.notify_all();
}

bool TestHost::WaitIdle(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_taskMutex);
    return m_taskChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return !m_running && (m_queue.empty() || m_stop);
    });
}

void TestHost::StopWorker()
{
    {
        std::lock_guard<std::mutex> guard(m_taskMutex);
        m_stop = true;
    }
    m_taskChanged.notify_all();
    m_worker.Wait();
    std::vector<TaskEntry> dropped;
    {
        std::lock_guard<std::mutex> guard(m_taskMutex);
        dropped.swap(m_queue);
    }
}

int TestHost::QueuedTaskCount() const
{
    std::lock_guard<std::mutex> guard(m_taskMutex);
    return static_cast<int>(m_queue.size());
}

// --- log levels ---

Foundation::LogLevelTable* TestHost::GetLogLevelTable(const char* /*sink*/)
{
    return &m_logLevels;
}

// --- page texts ---

void TestHost::SendToWeb(const char* text)
{
    {
        std::lock_guard<std::mutex> guard(m_sentMutex);
        m_sent.emplace_back(text ? text : "");
    }
    m_sentChanged.notify_all();
}

std::vector<std::string> TestHost::SentTexts() const
{
    std::lock_guard<std::mutex> guard(m_sentMutex);
    return m_sent;
}

void TestHost::ClearSentTexts()
{
    std::lock_guard<std::mutex> guard(m_sentMutex);
    m_sent.clear();
}

bool TestHost::WaitForSentCount(std::size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_sentMutex);
    return m_sentChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_sent.size() >= count; });
}

}  // namespace testsupport
