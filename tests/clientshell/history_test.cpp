#include "customhoverlabel.h"
#include "historydialogholder.h"
#include "historyfile.h"
#include "historyinfo.h"
#include "shellpaths.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QDateTime At(int daysAgo, const char* time)
{
    return QDateTime(QDate::currentDate().addDays(-daysAgo), QTime::fromString(time, "hh:mm:ss"));
}

HistoryParam Entry(const char* url, int daysAgo, const char* time)
{
    return HistoryParam{QUrl(url), At(daysAgo, time)};
}

QStringList Urls(const QList<HistoryParam>& list)
{
    QStringList urls;
    for (const HistoryParam& e : list)
        urls << e.url.toString();
    return urls;
}

QString ReadText(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

class HistoryFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath("config");
        ShellPaths::SetApplicationFolder(m_dir.path());
        m_path = ShellPaths::HistoryFile();
    }
    void TearDown() override { ShellPaths::SetApplicationFolder(QString()); }

    void Add(const char* url, int daysAgo, const char* time) { AddHistoryEntry(m_path, Entry(url, daysAgo, time)); }

    QTemporaryDir m_dir;
    QString m_path;
};

TEST_F(HistoryFileTest, WritesOneSectionOldestFirst)
{
    const QDate day(2024, 3, 9);
    AddHistoryEntry(m_path, HistoryParam{QUrl("http://10.0.0.2"), QDateTime(day, QTime(8, 5, 7))});
    AddHistoryEntry(m_path, HistoryParam{QUrl("http://[fe80::1]:8080/x"), QDateTime(day, QTime(21, 0, 0))});
    EXPECT_EQ(ReadText(m_path).toStdString(),
              "[History]\n"
              "1\\IP=http://10.0.0.2\n"
              "1\\Time=2024-03-09 08:05:07\n"
              "2\\IP=http://[fe80::1]:8080/x\n"
              "2\\Time=2024-03-09 21:00:00\n"
              "size=2\n");
    const QList<HistoryParam> read = ReadHistory(m_path, -1);
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read[0].url, QUrl("http://[fe80::1]:8080/x"));
    EXPECT_EQ(read[0].time, QDateTime(day, QTime(21, 0, 0)));
    EXPECT_EQ(read[1].url, QUrl("http://10.0.0.2"));
}

TEST_F(HistoryFileTest, SameDayVisitMovesEntryToTheEnd)
{
    Add("http://a.example.com", 0, "08:00:00");
    Add("http://b.example.com", 0, "09:00:00");
    Add("http://c.example.com", 0, "10:00:00");
    Add("http://a.example.com", 0, "11:00:00");

    const QList<HistoryParam> read = ReadHistory(m_path, -1);
    EXPECT_EQ(Urls(read), QStringList({"http://a.example.com", "http://c.example.com", "http://b.example.com"}));
    EXPECT_EQ(read[0].time, At(0, "11:00:00"));
    EXPECT_EQ(read[1].time, At(0, "10:00:00"));
    EXPECT_EQ(QSettings(m_path, QSettings::IniFormat).value("History/size").toInt(), 3);
}

TEST_F(HistoryFileTest, ThreeVisitsOnOneDayLeaveOneEntryWithTheLastTime)
{
    Add("http://10.0.0.2", 0, "08:00:00");
    Add("http://10.0.0.2", 0, "09:00:00");
    Add("http://10.0.0.2", 0, "10:30:00");
    const QList<HistoryParam> read = ReadHistory(m_path, -1);
    ASSERT_EQ(read.size(), 1);
    EXPECT_EQ(read[0].time, At(0, "10:30:00"));
}

TEST_F(HistoryFileTest, VisitOnALaterDayAddsAnEntry)
{
    Add("http://10.0.0.2", 1, "22:00:00");
    Add("http://10.0.0.3", 1, "23:00:00");
    Add("http://10.0.0.2", 0, "07:00:00");
    EXPECT_EQ(Urls(ReadHistory(m_path, -1)),
              QStringList({"http://10.0.0.2", "http://10.0.0.3", "http://10.0.0.2"}));
}

