#include "aboutinfo.h"
#include "custommenu.h"
#include "shellpaths.h"
#include "toptoolbar.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWidgetAction>

namespace {

// A temporary application folder holding the logo files and, when asked,
// the custom settings.
class AppFolder
{
public:
    explicit AppFolder(const char* ttsValue = nullptr)
    {
        QDir(m_dir.path()).mkpath("config");
        QDir(m_dir.path()).mkpath("res");
        QFile::copy(QString(SHELL_RES_DIR) + "/logo.png", m_dir.path() + "/res/logo.png");
        QFile::copy(QString(SHELL_RES_DIR) + "/applogo.png", m_dir.path() + "/res/applogo.png");
        if (ttsValue) {
            QSettings custom(m_dir.path() + "/config/customCofig.ini", QSettings::IniFormat);
            custom.setValue("Config/TTS", ttsValue);
        }
        ShellPaths::SetApplicationFolder(m_dir.path());
    }
    ~AppFolder() { ShellPaths::SetApplicationFolder(QString()); }
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

QLineEdit* Edit(TopToolbar& bar) { return bar.findChild<QLineEdit*>(); }

QPushButton* GoButton(TopToolbar& bar)
{
    return bar.findChildren<QPushButton*>()[0];
}

QPushButton* MenuButton(TopToolbar& bar)
{
    for (QPushButton* b : bar.findChildren<QPushButton*>())
        if (b->isCheckable())
            return b;
    return nullptr;
}

QToolButton* WindowButton(TopToolbar& bar, const QString& stem)
{
    for (QToolButton* b : bar.findChildren<QToolButton*>())
        if (b->styleSheet().contains("/" + stem + "n.png"))
            return b;
    return nullptr;
}

// Records the tool bar's window signals in order.
QStringList* RecordWindowSignals(TopToolbar& bar)
{
    auto* log = new QStringList;
    QObject::connect(&bar, &TopToolbar::FullscreenWindow, &bar,
                     [log](bool on) { *log << (on ? "Fullscreen(true)" : "Fullscreen(false)"); });
    QObject::connect(&bar, &TopToolbar::MaximizeWindow, &bar, [log] { *log << "Maximize"; });
    QObject::connect(&bar, &TopToolbar::RestoreWindow, &bar, [log] { *log << "Restore"; });
    QObject::connect(&bar, &QObject::destroyed, [log] { delete log; });
    return log;
}

class ToolbarTest : public ::testing::Test
{
protected:
    void SetUp() override { qRegisterMetaType<TopToolbar::GoBtnStatus>(); }
    AppFolder m_folder;
};

TEST_F(ToolbarTest, EnteringAnAddress)
{
    TopToolbar bar("", false, nullptr);
    QSignalSpy opened(&bar, &TopToolbar::openUrl);

    // Empty: the go button is off and Enter does nothing.
    EXPECT_FALSE(GoButton(bar)->isEnabled());
    QTest::keyClick(Edit(bar), Qt::Key_Return);
    EXPECT_EQ(opened.size(), 0);

    // Typed text is normalised, shown and emitted with status 0.
    QTest::keyClicks(Edit(bar), "10.0.0.2");
    EXPECT_TRUE(GoButton(bar)->isEnabled());
    QTest::keyClick(Edit(bar), Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0][0].value<TopToolbar::GoBtnStatus>(), TopToolbar::Go);
    EXPECT_EQ(opened[0][1].toUrl(), QUrl("http://10.0.0.2"));
    EXPECT_EQ(Edit(bar)->text(), "http://10.0.0.2");

    // Text already in normal form carries the button's status.
    bar.SetGoBtnStatus(TopToolbar::Stop);
    GoButton(bar)->click();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[1][0].value<TopToolbar::GoBtnStatus>(), TopToolbar::Stop);

    // Rejected text turns red and emits nothing; editing clears the red.
    bar.SetUrlText("256.1.1.1");
    bar.SetGoBtnStatus(TopToolbar::Refresh);
    bar.EnterDevice();
    EXPECT_EQ(opened.size(), 2);
    EXPECT_EQ(Edit(bar)->text(), "256.1.1.1");
    EXPECT_EQ(Edit(bar)->styleSheet(), "QLineEdit{border-width:0;border-style:outset;color:red}");
    QTest::keyClick(Edit(bar), Qt::Key_Backspace);
    EXPECT_EQ(Edit(bar)->styleSheet(), "QLineEdit{border-width:0;border-style:outset}");
    EXPECT_EQ(bar.GoStatus(), TopToolbar::Go);
}

