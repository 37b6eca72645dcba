#include "edittableview.h"

#include <QItemSelectionModel>

EditTableView::EditTableView(QWidget* parent) : QTableView(parent) {}

void EditTableView::removeOne()
{
    if (!model() || !selectionModel())
        return;
    const int row = currentIndex().row();
    model()->removeRow(row, rootIndex());
    QModelIndex index = model()->index(row, 0, rootIndex());
    if (!index.isValid())
        index = model()->index(row - 1, 0, rootIndex());
    selectionModel()->select(index, QItemSelectionModel::SelectCurrent | QItemSelectionModel::Rows);
}

void EditTableView::removeAll()
{
    if (model())
        model()->removeRows(0, model()->rowCount(rootIndex()), rootIndex());
}
