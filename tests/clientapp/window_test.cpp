// The main window with the whole tool bar: the menu opens every sub-dialog,
// the history dialog enters a chosen address, a page's download goes through
// the question into the download list; screenshots of the menu and of the
// history dialog over the window.
#include "attachmentserver.h"
#include "customhoverlabel.h"
#include "custommenu.h"
#include "downloadwidget.h"
#include "recordingprompter.h"
#include "speechservice.h"
#include "ttssetting.h"
#include "windowfixture.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTranslator>
#include <QWebEngineProfile>
#include <QWidgetAction>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

void WriteIni(const QString& folder, const char* file, const char* key, const QVariant& value)
{
    QSettings settings(folder + QStringLiteral("/config/") + QString::fromLatin1(file), QSettings::IniFormat);
    settings.setValue(QString::fromLatin1(key), value);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// The screen as the user would see it: the window, then the frame's parts
// over it, then every other open window (menu, dialogs) on top.
bool SaveScreen(MainWindow& window, const QString& name)
{
    QTest::qWait(200);
    QList<QWidget*> order = {&window, window.Container(), window.ContentWidget(), window.Toolbar()};
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!order.contains(widget))
            order << widget;
    }
    QImage shot(QGuiApplication::primaryScreen()->size(), QImage::Format_ARGB32);
    shot.fill(Qt::black);
    QPainter painter(&shot);
    for (QWidget* widget : order) {
        if (widget->isVisible() && widget->isWindow())
            painter.drawPixmap(widget->geometry().topLeft(), widget->grab());
    }
    painter.end();
    QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
    return shot.save(QStringLiteral(SCREENSHOT_DIR "/") + name);
}

// A maximised window (not compatible: the frame's parts are windows of
// their own) with the speech row in the menu and a known set-up version.
class WindowShell : public ::testing::Test
{
protected:
    WindowShell()
        : m_fixture({"Brevix", ""}, false, [](const QString& folder) {
            WriteIni(folder, "customCofig.ini", "Config/TTS", 1);
        })
    {
    }

    MainWindow& Window() { return m_fixture.Window(); }
    CustomMenu* OpenMenu()
    {
        Window().Toolbar()->MenuPushed(true);
        return Window().Toolbar()->Menu();
    }

    WindowFixture m_fixture;
};

TEST_F(WindowShell, EveryMenuRowOpensItsDialog)
{
    struct Row
    {
        const char* name;
        std::function<QWidget*(MainWindow&)> dialog;
    };
    const std::vector<Row> rows = {
        {"history", [](MainWindow& w) -> QWidget* { return w.HistoryDialog(); }},
        {"Download", [](MainWindow& w) -> QWidget* { return w.Downloads(); }},
        {"TTS Settings", [](MainWindow& w) -> QWidget* { return w.Speech()->existingDialog(); }},
        {"Settings", [](MainWindow& w) -> QWidget* { return w.SettingsDialog(); }},
        {"about", [](MainWindow& w) -> QWidget* { return w.AboutDialog(); }},
    };
    QStringList names;
    for (const Row& row : rows)
        names << QString::fromLatin1(row.name);
    EXPECT_EQ(OpenMenu()->RowNames(), names);

    for (const Row& row : rows) {
        CustomMenu* menu = OpenMenu();
        ASSERT_TRUE(menu->isVisible()) << row.name;
        menu->GetAction(QString::fromLatin1(row.name))->trigger();
        EXPECT_FALSE(menu->isVisible()) << row.name;
        QWidget* dialog = row.dialog(Window());
        ASSERT_NE(dialog, nullptr) << row.name;
        EXPECT_TRUE(dialog->isVisible()) << row.name;
        EXPECT_TRUE(dialog->isModal()) << row.name;
        EXPECT_EQ(dialog->parentWidget(), &Window()) << row.name;
        // Centred over the main window, less the frame Qt assumes for a
        // window not yet framed (at most 10 px across, 40 px down).
        const QPoint offset = dialog->geometry().center() - Window().geometry().center();
        EXPECT_LE(std::abs(offset.x()), 10) << row.name;
        EXPECT_LE(std::abs(offset.y()), 40) << row.name;
        dialog->close();
    }
    EXPECT_TRUE(Window().AboutDialog()->VersionText().startsWith(QLatin1Char('V')));
}

