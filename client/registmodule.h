#pragma once

#include "methodtable.h"
#include "objectregistry.h"
#include "signalregistry.h"

#include <foundation/HostContext.h>
#include <foundation/Signal.h>

#include <QObject>
#include <QString>

#include <json/value.h>

#include <condition_variable>
#include <mutex>
#include <string>

class CBrowser;
class CTaskWorker;
class ModuleManager;

// The bridge between the page and the published methods, and the host side of
// every module: it keeps the signal and object registries and the three method
// tables, fills the host context, and loads and releases the modules.
class RegistModule : public QObject
{
    Q_OBJECT

public:
    // Fills the caller's host context (slot 9, PostTask, is left as the caller
    // set it), copies it for the modules and loads the modules. At release the
    // worker, when given, is stopped before the object registry is cleared. The
    // manager defaults to the process-wide one.
    explicit RegistModule(HostContext* context, CTaskWorker* worker = nullptr,
                          ModuleManager* manager = nullptr, QObject* parent = nullptr);
    // Releases the components when that has not happened yet.
    ~RegistModule() override;

    // Add the method as the last overload of name in table 1, 2 or 3. False,
    // and nothing kept, for a null name or method.
    bool RegisterMethod(const char* name, Foundation::IComInterface* method);
    bool RegisterMethod2(const char* name, Foundation::IComInterface* method);
    bool RegisterMethod3(const char* name, Foundation::IComInterface* method);

    // Sends one UTF-8 text to the page; any thread.
    void SendToWeb(const char* text);

    // Loads, initialises and fills the modules, then raises "ImplComLoaded".
    void LoadComponents();
    // Stops taking requests and waits for running ones, raises
    // "ImplComPreRelease", clears the method tables, stops the task worker
    // (the running task ends first), clears the object registry, clears the
    // modules and unloads them. Later calls do nothing.
    void ReleaseComponents();

    // The copy of the host context that the modules receive.
    HostContext* Context() { return &m_context; }
    SignalRegistry& Signals() { return m_signals; }
    ObjectRegistry& Objects() { return m_objects; }

signals:
    void RPCResponseEvent(QString text);

public slots:
    // Entry of every page request; the answer always goes back as a text.
    void RPCcall(CBrowser* view, QString text);
    // Raises "GPU_Change" with enable.
    void GPUEnableChange(bool enable);

private:
    bool ExecuteRequest(std::string request, Json::Value root);
    std::string InvokeMethod(const MethodTable& table, const std::string& request,
                             const Json::Value& root) const;
    void StartAsync(const std::string& request, const Json::Value& root);
    void FinishAsync();
    // Refuses further requests and waits for the asynchronous ones still running.
    void StopRequests();
    void AssembleContext(HostContext* context);

    HostContext m_context;
    CTaskWorker* m_worker;
    ModuleManager* m_manager;

    SignalRegistry m_signals;
    ObjectRegistry m_objects;
    MethodTable m_tables[3];

    Foundation::CSignal0<> m_implComLoaded;
    Foundation::CSignal0<> m_implComPreRelease;
    Foundation::CSignal0<> m_funcsExit;
    Foundation::CSignal1<bool> m_gpuChange;

    std::mutex m_requestMutex;
    std::condition_variable m_requestDone;
    int m_runningRequests = 0;
    bool m_closing = false;
    bool m_released = false;
};