TEST_F(ToolbarTest, GoButtonStates)
{
    TopToolbar bar("10.0.0.1", false, nullptr);
    const struct
    {
        int status;
        const char* tip;
        const char* stem;
    } cases[] = {{0, "Go", "go"}, {1, "Refresh", "refresh"}, {2, "Stop", "stop"}, {7, "Go", "go"}, {-1, "Go", "go"}};
    for (const auto& c : cases) {
        bar.SetGoBtnStatus(c.status);
        EXPECT_EQ(GoButton(bar)->toolTip(), c.tip) << c.status;
        const QString stem = c.stem;
        EXPECT_EQ(GoButton(bar)->styleSheet(),
                  "QPushButton{border-image:url(:/toolbaricon/" + stem + "n.png);}"
                  "QPushButton:hover{border-image:url(:/toolbaricon/" + stem + "h.png);}"
                  "QPushButton:pressed{border-image:url(:/toolbaricon/" + stem + "s.png);}"
                  "QPushButton:disabled{border-image:url(:/toolbaricon/" + stem + "d.png);}")
            << c.status;
    }
    // Any edit returns the button to "go".
    bar.SetGoBtnStatus(TopToolbar::Refresh);
    bar.SetUrlText("10.0.0.3");
    EXPECT_EQ(bar.GoStatus(), TopToolbar::Go);
}

TEST_F(ToolbarTest, HiddenAddressPart)
{
    TopToolbar bar("10.0.0.1", true, nullptr);
    bar.resize(1000, 40);
    bar.show();
    EXPECT_FALSE(Edit(bar)->isVisible());
    EXPECT_FALSE(GoButton(bar)->isVisible());
    EXPECT_FALSE(MenuButton(bar)->isVisible());
    EXPECT_TRUE(WindowButton(bar, "close")->isVisible());
    EXPECT_EQ(bar.findChild<QLabel*>()->styleSheet(), "background-color:rgb(222,222,222)");
}

TEST_F(ToolbarTest, FullScreenAndMaximiseTransitions)
{
    TopToolbar bar("", false, nullptr);
    QStringList* log = RecordWindowSignals(bar);

    bar.SetMaximized(true);
    WindowButton(bar, "fullscreen")->click();
    EXPECT_TRUE(bar.IsFullScreen());
    EXPECT_EQ(WindowButton(bar, "efullscreen")->toolTip(), "ExitFullscreen");
    EXPECT_EQ(*log, QStringList({"Maximize", "Fullscreen(true)"}));

    // A double click in full screen leaves it, restores the remembered
    // maximised state, then toggles the maximised flag that full screen set.
    log->clear();
    QTest::mouseDClick(&bar, Qt::LeftButton, {}, QPoint(300, 20));
    EXPECT_EQ(*log, QStringList({"Fullscreen(false)", "Maximize", "Restore"}));
    EXPECT_FALSE(bar.IsFullScreen());
    EXPECT_FALSE(bar.IsMaximized());
    EXPECT_EQ(WindowButton(bar, "max")->toolTip(), "Maximize");

    // Full screen and back from a restored window ends restored.
    log->clear();
    bar.FullScreenPushed();
    bar.FullScreenPushed();
    EXPECT_EQ(*log, QStringList({"Fullscreen(true)", "Fullscreen(false)", "Restore"}));

    log->clear();
    WindowButton(bar, "max")->click();
    EXPECT_EQ(*log, QStringList({"Maximize"}));
    EXPECT_EQ(WindowButton(bar, "normal")->toolTip(), "Restore");
}

TEST_F(ToolbarTest, DraggingMovesExceptInFullScreen)
{
    TopToolbar bar("", false, nullptr);
    bar.setGeometry(0, 0, 800, 40);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QSignalSpy moves(&bar, &TopToolbar::MoveWindow);

    const auto drag = [&bar](QPoint from, QPoint to) {
        QCursor::setPos(from);
        QMouseEvent press(QEvent::MouseButtonPress, bar.mapFromGlobal(from), from, Qt::LeftButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&bar, &press);
        QCursor::setPos(to);
        QMouseEvent move(QEvent::MouseMove, bar.mapFromGlobal(to), to, Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&bar, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, bar.mapFromGlobal(to), to, Qt::LeftButton, Qt::NoButton, {});
        QCoreApplication::sendEvent(&bar, &release);
    };

    drag(QPoint(300, 20), QPoint(340, 35));
    ASSERT_EQ(moves.size(), 1);
    EXPECT_EQ(moves[0][0].toPoint(), QPoint(40, 15));
    EXPECT_EQ(moves[0][1].toPoint(), QPoint(340, 35));

    bar.FullScreenPushed();
    drag(QPoint(300, 20), QPoint(340, 35));
    EXPECT_EQ(moves.size(), 1);
}

