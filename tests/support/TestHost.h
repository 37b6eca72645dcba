#pragma once
// An in-memory host for module and service tests. It fills the host-context slots the way
// the client does: named signals, the object registry, three method tables, a resolve
// table the test fills, one task worker (highest priority first, then posting order), the
// shared log-level record and the texts sent to the page. Slots 7, 14 and 15 stay empty.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <foundation/Any.h>
#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>
#include <foundation/LogLevelTable.h>
#include <foundation/SharedPtr.h>
#include <foundation/Signal.h>
#include <foundation/Task.h>
#include <foundation/Thread.h>

namespace testsupport {

class TestHost {
public:
    // Error texts of the request road; %1 is the whole request text.
    static constexpr const char* kFormatError = "Json format error:%1";
    static constexpr const char* kContextError = "Json context error:%1";
    static constexpr const char* kMethodNotExist = "Method not exist:%1";

    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // The record handed to modules. Tests may clear slots in it to model a lesser host.
    HostContext* Context() { return &m_context; }

    // --- named signals ---
    // The host's own signals "ImplComLoaded", "ImplComPreRelease", "funcsExitSignal"
    // (no arguments) and "GPU_Change" (bool) are published at construction.
    bool FireSignal(const std::string& name);  // one of the three argument-less host signals
    void EmitImplComLoaded() { FireSignal("ImplComLoaded"); }
    void EmitImplComPreRelease() { FireSignal("ImplComPreRelease"); }
    void EmitGpuChange(bool enable) { m_gpuChange.Emit(enable); }
    bool HasSignal(const std::string& name) const;
    int SignalCount(const std::string& name) const;  // signals listed under the name
    std::vector<std::string> SignalNames() const;

    // --- registered objects ---
    Foundation::Any Query(const std::string& typeName) const;
    template <class T>
    Foundation::CSharedPtr<T> QueryService(const std::string& typeName) const
    {
        return Foundation::CopyFromHolder<T>(Query(typeName));
    }
    std::vector<std::string> ObjectNames() const;        // names currently kept, sorted
    std::vector<std::string> RegistrationLog() const;    // every RegisterObject call, in order
    void ClearObjects();                                 // releases every kept object

    // --- published methods (tables 1, 2, 3; the host never owns the objects) ---
    // Runs one request text through the tables as the page's bridge does and answers the
    // reply text or the bridge's error text.
    std::string Call(const std::string& requestText);
    // Builds {"method","params","id","async":false} and calls it; `paramsJson` is JSON text.
    std::string CallMethod(const std::string& method, const std::string& paramsJson, int id = 1);
    std::vector<std::string> MethodNames(int table = 1) const;
    int OverloadCount(const std::string& name, int table = 1) const;
    // Forgets every method object (their publishers delete them).
    void ClearMethods();

    // --- resolve table ---
    void SetFunction(const std::string& module, const std::string& function, void* address);
    int ResolveCount() const;  // ResolveFunction calls so far

    // --- task worker ---
    // While suspended the worker takes no task; posting still queues.
    void SuspendWorker();
    void ResumeWorker();
    // Waits until nothing is queued or running (false on time-out or while suspended with work).
    bool WaitIdle(int timeoutMs = 5000);
    // Stops the worker after the running task; queued tasks are dropped unrun.
    void StopWorker();
    int QueuedTaskCount() const;

    // --- log levels ---
    Foundation::LogLevelTable* LogLevels() { return &m_logLevels; }

    // --- texts sent to the page ---
    std::vector<std::string> SentTexts() const;
    void ClearSentTexts();
    bool WaitForSentCount(std::size_t count, int timeoutMs = 5000) const;

private:
    struct TaskEntry {
        int priority;
        uint64_t stamp;
        Foundation::CSharedPtr<Foundation::ITask> task;
    };
    struct TaskOrder {
        bool operator()(const TaskEntry& a, const TaskEntry& b) const;  // true: a runs after b
    };

    // Slot operations.
    bool AddSignal(const char* name, Foundation::ISignal* signal);
    bool RemoveSignal(const char* name, Foundation::ISignal* signal);
    bool ConnectSignal(const char* name, Foundation::Any* handler);
    bool DisconnectSignal(const char* name, Foundation::Any* handler);
    bool RegisterObject(const char* typeName, Foundation::Any* object);
    Foundation::Any QueryObject(const char* typeName);
    bool RegisterMethod(const char* name, Foundation::IComInterface* method);
    bool RegisterMethod2(const char* name, Foundation::IComInterface* method);
    bool RegisterMethod3(const char* name, Foundation::IComInterface* method);
    void* ResolveFunction(const char* module, const char* function);
    bool PostTask(int priority, Foundation::CSharedPtr<Foundation::ITask>* task);
    Foundation::LogLevelTable* GetLogLevelTable(const char* sink);
    void SendToWeb(const char* text);

    bool AddMethodEntry(int table, const char* name, Foundation::IComInterface* method);
    std::string InvokeMethod(int table, const std::string& text, const Json::Value& request);
    std::vector<Foundation::ISignal*> SignalsOf(const char* name, bool* known) const;
    void WorkerLoop();

    HostContext m_context;

    Foundation::CSignal0<> m_implComLoaded;
    Foundation::CSignal0<> m_implComPreRelease;
    Foundation::CSignal0<> m_funcsExit;
    Foundation::CSignal1<bool> m_gpuChange;

    mutable std::mutex m_registryMutex;
    std::map<std::string, std::vector<Foundation::ISignal*>> m_signals;
    std::map<std::string, Foundation::Any> m_objects;
    std::vector<std::string> m_registrationLog;
    std::map<std::string, std::vector<Foundation::IComInterface*>> m_methods[3];
    std::map<std::pair<std::string, std::string>, void*> m_functions;
    int m_resolveCount = 0;

    mutable std::mutex m_taskMutex;
    std::condition_variable m_taskChanged;
    std::vector<TaskEntry> m_queue;  // a heap under TaskOrder
    uint64_t m_taskStamp = 0;
    bool m_stop = false;
    bool m_suspended = false;
    bool m_running = false;
    Foundation::CThread m_worker;

    Foundation::LogLevelTable m_logLevels;

    mutable std::mutex m_sentMutex;
    mutable std::condition_variable m_sentChanged;
    std::vector<std::string> m_sent;
};

}  // namespace testsupport
