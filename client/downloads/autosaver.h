#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>

// Collects change notifications and calls the parent's slot "save" once the
// changes have settled: after a quiet time, or at once when the first unsaved
// change is older than the longest wait.
class AutoSaver final : public QObject
{
    Q_OBJECT

public:
    static constexpr int SaveDelayMs = 3000;
    static constexpr int LongestWaitMs = 15000;

    // The parent must have a slot "save()". The delays are for tests.
    explicit AutoSaver(QObject* parent, int saveDelayMs = SaveDelayMs,
                       int longestWaitMs = LongestWaitMs);
    ~AutoSaver() override;

    void saveIfNecessary();

public slots:
    void changeOccurred();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer m_timer;
    QElapsedTimer m_firstChange;
    int m_saveDelayMs;
    int m_longestWaitMs;
};
