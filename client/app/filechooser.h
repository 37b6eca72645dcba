#pragma once

#include <QString>

class QWidget;

// The file and folder dialogs of the page's methods; tests answer them.
class IFileChooser
{
public:
    virtual ~IFileChooser() = default;
    virtual QString ChooseDir(QWidget* parent, const QString& title, const QString& start) = 0;
    virtual QString ChooseFile(QWidget* parent, const QString& title, const QString& start,
                               const QString& filter) = 0;
    virtual QString SaveFile(QWidget* parent, const QString& title, const QString& proposed,
                             const QString& filter) = 0;
};

namespace FileChoosers {

// The chooser in use: the one set last, else the platform's standard dialogs.
IFileChooser& Current();
void SetCurrent(IFileChooser* chooser);

}  // namespace FileChoosers
