#include "scriptedprompter.h"

#include <QCoreApplication>
#include <QFile>

#include <utility>

namespace {

struct NamedButton {
    const char* name;
    QMessageBox::StandardButton button;
};

const NamedButton kButtons[] = {
    {"Yes", QMessageBox::Yes},
    {"No", QMessageBox::No},
    {"Ok", QMessageBox::Ok},
    {"Cancel", QMessageBox::Cancel},
};

QMessageBox::StandardButton ButtonNamed(const QString& name)
{
    for (const NamedButton& named : kButtons) {
        if (name == QLatin1String(named.name))
            return named.button;
    }
    return QMessageBox::NoButton;
}

QString NameOf(QMessageBox::StandardButton button)
{
    for (const NamedButton& named : kButtons) {
        if (button == named.button)
            return QString::fromLatin1(named.name);
    }
    return QStringLiteral("None");
}

QMessageBox::StandardButton Unscripted(const PromptSpec& spec)
{
    if (spec.defaultButton != QMessageBox::NoButton)
        return spec.defaultButton;
    for (QMessageBox::StandardButton candidate : {QMessageBox::No, QMessageBox::Cancel, QMessageBox::Ok}) {
        for (const auto& button : spec.buttons) {
            if (button.first == candidate)
                return candidate;
        }
    }
    return spec.buttons.isEmpty() ? QMessageBox::NoButton : spec.buttons.first().first;
}

}  // namespace

std::unique_ptr<ScriptedPrompter> ScriptedPrompter::FromEnvironment()
{
    const QString journal = qEnvironmentVariable("BREVIX_TEST_PROMPTS");
    if (journal.isEmpty())
        return nullptr;
    return std::make_unique<ScriptedPrompter>(
        journal, qEnvironmentVariable("BREVIX_TEST_ANSWERS").split(QLatin1Char(','), Qt::SkipEmptyParts));
}

ScriptedPrompter::ScriptedPrompter(QString journal, QStringList answers)
    : m_journal(std::move(journal)), m_answers(std::move(answers))
{
}

QMessageBox::StandardButton ScriptedPrompter::Ask(const PromptSpec& spec)
{
    QFile journal(m_journal);
    int asked = 0;
    if (journal.open(QIODevice::ReadOnly))
        asked = journal.readAll().count('\n');
    journal.close();

    const QString scripted = m_answers.value(asked).trimmed();
    const bool wait = scripted == QLatin1String("Wait");
    QMessageBox::StandardButton answer = ButtonNamed(scripted);
    if (answer == QMessageBox::NoButton && !wait)
        answer = Unscripted(spec);

    if (journal.open(QIODevice::WriteOnly | QIODevice::Append)) {
        const QString line = (wait ? QStringLiteral("Wait") : NameOf(answer)) + QLatin1Char('\t') + spec.text
            + QLatin1Char('\t') + spec.informativeText + QLatin1Char('\n');
        journal.write(line.toUtf8());
        journal.close();
    }
    if (wait) {
        // As a box nobody answers: open until the program is ended.
        QEventLoop loop;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
        m_waiting = &loop;
        loop.exec();
        m_waiting = nullptr;
        return Unscripted(spec);
    }
    return answer;
}

void ScriptedPrompter::EndWaiting()
{
    if (m_waiting != nullptr)
        m_waiting->quit();
}
