#pragma once

#include "historyfile.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

class historyinfo;
class QWidget;

// Owns the one open history dialog. The dialog may be closed from inside
// its own signals (its close handling, a click on an address), so it is
// never deleted there: closing hides it and frees it from the event loop.
class HistoryDialogHolder : public QObject
{
    Q_OBJECT

public:
    explicit HistoryDialogHolder(QObject* parent = nullptr);
    ~HistoryDialogHolder() override;

    // Closes an open dialog, then builds a new one from entries (newest
    // first), modal, shown without waiting.
    historyinfo* Open(const QList<HistoryParam>& entries, QWidget* parent);
    // Closes and releases the dialog, if any.
    void Close();

    historyinfo* Dialog() const { return m_dialog; }

signals:
    void SelectUrl(QUrl url);

private:
    void Release();

    QPointer<historyinfo> m_dialog;
};
