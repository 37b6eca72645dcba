#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a normal end of the event loop, so the main
// window is torn down in order.
class TerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

private:
    static void OnSignal(int signal);

    QSocketNotifier* m_notifier = nullptr;
};
