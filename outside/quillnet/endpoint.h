// One handle of the SDK (stream, transfer, talk, attachment) with its callbacks and the gate that
// makes stopping and replacing callbacks synchronous.
#ifndef OUTSIDE_QUILLNET_ENDPOINT_H
#define OUTSIDE_QUILLNET_ENDPOINT_H

#include "quillnet.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillnet {

enum class Kind { Real, Playback, Download, Talk, Config, Transmit, VK };

struct Callbacks {
    qn_real_data_cb real = nullptr;
    qn_data_cb data = nullptr;
    qn_position_cb position = nullptr;
    qn_time_position_cb timePosition = nullptr;
    qn_talk_cb talk = nullptr;
    qn_config_cb config = nullptr;
    qn_transmit_cb transmit = nullptr;
    qn_vk_cb vk = nullptr;
    void *dataUser = nullptr;       // real, data, talk, config, transmit, vk user value
    void *positionUser = nullptr;
};

// Transfer controls, changed by the API and read by the worker under the endpoint's lock.
struct TransferControl {
    bool paused = false;
    int speedStep = 0;
    bool reverse = false;
    int64_t seekMs = INT64_MIN;     // absolute time to seek to, INT64_MIN: none
    int64_t seekBytes = -1;
    bool fail = false;
    unsigned generation = 0;        // bumped at every change; the worker rebases its clock
};

class Endpoint {
public:
    Endpoint(Kind kind, qn_handle handle, qn_handle login) : kind(kind), handle(handle), login(login) {}
    ~Endpoint();

    const Kind kind;
    const qn_handle handle;
    const qn_handle login;
    std::string name;               // configuration name of a config attachment
    qn_record_file record{};        // record of a download by time
    int64_t spanStartMs = 0;        // first timestamp of a playback, for seeks in seconds
    std::atomic<long> flux{0};

    // Enters a callback: false once closed. On success the callbacks are copied to out and the
    // caller must call Leave after the callback returned.
    bool Enter(Callbacks &out);
    void Leave();
    // Changes the callbacks; returns once no other thread runs an old one.
    template <class Change> void Replace(Change change)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        change(m_callbacks);
        WaitIdle(lock);
    }
    Callbacks Current();
    // Closes the gate and waits for callbacks on other threads to return; joins the worker
    // unless called from it.
    void Close();
    bool Closed();

    // Worker support. Starts the worker thread unless the endpoint is already closed, then runs
    // the test start hook on the calling thread. Register the endpoint before: a callback of the
    // worker may stop it by its handle at once.
    void StartWorker(std::function<void()> run);
    TransferControl Control();
    template <class Change> void ChangeControl(Change change)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        change(m_control);
        ++m_control.generation;
        m_cv.notify_all();
    }
    // Sleeps until the deadline, a close or a control change; false when closed.
    bool SleepUntil(std::chrono::steady_clock::time_point deadline, unsigned generation);
    // Waits while paused; false when closed.
    bool WaitWhilePaused();

private:
    void WaitIdle(std::unique_lock<std::mutex> &lock);

    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_closed = false;
    std::vector<std::thread::id> m_active;
    Callbacks m_callbacks;
    TransferControl m_control;
    std::thread m_worker;
};

// Runs fn inside the endpoint's gate; false when the endpoint is closed.
template <class Fn> bool WithCallbacks(Endpoint &ep, Fn fn)
{
    Callbacks cb;
    if (!ep.Enter(cb))
        return false;
    fn(cb);
    ep.Leave();
    return true;
}

// Number of running worker threads (streams, transfers, talks), detached ones included.
std::atomic<int> &RunningWorkers();

// The test hook run once a worker has started, before the opening call returns.
void SetStartHook(qnsim_start_hook hook, void *user);
void RunStartHook(qn_handle handle);

}  // namespace quillnet

#endif
