#include "clientprompts.h"
#include "kovrmessagebox.h"
#include "recordingprompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// Acts on the box shown next, once it is open.
void WhenBoxShows(std::function<void(QMessageBox*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(box);
    });
    timer->start();
}

TEST(MessageBox, KeepsItsFixedSize)
{
    KOVRMessageBox box;
    box.SetFixedBoxSize(350, 100);
    box.setText(QStringLiteral("<h3>%1</h3>").arg(QString(400, QLatin1Char('x'))));
    box.setInformativeText(QString(2000, QLatin1Char('y')));
    box.show();
    QCoreApplication::processEvents();
    box.resize(900, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(box.size(), QSize(350, 100));
}

TEST(MessageBox, ShownPromptAnswersTheClickedButtonOrItsEscape)
{
    BoxPrompter prompter;
    PromptSpec spec = ClientPrompts::UpgradeQuestion(2, nullptr);

    WhenBoxShows([](QMessageBox* box) {
        EXPECT_EQ(box->width(), 350);
        EXPECT_GE(box->height(), 100);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(prompter.Ask(spec), QMessageBox::Yes);

    WhenBoxShows([](QMessageBox* box) { box->close(); });
    EXPECT_EQ(prompter.Ask(spec), QMessageBox::No);

    WhenBoxShows([](QMessageBox* box) { box->close(); });
    EXPECT_EQ(prompter.Ask(ClientPrompts::DownloadingNotice(nullptr)), QMessageBox::Cancel);
}

TEST(MessageBox, UpgradeQuestionNamesTheKindOfUpgrade)
{
    const PromptSpec full = ClientPrompts::UpgradeQuestion(2, nullptr);
    EXPECT_EQ(full.text, QStringLiteral("<h3>Find Upgrade</h3>"));
    EXPECT_EQ(full.informativeText, QStringLiteral("installLbl"));
    EXPECT_EQ(full.defaultButton, QMessageBox::Yes);
    for (int code : {1, 3})
        EXPECT_EQ(ClientPrompts::UpgradeQuestion(code, nullptr).informativeText, QStringLiteral("upgradeLbl"));
    const PromptSpec download = ClientPrompts::DownloadQuestion(QStringLiteral("clip.rkv"), nullptr);
    EXPECT_EQ(QSize(download.width, download.height), QSize(370, 100));
    EXPECT_EQ(download.defaultButton, QMessageBox::Save);
}

// Every text of the fixed-size questions gets the height it needs at the
// box's fixed width, in each language.
TEST(MessageBox, FixedBoxesShowTheirWholeText)
{
    const QString fileName = QStringLiteral("record_2024-03-09_08-00-00_channel-12.rkv");
    for (const char* language : {"en-us", "zh-cn"}) {
        QTranslator translator;
        ASSERT_TRUE(translator.load(QStringLiteral(BREVIX_APP_DIR "/language/%1.qm").arg(language)));
        QCoreApplication::installTranslator(&translator);
        const PromptSpec specs[] = {
            ClientPrompts::UpgradeQuestion(2, nullptr),
            ClientPrompts::UpgradeQuestion(1, nullptr),
            ClientPrompts::DownloadingNotice(nullptr),
            ClientPrompts::DownloadQuestion(fileName, nullptr),
        };
        for (const PromptSpec& spec : specs) {
            const std::string trace = std::string(language) + ": " + spec.informativeText.toStdString();
            int texts = 0;
            WhenBoxShows([&](QMessageBox* box) {
                EXPECT_EQ(box->width(), spec.width) << trace;
                for (QLabel* label : box->findChildren<QLabel*>()) {
                    if (!label->isVisible() || label->text().isEmpty())
                        continue;
                    ++texts;
                    const int needed = label->hasHeightForWidth() ? label->heightForWidth(label->width())
                                                                  : label->sizeHint().height();
                    EXPECT_LE(needed, label->height()) << trace << " / " << label->text().toStdString();
                    EXPECT_LE(label->sizeHint().width() > label->width() ? label->minimumSizeHint().width() : 0,
                              label->width())
                        << trace << " / " << label->text().toStdString();
                    EXPECT_TRUE(box->rect().contains(label->geometry())) << trace;
                }
                box->close();
            });
            BoxPrompter().Ask(spec);
            EXPECT_EQ(texts, 2) << trace;
        }
        QCoreApplication::removeTranslator(&translator);
    }
}

TEST(CertificatePrompt, OnlyYesOnAnOverridableErrorProceeds)
{
    RecordingPrompter prompter;
    struct Case
    {
        bool overridable;
        QMessageBox::StandardButton answer;
        bool proceeds;
    };
    for (const Case& c : {Case{true, QMessageBox::Yes, true}, Case{true, QMessageBox::No, false},
                          Case{true, QMessageBox::NoButton, false}, Case{false, QMessageBox::Yes, false},
                          Case{false, QMessageBox::Ok, false}}) {
        prompter.SetAnswer(c.answer);
        EXPECT_EQ(ClientPrompts::AskCertificateError(c.overridable, QStringLiteral("10.1.2.3")), c.proceeds)
            << c.overridable << ' ' << c.answer;
    }
    const PromptSpec warning = prompter.Asked().first();
    EXPECT_EQ(warning.icon, QMessageBox::Warning);
    EXPECT_EQ(warning.defaultButton, QMessageBox::No);
    EXPECT_EQ(prompter.Asked().last().icon, QMessageBox::Critical);
    EXPECT_EQ(prompter.Asked().last().buttons.size(), 1);
}

TEST(Translations, EveryLanguageWordsTheKeys)
{
    for (const char* language : {"en-us", "zh-cn"}) {
        QTranslator translator;
        ASSERT_TRUE(translator.load(QStringLiteral(BREVIX_APP_DIR "/language/%1.qm").arg(language))) << language;
        QCoreApplication::installTranslator(&translator);
        for (const char* key : {"installLbl", "upgradeLbl", "downloading", "CertificateNotTrusted", "CertificateError",
                                "NonAero", "NonAeroInformative", "downloadSaveDetail"})
            EXPECT_NE(QCoreApplication::translate("MainWindow", key), QString::fromLatin1(key)) << language;
        const PromptSpec spec = ClientPrompts::CertificateQuestion(true, QStringLiteral("10.1.2.3"));
        EXPECT_TRUE(spec.informativeText.contains(QStringLiteral("10.1.2.3"))) << language;
        EXPECT_TRUE(ClientPrompts::DownloadQuestion(QStringLiteral("f.rkv"), nullptr).text.contains("f.rkv"));
        QCoreApplication::removeTranslator(&translator);
    }
}

}  // namespace
