#include "filechooser.h"

#include <QFileDialog>

namespace {

class DialogChooser : public IFileChooser
{
public:
    QString ChooseDir(QWidget* parent, const QString& title, const QString& start) override
    {
        return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
    }
    QString ChooseFile(QWidget* parent, const QString& title, const QString& start,
                       const QString& filter) override
    {
        return QFileDialog::getOpenFileName(parent, title, start, filter);
    }
    QString SaveFile(QWidget* parent, const QString& title, const QString& proposed,
                     const QString& filter) override
    {
        return QFileDialog::getSaveFileName(parent, title, proposed, filter);
    }
};

IFileChooser* g_current = nullptr;

}  // namespace

namespace FileChoosers {

IFileChooser& Current()
{
    static DialogChooser dialogs;
    return g_current != nullptr ? *g_current : dialogs;
}

void SetCurrent(IFileChooser* chooser)
{
    g_current = chooser;
}

}  // namespace FileChoosers
