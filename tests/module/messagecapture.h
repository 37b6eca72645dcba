#pragma once
// Collects Qt debug output while a test runs, from every thread.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QString>
#include <QtGlobal>

class MessageCapture {
public:
    MessageCapture() { Install(this); }
    ~MessageCapture() { Install(nullptr); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    std::vector<std::string> Lines() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }

    int Count(const std::string& line) const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return static_cast<int>(std::count(m_lines.begin(), m_lines.end(), line));
    }

    // Waits until `line` has been printed; a generous limit, for a loaded machine.
    bool WaitFor(const std::string& line, int timeoutMs = 10000) const
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
        });
    }

    void Clear()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.clear();
    }

private:
    static MessageCapture*& Current()
    {
        static MessageCapture* current = nullptr;
        return current;
    }

    static std::mutex& InstallLock()
    {
        static std::mutex lock;
        return lock;
    }

    static void Install(MessageCapture* capture)
    {
        std::lock_guard<std::mutex> guard(InstallLock());
        Current() = capture;
        qInstallMessageHandler(capture ? &Handler : nullptr);
    }

    static void Handler(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        std::lock_guard<std::mutex> guard(InstallLock());
        if (MessageCapture* capture = Current()) {
            {
                std::lock_guard<std::mutex> lineGuard(capture->m_lock);
                capture->m_lines.push_back(text.toStdString());
            }
            capture->m_changed.notify_all();
        }
    }

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_lines;
};