TEST_F(HistoryFileTest, UnreadableTimeStopsTheSearch)
{
    Add("http://10.0.0.2", 0, "08:00:00");
    {
        QSettings settings(m_path, QSettings::IniFormat);
        settings.beginWriteArray("History");
        settings.setArrayIndex(1);
        settings.setValue("IP", "http://10.0.0.9");
        settings.setValue("Time", "not a time");
        settings.endArray();
    }
    Add("http://10.0.0.2", 0, "09:00:00");
    const QList<HistoryParam> read = ReadHistory(m_path, -1);
    EXPECT_EQ(Urls(read), QStringList({"http://10.0.0.2", "http://10.0.0.9", "http://10.0.0.2"}));
    EXPECT_FALSE(read[1].time.isValid());
}

TEST_F(HistoryFileTest, SizeBeyondTheEntriesIsCutToThem)
{
    const struct
    {
        const char* size;
        QStringList read;  // newest first, before the next visit
    } cases[] = {
        {"2147483647", {"http://10.0.0.3", "http://10.0.0.2", "http://10.0.0.1"}},
        {"4", {"http://10.0.0.3", "http://10.0.0.2", "http://10.0.0.1"}},
        {"2", {"http://10.0.0.2", "http://10.0.0.1"}},
        {"-5", {}},
        {"many", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray("[History]\n"
                              "1\\IP=http://10.0.0.1\n1\\Time=2024-03-09 08:00:00\n"
                              "2\\IP=http://10.0.0.2\n2\\Time=2024-03-09 09:00:00\n"
                              "3\\IP=http://10.0.0.3\n3\\Time=2024-03-09 10:00:00\n"
                              "size=") + c.size + "\n");
        file.close();
        EXPECT_EQ(Urls(ReadHistory(m_path, -1)), c.read);

        // The next visit goes right after the entries read, and keeps them.
        Add("http://10.0.0.9", 0, "08:00:00");
        EXPECT_EQ(Urls(ReadHistory(m_path, -1)), QStringList("http://10.0.0.9") + c.read);
        EXPECT_EQ(QSettings(m_path, QSettings::IniFormat).value("History/size").toInt(),
                  c.read.size() + 1);
    }
}

TEST_F(HistoryFileTest, ReadsAtMostTheNewestEntriesAsked)
{
    EXPECT_TRUE(ReadHistory(m_path, 1).isEmpty());
    EXPECT_FALSE(QFile::exists(m_path));
    Add("http://10.0.0.1", 0, "08:00:00");
    Add("http://10.0.0.2", 0, "09:00:00");
    EXPECT_EQ(Urls(ReadHistory(m_path, 1)), QStringList({"http://10.0.0.2"}));
    EXPECT_TRUE(ReadHistory(m_path, 0).isEmpty());
}

TEST_F(HistoryFileTest, ClearingRemovesTheSectionAndKeepsOtherGroups)
{
    {
        QSettings settings(m_path, QSettings::IniFormat);
        settings.setValue("Other/key", 1);
    }
    Add("http://10.0.0.1", 0, "08:00:00");
    ClearHistoryFile(m_path);
    const QString text = ReadText(m_path);
    EXPECT_FALSE(text.contains("[History]")) << text.toStdString();
    EXPECT_TRUE(text.contains("[Other]"));
    EXPECT_TRUE(ReadHistory(m_path, -1).isEmpty());
}

TEST(HistoryGrouping, GroupsByDayKeepingListOrder)
{
    const QList<HistoryParam> list = {Entry("http://c", 0, "10:00:00"), Entry("http://b", 0, "09:00:00"),
                                      Entry("http://a", 2, "23:00:00")};
    HistoryDayMap map;
    EXPECT_TRUE(GroupHistoryByDay(list, map));
    ASSERT_EQ(map.size(), 2);
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
    EXPECT_EQ(Urls(map[today]), QStringList({"http://c", "http://b"}));
    EXPECT_EQ(map.firstKey(), QDate::currentDate().addDays(-2).toString("yyyy-MM-dd"));

    HistoryDayMap empty;
    EXPECT_FALSE(GroupHistoryByDay({}, empty));
}

