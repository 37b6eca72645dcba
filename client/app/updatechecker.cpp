#include "updatechecker.h"

#include <QProcess>

#include <chrono>
#include <csignal>
#include <utility>

namespace {

// How long a killed checker may take to be gone.
constexpr int kKillWaitMs = 5000;

}  // namespace

UpdateChecker::UpdateChecker(QString program, int waitLimitMilliseconds)
    : m_program(std::move(program)),
      m_waitLimitMs(waitLimitMilliseconds)
{
}

int UpdateChecker::Run(const QUrl& url)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closing)
            return kNotStarted;
        ++m_active;
    }
    int code = kNotStarted;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(m_program, {url.toString()});
    if (process.waitForStarted(m_waitLimitMs)) {
        const qint64 pid = process.processId();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_running.insert(pid);
            if (m_closing)
                ::kill(static_cast<pid_t>(pid), SIGKILL);
        }
        if (!process.waitForFinished(m_waitLimitMs)) {
            process.kill();
            process.waitForFinished(kKillWaitMs);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_running.erase(pid);
        }
        if (process.exitStatus() == QProcess::CrashExit || process.state() != QProcess::NotRunning)
            code = kCrashed;
        else
            code = static_cast<signed char>(process.exitCode() & 0xff);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_active;
    m_idle.notify_all();
    return code;
}

void UpdateChecker::Shutdown(int graceMilliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_closing = true;
    if (m_idle.wait_for(lock, std::chrono::milliseconds(graceMilliseconds), [this] { return m_active == 0; }))
        return;
    for (qint64 pid : m_running)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    m_idle.wait(lock, [this] { return m_active == 0; });
}
