#include "historydialogholder.h"

#include "historyinfo.h"

HistoryDialogHolder::HistoryDialogHolder(QObject* parent)
    : QObject(parent)
{
}

HistoryDialogHolder::~HistoryDialogHolder()
{
    delete m_dialog.data();
}

historyinfo* HistoryDialogHolder::Open(const QList<HistoryParam>& entries, QWidget* parent)
{
    Close();
    HistoryDayMap days;
    GroupHistoryByDay(entries, days);
    m_dialog = new historyinfo(days, 10, parent);
    connect(m_dialog, &historyinfo::closeSelfWindow, this, &HistoryDialogHolder::Release);
    connect(m_dialog, &historyinfo::SelectUrl, this, &HistoryDialogHolder::SelectUrl);
    m_dialog->setModal(true);
    m_dialog->show();
    return m_dialog;
}

void HistoryDialogHolder::Close()
{
    if (!m_dialog)
        return;
    historyinfo* dialog = m_dialog;
    m_dialog = nullptr;
    disconnect(dialog, nullptr, this, nullptr);
    dialog->close();
    dialog->deleteLater();
}

void HistoryDialogHolder::Release()
{
    if (!m_dialog)
        return;
    historyinfo* dialog = m_dialog;
    m_dialog = nullptr;
    disconnect(dialog, nullptr, this, nullptr);
    dialog->deleteLater();
}