TEST_F(HistoryFileTest, CacheCleanerSettings)
{
    SaveCacheCleanerSettings(m_dir.path(), "Brevix", "/home/u/.local/share/Brevix");
    const QSettings settings(m_dir.path() + "/config/setting.ini", QSettings::IniFormat);
    EXPECT_EQ(settings.value("App/localData").toString(), "/home/u/.local/share/Brevix");
    EXPECT_EQ(settings.value("App/startEXE").toString(), m_dir.path() + "/Brevix");
    EXPECT_EQ(settings.value("App/pName").toString(), "Brevix");
}

// ---- the dialog ----

QStringList LabelTexts(QWidget* root)
{
    QStringList texts;
    for (QLabel* label : root->findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << label->text();
    return texts;
}

class HistoryDialogTest : public HistoryFileTest
{
protected:
    HistoryDayMap Days(const QList<HistoryParam>& list)
    {
        HistoryDayMap map;
        GroupHistoryByDay(list, map);
        return map;
    }
};

TEST_F(HistoryDialogTest, ListsDaysNewestFirstWithTheirWords)
{
    const QString old = QDate::currentDate().addDays(-5).toString("yyyy-MM-dd");
    const QString yesterday = QDate::currentDate().addDays(-1).toString("yyyy-MM-dd");
    historyinfo dialog(Days({Entry("http://10.0.0.2", 0, "09:15:00"), Entry("http://10.0.0.2", 1, "18:00:00"),
                             Entry("http://10.0.0.3", 5, "07:00:00")}),
                       10, nullptr);
    QWidget* list = dialog.ListArea();
    ASSERT_NE(list, nullptr);
    // Three headers and three rows of 26 pixels from y = 10.
    EXPECT_EQ(list->geometry(), QRect(0, 0, 611, 10 + 6 * 26));

    QStringList headers;
    for (QWidget* child : list->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->width() == 200)
            headers << child->findChildren<QLabel*>().last()->text();
    const QString style = "<style> a {color:#272e36;font-weight:bold;font-size:12px;} </style><a>";
    EXPECT_EQ(headers, QStringList({style + "today " + QDate::currentDate().toString("yyyy-MM-dd") + "</a>",
                                    style + "yesterday " + yesterday + "</a>", style + " " + old + "</a>"}));
    EXPECT_TRUE(LabelTexts(list).contains("<style> a {color:#272e36;font-size:12px;} </style><a>09:15:00</a>"));
    EXPECT_EQ(list->findChildren<CustomHoverLabel*>().size(), 3);
}

TEST_F(HistoryDialogTest, EmptyHistoryAndFixedLayout)
{
    historyinfo dialog({}, 10, nullptr);
    EXPECT_EQ(dialog.objectName(), "historyinfo");
    EXPECT_EQ(dialog.size(), QSize(700, 500));
    EXPECT_EQ(dialog.ListArea()->geometry(), QRect(0, 0, 611, 10));
    const struct
    {
        const char* name;
        QRect geometry;
    } widgets[] = {{"label", {20, 15, 150, 26}},           {"frame", {2, 45, 696, 20}},
                   {"closeButton", {660, 20, 16, 16}},     {"clearHistoryButton", {35, 80, 100, 26}},
                   {"CindelButton", {155, 80, 110, 26}},   {"scrollArea", {35, 120, 631, 361}}};
    for (const auto& w : widgets) {
        QWidget* child = dialog.findChild<QWidget*>(w.name);
        ASSERT_NE(child, nullptr) << w.name;
        EXPECT_EQ(child->geometry(), w.geometry) << w.name;
    }
}

TEST_F(HistoryDialogTest, AddressLinkIsEscapedAndYieldsTheUrl)
{
    const QString url = "http://10.0.0.2/?a=1&b=<i>x</i>\"q";
    CustomHoverLabel label(url, nullptr);
    EXPECT_EQ(label.NormalText().toStdString(),
              "<style> a {text-decoration:none;color:#272e36;font-size:12px;} </style><a href=\""
              "http://10.0.0.2/?a=1&amp;b=&lt;i&gt;x&lt;/i&gt;&quot;q\">"
              "http://10.0.0.2/?a=1&amp;b=&lt;i&gt;x&lt;/i&gt;&quot;q</a>");
    EXPECT_TRUE(label.HoverText().startsWith(
        "<style> a {text-decoration:none;color:#00a8ff;font-size:12px;} </style><a href=\""));

    QSignalSpy links(&label, &QLabel::linkActivated);
    label.adjustSize();
    label.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, label.height() / 2));
    ASSERT_EQ(links.size(), 1);
    EXPECT_EQ(links[0][0].toString(), url);

    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(&label, &enter);
    EXPECT_EQ(label.text(), label.HoverText());
    EXPECT_EQ(label.styleSheet(), "color:#00a8ff");
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&label, &leave);
    EXPECT_EQ(label.text(), label.NormalText());
}