TEST_F(WindowShell, MenuOpenOverTheWindow)
{
    CustomMenu* menu = OpenMenu();
    ASSERT_TRUE(menu->isVisible());
    // The menu hangs under the tool bar, inside the window.
    const QRect bar(Window().Toolbar()->mapToGlobal(QPoint(0, 0)), Window().Toolbar()->size());
    EXPECT_GE(menu->geometry().top(), bar.top() + 20);
    EXPECT_TRUE(Window().geometry().contains(menu->geometry())) << menu->geometry().x() << "," << menu->geometry().y();
    EXPECT_TRUE(SaveScreen(Window(), QStringLiteral("window-toolbar-menu.png")));

    // Activating the view closes the menu.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(Window().Browser(), &activate);
    EXPECT_FALSE(menu->isVisible());
}

// The arrow strip across the menu's top is painted, in English and in Chinese: opaque and
// not black (a translucent window shows black there without a compositing manager), with
// the arrow whole in its 15 x 8 label.
TEST(WindowMenu, TopStripIsPaintedInBothLanguages)
{
    for (const char* language : {"en-us", "zh-cn"}) {
        SCOPED_TRACE(language);
        QTranslator translator;
        ASSERT_TRUE(translator.load(QStringLiteral(BREVIX_APP_DIR "/language/") + QString::fromLatin1(language)
                                    + QStringLiteral(".qm")));
        QCoreApplication::installTranslator(&translator);
        WindowFixture fixture({"Brevix", ""}, false, [](const QString& folder) {
            WriteIni(folder, "customCofig.ini", "Config/TTS", 1);
        });
        fixture.Window().Toolbar()->MenuPushed(true);
        CustomMenu* menu = fixture.Window().Toolbar()->Menu();
        ASSERT_TRUE(menu->isVisible());
        EXPECT_TRUE(SaveScreen(fixture.Window(), QStringLiteral("window-menu-") + QString::fromLatin1(language)
                                                     + QStringLiteral(".png")));
        const QImage shown = menu->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        int dark = 0;
        for (int y = 0; y < CustomMenu::kArrowHeight; ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb pixel = shown.pixel(x, y);
                dark += qAlpha(pixel) < 255 || qRed(pixel) + qGreen(pixel) + qBlue(pixel) < 3 * 64;
            }
        }
        EXPECT_EQ(dark, 0) << "dark or see-through pixels in the arrow strip";
        EXPECT_EQ(QPixmap(QStringLiteral(":/toolbaricon/ext.png")).size(), QSize(15, 8));
        QCoreApplication::removeTranslator(&translator);
    }
}

// The web view makes its input child only once a page is shown; activating
// that child still closes the menu.
TEST_F(WindowShell, TheViewsLaterInputChildIsWatchedToo)
{
    QSignalSpy loaded(Window().Browser(), &CBrowser::loadFinished);
    m_fixture.LoadBlank();
    ASSERT_TRUE(loaded.wait(20000));
    QWidget* input = Window().Browser()->focusProxy();
    ASSERT_NE(input, nullptr);
    ASSERT_NE(input, Window().Browser());

    CustomMenu* menu = OpenMenu();
    ASSERT_TRUE(menu->isVisible());
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(input, &activate);
    EXPECT_FALSE(menu->isVisible());
}

TEST_F(WindowShell, HistoryDialogEntersTheChosenAddress)
{
    const QString history = AppFolder::SettingsFile(QStringLiteral("history"));
    const QDateTime now = QDateTime::currentDateTime();
    AddHistoryEntry(history, {QUrl(QStringLiteral("http://127.0.0.1:9/yesterday")), now.addDays(-1)});
    AddHistoryEntry(history, {QUrl(QStringLiteral("http://127.0.0.1:9/")), now});

    Window().ShowHistory();
    QDialog* dialog = Window().HistoryDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->parentWidget(), &Window());
    const QList<CustomHoverLabel*> links = dialog->findChildren<CustomHoverLabel*>();
    ASSERT_EQ(links.size(), 2);
    EXPECT_TRUE(SaveScreen(Window(), QStringLiteral("window-history.png")));

    // Choosing an address enters it and closes the dialog from inside its own
    // signal; the dialog goes once control is back in the event loop.
    QPointer<QDialog> watched(dialog);
    emit links.first()->linkActivated(QStringLiteral("http://127.0.0.1:9/"));
    EXPECT_EQ(Window().HistoryDialog(), nullptr);
    EXPECT_EQ(Window().Toolbar()->findChild<QLineEdit*>()->text(), QStringLiteral("http://127.0.0.1:9"));
    EXPECT_EQ(Window().Toolbar()->GoStatus(), TopToolbar::Stop);
    QTRY_VERIFY(watched.isNull());

    // Its own close button closes it as well.
    Window().ShowHistory();
    watched = Window().HistoryDialog();
    ASSERT_FALSE(watched.isNull());
    QTest::mouseClick(watched->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    EXPECT_EQ(Window().HistoryDialog(), nullptr);
    QTRY_VERIFY(watched.isNull());
}

