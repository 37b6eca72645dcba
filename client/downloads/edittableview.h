#pragma once

#include <QTableView>

// A table view with slots that remove the current row or all rows.
class EditTableView : public QTableView
{
    Q_OBJECT

public:
    explicit EditTableView(QWidget* parent = nullptr);

public slots:
    void removeOne();
    void removeAll();
};