TEST_F(HistoryDialogTest, ClearEmptiesListAndFile)
{
    Add("http://10.0.0.2", 0, "08:00:00");
    historyinfo dialog(Days(ReadHistory(m_path, -1)), 10, nullptr);
    dialog.findChild<QPushButton*>("clearHistoryButton")->click();
    EXPECT_EQ(dialog.ListArea(), nullptr);
    EXPECT_FALSE(ReadText(m_path).contains("[History]"));
}

TEST_F(HistoryDialogTest, CacheCleanerStartsOnlyAfterYes)
{
    const QString marker = m_dir.path() + "/started";
    QFile stub(m_dir.path() + "/Cindel");
    ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
    stub.write(QString("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8());
    stub.close();
    stub.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    historyinfo dialog({}, 10, nullptr);
    int asked = 0;
    dialog.SetCachePrompt([&](QWidget* parent) {
        ++asked;
        EXPECT_EQ(parent, &dialog);
        return false;
    });
    dialog.findChild<QPushButton*>("CindelButton")->click();
    EXPECT_EQ(asked, 1);
    QTest::qWait(300);
    EXPECT_FALSE(QFile::exists(marker));

    dialog.SetCachePrompt([](QWidget*) { return true; });
    dialog.findChild<QPushButton*>("CindelButton")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(marker); }, 5000));
}

TEST_F(HistoryDialogTest, ClosingOrChoosingFromInsideTheDialogIsSafe)
{
    Add("http://10.0.0.2", 0, "08:00:00");
    HistoryDialogHolder holder;

    // Choosing an entry closes the dialog from inside the label's click, as
    // entering an address does.
    QList<QUrl> chosen;
    QObject::connect(&holder, &HistoryDialogHolder::SelectUrl, &holder, [&](QUrl url) {
        chosen << url;
        holder.Close();
    });
    QPointer<historyinfo> first = holder.Open(ReadHistory(m_path, -1), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first.data()));
    CustomHoverLabel* link = first->findChild<CustomHoverLabel*>();
    ASSERT_NE(link, nullptr);
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, link->height() / 2));
    EXPECT_EQ(chosen, QList<QUrl>({QUrl("http://10.0.0.2")}));
    EXPECT_EQ(holder.Dialog(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 2000));

    // The close button runs close handling that releases the dialog.
    QPointer<historyinfo> second = holder.Open(ReadHistory(m_path, -1), nullptr);
    QPushButton* close = second->findChild<QPushButton*>("closeButton");
    close->click();
    EXPECT_EQ(holder.Dialog(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.isNull(); }, 2000));

    // Opening again replaces an open dialog.
    QPointer<historyinfo> third = holder.Open({}, nullptr);
    QPointer<historyinfo> fourth = holder.Open({}, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return third.isNull(); }, 2000));
    EXPECT_EQ(holder.Dialog(), fourth.data());
}

TEST_F(HistoryDialogTest, Screenshot)
{
    Add("http://10.0.0.2", 1, "18:04:11");
    Add("http://[fe80::1]:8080/x", 1, "19:30:00");
    Add("http://camera-1.example.com", 0, "08:12:45");
    Add("http://10.0.0.2", 0, "09:40:02");
    historyinfo dialog(Days(ReadHistory(m_path, -1)), 10, nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QDir().mkpath(SCREENSHOT_DIR);
    EXPECT_TRUE(dialog.grab().save(QString(SCREENSHOT_DIR) + "/history-dialog.png"));
}

} // namespace
