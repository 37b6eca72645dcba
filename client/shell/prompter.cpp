#include "prompter.h"

#include "kovrmessagebox.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QTextDocument>


namespace {

IPrompter* g_current = nullptr;

// The answer when the box is closed without a button: No, else Cancel, else
// Ok, whichever the box has.
QMessageBox::StandardButton EscapeOf(const PromptSpec& spec)
{
    for (QMessageBox::StandardButton candidate : {QMessageBox::No, QMessageBox::Cancel, QMessageBox::Ok}) {
        for (const auto& button : spec.buttons) {
            if (button.first == candidate)
                return candidate;
        }
    }
    return QMessageBox::NoButton;
}

// A plain text whose long unbroken runs (a file name) may wrap anywhere: a
// zero-width space between their characters, so a box of fixed width shows
// them whole on several lines.
QString WrappableText(const QString& text, Qt::TextFormat format)
{
    constexpr int kLongRun = 16;
    if (format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text)))
        return text;
    QString wrappable;
    int run = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        run = c.isSpace() ? 0 : run + 1;
        wrappable += c;
        const bool splitsPair = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (run >= kLongRun && !splitsPair && i + 1 < text.size() && !text.at(i + 1).isSpace())
            wrappable += QChar(0x200B);
    }
    return wrappable;
}

}  // namespace

QMessageBox::StandardButton BoxPrompter::Ask(const PromptSpec& spec)
{
    // The parent may go while the box is open: hold the box weakly.
    QPointer<QMessageBox> box;
    if (spec.width > 0 && spec.height > 0) {
        auto* fixed = new KOVRMessageBox(spec.parent);
        fixed->SetFixedBoxSize(spec.width, spec.height);
        fixed->SetFitHeightToText(true);
        box = fixed;
    } else {
        box = new QMessageBox(spec.parent);
    }
    box->setIcon(spec.icon);
    box->setTextFormat(spec.textFormat);
    box->setText(spec.width > 0 ? WrappableText(spec.text, spec.textFormat) : spec.text);
    box->setInformativeText(spec.informativeText);
    for (const auto& button : spec.buttons) {
        box->addButton(button.first);
        box->setButtonText(button.first, button.second);
    }
    if (spec.defaultButton != QMessageBox::NoButton)
        box->setDefaultButton(spec.defaultButton);
    const QMessageBox::StandardButton escape = EscapeOf(spec);
    if (escape != QMessageBox::NoButton)
        box->setEscapeButton(escape);

    QMessageBox::StandardButton answer = escape;
    QEventLoop loop;
    QObject::connect(box.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
    QObject::connect(box.data(), &QMessageBox::finished, &loop, [&](int) {
        QAbstractButton* clicked = box->clickedButton();
        if (clicked != nullptr)
            answer = box->standardButton(clicked);
        if (answer == QMessageBox::NoButton)
            answer = escape;
        loop.quit();
    });
    box->setWindowModality(Qt::ApplicationModal);
    box->open();
    loop.exec();
    delete box.data();
    return answer;
}

namespace Prompts {

IPrompter& Current()
{
    static BoxPrompter boxes;
    return g_current != nullptr ? *g_current : boxes;
}

void SetCurrent(IPrompter* prompter)
{
    g_current = prompter;
}

}  // namespace Prompts
