#include "autosaver.h"

#include <QMetaObject>
#include <QTimerEvent>
#include <QtDebug>

AutoSaver::AutoSaver(QObject* parent, int saveDelayMs, int longestWaitMs)
    : QObject(parent), m_saveDelayMs(saveDelayMs), m_longestWaitMs(longestWaitMs)
{
}

AutoSaver::~AutoSaver()
{
    if (m_timer.isActive()) {
        qWarning() << "AutoSaver: still active when destroyed, changes not saved.";
        m_timer.stop();
    }
}

void AutoSaver::changeOccurred()
{
    if (!m_firstChange.isValid())
        m_firstChange.start();

    if (m_firstChange.elapsed() > m_longestWaitMs)
        saveIfNecessary();
    else
        m_timer.start(m_saveDelayMs, this);
}

void AutoSaver::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        saveIfNecessary();
    else
        QObject::timerEvent(event);
}

void AutoSaver::saveIfNecessary()
{
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    m_firstChange.invalidate();
    if (!QMetaObject::invokeMethod(parent(), "save", Qt::DirectConnection))
        qWarning() << "AutoSaver: error invoking slot save() on parent";
}
