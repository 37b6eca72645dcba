#pragma once

#include <QString>
#include <QUrl>

#include <condition_variable>
#include <mutex>
#include <set>

// Runs the update checker program and waits for its exit code, at most for the
// wait limit: a checker still running then is killed and counts as crashed, so
// the page loads whatever the checker's server does. Run is called on pool
// threads; Shutdown lets running checks end (killing them after a grace
// period) and refuses new ones.
class UpdateChecker
{
public:
    // The process runner's codes.
    static constexpr int kNotStarted = -2;
    static constexpr int kCrashed = -1;

    UpdateChecker(QString program, int waitLimitMilliseconds);

    // The checker's exit code (as the signed byte it returned), or one of the
    // runner's codes. Answers kNotStarted once shut down.
    int Run(const QUrl& url);
    void Shutdown(int graceMilliseconds);

private:
    const QString m_program;
    const int m_waitLimitMs;
    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::set<qint64> m_running;
    int m_active = 0;
    bool m_closing = false;
};