TEST_F(ToolbarTest, MenuOpensClosesAndHidesBeforeShowing)
{
    TopToolbar bar("", false, nullptr);
    bar.setGeometry(0, 0, 1000, 40);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QPushButton* menuButton = MenuButton(bar);

    menuButton->click();
    CustomMenu* menu = bar.Menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->size(), QSize(150, 148));
    EXPECT_EQ(menu->Menu()->geometry(), QRect(0, 8, 150, 140));
    // The menu's top-right corner sits at the menu button's bottom-right.
    const QPoint anchor = menuButton->mapToGlobal(QPoint(menuButton->width() - 1, menuButton->height() - 1));
    EXPECT_EQ(menu->geometry().topRight(), anchor - QPoint(1, 0));
    EXPECT_EQ(menu->RowNames(), QStringList({"history", "Download", "Settings", "about"}));

    menuButton->click();
    EXPECT_FALSE(menu->isVisible());
    EXPECT_FALSE(menuButton->isChecked());

    const struct
    {
        const char* row;
        void (TopToolbar::*signal)();
    } rows[] = {{"history", &TopToolbar::ShowHistory},
                {"Download", &TopToolbar::ShowDownload},
                {"Settings", &TopToolbar::ShowSettings},
                {"about", &TopToolbar::ShowAbout}};
    for (const auto& r : rows) {
        menuButton->click();
        ASSERT_TRUE(menu->isVisible());
        int shown = 0;
        const QMetaObject::Connection c = QObject::connect(&bar, r.signal, &bar, [&] {
            ++shown;
            EXPECT_FALSE(menu->isVisible()) << r.row;
            EXPECT_FALSE(menuButton->isChecked()) << r.row;
        });
        menu->GetAction(r.row)->trigger();
        QObject::disconnect(c);
        EXPECT_EQ(shown, 1) << r.row;
    }
}

TEST(ToolbarMenu, SpeechRowOnlyWhenSettingIsExactlyOne)
{
    const struct
    {
        const char* value;
        int height;
    } cases[] = {{"1", 183}, {"true", 148}, {"0", 148}, {nullptr, 148}};
    for (const auto& c : cases) {
        AppFolder folder(c.value);
        TopToolbar bar("", false, nullptr);
        bar.MenuPushed(true);
        ASSERT_NE(bar.Menu(), nullptr);
        EXPECT_EQ(bar.Menu()->height(), c.height) << (c.value ? c.value : "absent");
        EXPECT_EQ(bar.Menu()->MenuHeight(), c.height);
        EXPECT_EQ(bar.Menu()->RowNames().contains("TTS Settings"), c.height == 183);
    }
}

TEST_F(ToolbarTest, DownloadIndicator)
{
    TopToolbar bar("", false, nullptr);
    bar.SetDownloadIndicator(1);
    ASSERT_NE(bar.Menu(), nullptr);
    EXPECT_TRUE(MenuButton(bar)->styleSheet().startsWith("QPushButton{border-image:url(:/toolbaricon/menunw.png);}"));
    EXPECT_TRUE(MenuButton(bar)->styleSheet().contains("QPushButton:pressed:checked{border-image:url(:/toolbaricon/menusw.png);}"));
    EXPECT_EQ(bar.Menu()->RowImage("Download"), ":/toolbaricon/downloadnw.png");
    EXPECT_EQ(bar.Menu()->RowNames().size(), 4);

    bar.SetDownloadIndicator(2);
    EXPECT_EQ(bar.Menu()->RowImage("Download"), ":/toolbaricon/downloadnw.png");

    bar.SetDownloadIndicator(0);
    EXPECT_EQ(MenuButton(bar)->styleSheet(),
              "QPushButton{border-image:url(:/toolbaricon/menun.png);}"
              "QPushButton:hover{border-image:url(:/toolbaricon/menuh.png);}"
              "QPushButton:pressed{border-image:url(:/toolbaricon/menus.png);}"
              "QPushButton:checked{border-image:url(:/toolbaricon/menus.png);}"
              "QPushButton:hover:checked{border-image:url(:/toolbaricon/menus.png);}"
              "QPushButton:pressed:checked{border-image:url(:/toolbaricon/menus.png);}");
    EXPECT_EQ(bar.Menu()->RowImage("Download"), ":/toolbaricon/downloadn.png");
}

// ---- the menu on its own ----

int g_rowRedraws = 0;
QLoggingCategory::CategoryFilter g_previousFilter = nullptr;

void EnableDefaultDebug(QLoggingCategory* category)
{
    if (g_previousFilter)
        g_previousFilter(category);
    if (qstrcmp(category->categoryName(), "default") == 0)
        category->setEnabled(QtDebugMsg, true);
}

void CountRowRedraws(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (message.startsWith("name "))
        ++g_rowRedraws;
}