TEST_F(WindowShell, ASavedDownloadLandsBesideAnExistingFile)
{
    QTemporaryDir target;
    QFile existing(target.filePath(QStringLiteral("report.txt")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep me");
    existing.close();
    Window().Browser()->page()->profile()->setDownloadPath(target.path());
    const QByteArray body = "saved through the window\n";
    AttachmentServer server(body);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));

    RecordingPrompter prompter(QMessageBox::Save);
    Window().LoadURL(0, server.Address());
    QTRY_VERIFY_WITH_TIMEOUT(Window().Downloads() != nullptr && Window().Downloads()->rowCount() == 1
                                 && Window().Downloads()->row(0)->downloadedSuccessfully(),
                             30000);
    ASSERT_EQ(prompter.Asked().size(), 1);
    EXPECT_EQ(prompter.Asked().first().width, 370);
    const QString saved = target.filePath(QStringLiteral("report (1).txt"));
    EXPECT_EQ(ReadFile(saved), body);
    EXPECT_EQ(ReadFile(target.filePath(QStringLiteral("report.txt"))), QByteArray("keep me"));
    // A list made for a download has no parent; the menu marks the download.
    EXPECT_EQ(Window().Downloads()->parentWidget(), nullptr);
    EXPECT_TRUE(Window().Toolbar()->Menu()->RowImage(QStringLiteral("Download")).contains(QStringLiteral("downloadnw")));

    // Cancelled: nothing is written and no row is added.
    prompter.SetAnswer(QMessageBox::Cancel);
    Window().LoadURL(0, server.Address());
    QTRY_COMPARE_WITH_TIMEOUT(prompter.Asked().size(), 2, 30000);
    QTest::qWait(300);
    EXPECT_EQ(Window().Downloads()->rowCount(), 1);
    EXPECT_FALSE(QFile::exists(target.filePath(QStringLiteral("report (2).txt"))));

    // Opening the list clears the mark.
    Window().ShowDownload();
    EXPECT_TRUE(Window().Downloads()->isVisible());
    EXPECT_FALSE(Window().Toolbar()->Menu()->RowImage(QStringLiteral("Download")).contains(QStringLiteral("downloadnw")));
    Window().Downloads()->close();
}

}  // namespace

// Buttons side by side in the tool bar show different images.
TEST(ToolbarImages, NeighbouringWindowButtonsDiffer)
{
    const std::pair<const char*, const char*> pairs[] = {
        {"max", "fullscreen"}, {"normal", "efullscreen"}, {"max", "normal"}, {"fullscreen", "efullscreen"}};
    for (const auto& pair : pairs) {
        for (const char* state : {"n", "h", "s"}) {
            const QImage first(QStringLiteral(":/toolbaricon/%1%2.png").arg(pair.first, state));
            const QImage second(QStringLiteral(":/toolbaricon/%1%2.png").arg(pair.second, state));
            ASSERT_FALSE(first.isNull()) << pair.first << state;
            ASSERT_FALSE(second.isNull()) << pair.second << state;
            // Pixels drawn in one image and not in the other, and the reverse.
            int onlyFirst = 0;
            int onlySecond = 0;
            for (int y = 0; y < first.height(); ++y) {
                for (int x = 0; x < first.width(); ++x) {
                    const bool a = qAlpha(first.pixel(x, y)) > 128;
                    const bool b = qAlpha(second.pixel(x, y)) > 128;
                    onlyFirst += a && !b;
                    onlySecond += b && !a;
                }
            }
            EXPECT_GE(onlyFirst + onlySecond, 12) << pair.first << " / " << pair.second << " " << state;
        }
    }
}
