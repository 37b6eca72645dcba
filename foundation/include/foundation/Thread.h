#pragma once
// A thread that runs one delegate. It is stopped cooperatively: the owner raises the stop
// flag (which the delegate polls) and joins; a thread is never cancelled.

#include <atomic>

#include <QThread>

#include <foundation/FastDelegate.h>

namespace Foundation {

class CThread : public QThread {
public:
    explicit CThread(QObject* parent = nullptr) : QThread(parent) {}
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Joins a thread that is still running, so destruction never leaves it behind.
    ~CThread() override
    {
        if (isRunning()) {
            RequestStop();
            wait();
        }
    }

    void Start(const fastdelegate::FastDelegate0<>& procedure)
    {
        m_procedure = procedure;
        m_stop.store(false);
        start(QThread::InheritPriority);
    }

    void Wait() { wait(); }

    void RequestStop() noexcept { m_stop.store(true); }
    bool IsStopRequested() const noexcept { return m_stop.load(); }

protected:
    void run() override
    {
        if (!m_procedure.empty()) {
            m_procedure();
        }
    }

private:
    fastdelegate::FastDelegate0<> m_procedure;
    std::atomic<bool> m_stop{false};
};

}  // namespace Foundation