TEST(CustomMenuTest, HoverHighlightsOneRow)
{
    CustomMenu menu(QPoint(400, 100), QSize(150, 148), nullptr);
    menu.AddRow("one", ":/toolbaricon/historyn.png", ":/toolbaricon/historyh.png");
    menu.AddRow("two", ":/toolbaricon/aboutn.png", ":/toolbaricon/abouth.png");
    menu.EnableHover(true);
    EXPECT_EQ(menu.geometry().topLeft(), QPoint(250, 100));
    EXPECT_EQ(menu.MenuHeight(), 2 * 35 + 8);

    // Each row drawn writes one "name" line to the debug log.
    g_previousFilter = QLoggingCategory::installFilter(EnableDefaultDebug);
    QtMessageHandler previous = qInstallMessageHandler(CountRowRedraws);
    g_rowRedraws = 0;
    menu.GetAction("two")->hover();
    EXPECT_EQ(menu.CurrentRow(), "two");
    EXPECT_EQ(g_rowRedraws, 2);
    menu.GetAction("two")->hover();
    EXPECT_EQ(g_rowRedraws, 2) << "hovering the same row again redraws nothing";
    menu.ActionsHovered("missing");
    EXPECT_EQ(g_rowRedraws, 2);
    qInstallMessageHandler(previous);
    QLoggingCategory::installFilter(g_previousFilter);

    EXPECT_EQ(menu.RowImage("two"), ":/toolbaricon/abouth.png");
    EXPECT_EQ(menu.RowLabelStyle("two"), "QLabel{color:rgb(0,168,255)}");
    EXPECT_EQ(menu.RowLabelStyle("one"), "QLabel{color:black}");

    // New images on the highlighted row show it normal until another row
    // has been hovered.
    menu.SetRowIcons("two", ":/toolbaricon/downloadn.png", ":/toolbaricon/downloadh.png");
    EXPECT_EQ(menu.RowImage("two"), ":/toolbaricon/downloadn.png");
    EXPECT_EQ(menu.RowLabelStyle("two"), "QLabel{color:black}");
    menu.ActionsHovered("two");
    EXPECT_EQ(menu.RowLabelStyle("two"), "QLabel{color:black}");
    menu.ActionsHovered("one");
    menu.ActionsHovered("two");
    EXPECT_EQ(menu.RowImage("two"), ":/toolbaricon/downloadh.png");

    // An unknown name becomes a new last row.
    menu.SetRowIcons("three", ":/toolbaricon/ttsn.png", ":/toolbaricon/ttsh.png");
    EXPECT_EQ(menu.RowNames(), QStringList({"one", "two", "three"}));
    EXPECT_EQ(menu.Menu()->actions().size(), 3);

    menu.EnableHover(false);
    menu.GetAction("one")->hover();
    EXPECT_EQ(menu.CurrentRow(), "two");
}

TEST(AboutBox, ShowsVersionAndLogo)
{
    AppFolder folder;
    {
        QSettings version(folder.Path() + "/config/version.ini", QSettings::IniFormat);
        version.setValue("App/SetupVersion", "2.4.1");
    }
    aboutInfo about(nullptr);
    EXPECT_EQ(about.size(), QSize(700, 500));
    EXPECT_EQ(about.VersionText(), "TextLabel");
    about.show();
    EXPECT_EQ(about.VersionText(), "V2.4.1");
    EXPECT_FALSE(about.findChild<QLabel*>("label_2")->pixmap(Qt::ReturnByValue).isNull());
    about.findChild<QPushButton*>("closeButton")->click();
    EXPECT_FALSE(about.isVisible());

    aboutInfo empty(nullptr, [] { return QString(); });
    empty.show();
    EXPECT_EQ(empty.VersionText(), "V");
}

TEST(Screenshots, ToolbarWithMenuOpen)
{
    AppFolder folder("1");
    TopToolbar bar("http://10.0.0.2", false, nullptr);
    bar.setGeometry(0, 0, 900, 40);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    bar.SetGoBtnStatus(TopToolbar::Refresh);
    bar.SetDownloadIndicator(1);
    MenuButton(bar)->click();
    CustomMenu* menu = bar.Menu();
    ASSERT_TRUE(menu && menu->isVisible());
    menu->ActionsHovered("Settings");
    QTest::qWait(50);

    // The menu is a window of its own: paint both where they sit on screen.
    const QRect area = bar.geometry().united(menu->geometry()).adjusted(0, 0, 0, 10);
    QImage shot(area.size(), QImage::Format_ARGB32);
    shot.fill(QColor(240, 240, 240));
    QPainter painter(&shot);
    painter.drawPixmap(bar.geometry().topLeft() - area.topLeft(), bar.grab());
    painter.drawPixmap(menu->geometry().topLeft() - area.topLeft(), menu->grab());
    painter.end();
    QDir().mkpath(SCREENSHOT_DIR);
    EXPECT_TRUE(shot.save(QString(SCREENSHOT_DIR) + "/toolbar-menu.png"));
}

} // namespace
