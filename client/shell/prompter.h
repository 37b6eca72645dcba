#pragma once

#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QPointer>
#include <QString>

// One question or notice of the client.
struct PromptSpec
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    QString informativeText;
    Qt::TextFormat textFormat = Qt::AutoText;
    // Buttons with their shown texts, in order.
    QList<QPair<QMessageBox::StandardButton, QString>> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    // A fixed box size (a KOVRMessageBox); 0 x 0 is a plain message box.
    int width = 0;
    int height = 0;
    QPointer<QWidget> parent;
};

// Asks the user; tests put a prompter of their own in place.
class IPrompter
{
public:
    virtual ~IPrompter() = default;
    // The pressed button; closing the box answers its escape button.
    virtual QMessageBox::StandardButton Ask(const PromptSpec& spec) = 0;
};

// Shows the box modally (open() and its finished signal) and waits for it.
class BoxPrompter : public IPrompter
{
public:
    QMessageBox::StandardButton Ask(const PromptSpec& spec) override;
};

namespace Prompts {

// The prompter in use: the one set last, else a BoxPrompter.
IPrompter& Current();
// Null puts the BoxPrompter back.
void SetCurrent(IPrompter* prompter);

}  // namespace Prompts
