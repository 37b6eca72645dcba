#pragma once

#include "historyfile.h"

#include <QDialog>
#include <QUrl>

#include <functional>

class QWidget;

namespace Ui {
class historyinfo;
}

// The history dialog: entries grouped by day, newest day first; clicking an
// address asks to open it; the history can be cleared and the cache cleaner
// started.
class historyinfo final : public QDialog
{
    Q_OBJECT

public:
    // Asks whether to run the cache cleaner; true means yes.
    using CachePrompt = std::function<bool(QWidget* parent)>;

    historyinfo(const HistoryDayMap& days, int startOffset, QWidget* parent);
    ~historyinfo() override;
    historyinfo(const historyinfo&) = delete;
    historyinfo& operator=(const historyinfo&) = delete;

    // Replaces the question shown before the cache cleaner starts.
    void SetCachePrompt(CachePrompt prompt);

    QWidget* ListArea() const;

signals:
    void closeSelfWindow();
    void SelectUrl(QUrl url);

public slots:
    void ClikedAddr(QString strAdd);
    void ClearHistory();
    void Cindel();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildList(const HistoryDayMap& days, int startOffset);

    Ui::historyinfo* m_ui;
    CachePrompt m_cachePrompt;
};
