#include "cachecleaner.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

namespace {

using CacheCleaner::Verdict;

void Touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("x");
}

QStringList Files(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// home/ with a data location home/.local/share, an application folder app/
// and a folder outside both.
class CleanerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_root = QDir(m_dir.path()).canonicalPath();
        for (const char* sub : {"home/.local/share/Brevix", "home/.local/share/Org/Brevix", "home/Brevix",
                                "app/Brevix", "app/data", "elsewhere/Brevix"})
            QDir(m_root).mkpath(sub);
        m_places.applicationFolder = m_root + "/app";
        m_places.userDataLocation = m_root + "/home/.local/share";
        m_places.homeFolder = m_root + "/home";
    }

    QTemporaryDir m_dir;
    QString m_root;
    CacheCleaner::Places m_places;
};

TEST_F(CleanerTest, AcceptsOnlyTheClientsOwnFolder)
{
    ASSERT_TRUE(QFile::link(m_root + "/elsewhere/Brevix", m_root + "/home/.local/share/Link"));
    ASSERT_TRUE(QFile::link(m_root + "/home/.local/share/Brevix", m_root + "/elsewhere/ToOwn"));
    const struct
    {
        QString folder;
        QString name;
        Verdict verdict;
    } cases[] = {
        {m_root + "/home/.local/share/Brevix", "Brevix", Verdict::Clean},
        {m_root + "/home/.local/share/Org/Brevix", "Brevix", Verdict::Clean},
        {m_root + "/app/Brevix", "Brevix", Verdict::Clean},
        {m_root + "/home/.local/share/Org/../Brevix", "Brevix", Verdict::Clean},
        {m_root + "/elsewhere/ToOwn", "Brevix", Verdict::Clean}, // a link to the own folder
        {m_root + "/home/.local/share/Brevix", "Other", Verdict::WrongName},
        {m_root + "/home/.local/share/Brevix", "brevix", Verdict::WrongName},
        {m_root + "/app/data", "Brevix", Verdict::WrongName},
        {m_root + "/elsewhere/Brevix", "Brevix", Verdict::NotOwnLocation},
        {m_root + "/home/Brevix", "Brevix", Verdict::NotOwnLocation},
        {m_root + "/home/.local/share/Link", "Brevix", Verdict::NotOwnLocation},
        {m_root + "/home", "home", Verdict::HomeOrRoot},
        {"/", "Brevix", Verdict::HomeOrRoot},
        {m_root + "/home/.local/share/Gone/Brevix", "Brevix", Verdict::Missing},
        {"Brevix", "Brevix", Verdict::NotAbsolute},
        {"", "Brevix", Verdict::NoSetting},
        {m_root + "/app/Brevix", "", Verdict::NoSetting},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CacheCleaner::CheckDataFolder(c.folder, c.name, m_places, nullptr), c.verdict)
            << c.folder.toStdString() << " as " << c.name.toStdString();
    }

    // An application folder at the root accepts nothing below it.
    CacheCleaner::Places rooted = m_places;
    rooted.applicationFolder = "/";
    rooted.userDataLocation = QString();
    EXPECT_EQ(CacheCleaner::CheckDataFolder(m_root + "/app/Brevix", "Brevix", rooted, nullptr),
              Verdict::NotOwnLocation);
}

TEST(CleanerName, FromTheSettings)
{
    EXPECT_EQ(CacheCleaner::ApplicationName("Brevix", "/opt/x/Other"), "Brevix");
    EXPECT_EQ(CacheCleaner::ApplicationName("Brevix.exe", ""), "Brevix");
    EXPECT_EQ(CacheCleaner::ApplicationName("", "/opt/app/Brevix"), "Brevix");
    EXPECT_EQ(CacheCleaner::ApplicationName("", ""), "");
}

TEST_F(CleanerTest, EmptiesCacheAndLocalStorageOnly)
{
    const QString data = m_root + "/home/.local/share/Brevix";
    const QString profile = data + "/QtWebEngine/Default";
    Touch(profile + "/Cache/index");
    Touch(profile + "/Cache/data/blob_1");
    Touch(profile + "/Code Cache/js/a");
    Touch(profile + "/GPUCache/data_0");
    Touch(profile + "/Local Storage/leveldb/000003.log");
    Touch(profile + "/Cookies");
    Touch(profile + "/Visited Links");
    Touch(data + "/notes.txt");
    Touch(m_root + "/elsewhere/keep/file");
    // Links inside the targets are removed as links, never followed.
    ASSERT_TRUE(QFile::link(m_root + "/elsewhere/keep", profile + "/Cache/link"));
    // A target that is itself a link is left alone.
    Touch(m_root + "/elsewhere/gpu/f");
    QDir(profile).rename("GPUCache", "GPUCache.old");
    ASSERT_TRUE(QFile::link(m_root + "/elsewhere/gpu", profile + "/GPUCache"));

    QString canonical;
    ASSERT_EQ(CacheCleaner::CheckDataFolder(data, "Brevix", m_places, &canonical), Verdict::Clean);
    EXPECT_EQ(CacheCleaner::EmptyTargets(canonical), 5);

    EXPECT_EQ(Files(data), QStringList({"QtWebEngine", "QtWebEngine/Default", "QtWebEngine/Default/Cache",
                                        "QtWebEngine/Default/Code Cache", "QtWebEngine/Default/Cookies",
                                        "QtWebEngine/Default/GPUCache", "QtWebEngine/Default/GPUCache.old",
                                        "QtWebEngine/Default/GPUCache.old/data_0",
                                        "QtWebEngine/Default/Local Storage", "QtWebEngine/Default/Visited Links",
                                        "notes.txt"}));
    EXPECT_EQ(Files(m_root + "/elsewhere"),
              QStringList({"Brevix", "gpu", "gpu/f", "keep", "keep/file"}));
}

// The program itself, copied into an application folder with its settings.
class CindelProgramTest : public CleanerTest
{
protected:
    int Run(const QString& localData, QString* errors = nullptr)
    {
        const QString app = m_root + "/app";
        QDir(app).mkpath("config");
        {
            QSettings settings(app + "/config/setting.ini", QSettings::IniFormat);
            settings.setValue("App/localData", localData);
            settings.setValue("App/startEXE", app + "/Brevix");
            settings.setValue("App/pName", "Brevix");
        }
        QFile::remove(app + "/Cindel");
        EXPECT_TRUE(QFile::copy(CINDEL_PROGRAM, app + "/Cindel"));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_root + "/home");
        env.insert("XDG_DATA_HOME", m_root + "/home/.local/share");
        process.setProcessEnvironment(env);
        process.start(app + "/Cindel", QStringList());
        EXPECT_TRUE(process.waitForFinished(20000));
        if (errors)
            *errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

TEST_F(CindelProgramTest, CleansOwnFolderAndRefusesOthers)
{
    const QString own = m_root + "/home/.local/share/Brevix";
    Touch(own + "/QtWebEngine/Default/Local Storage/leveldb/x.log");
    Touch(m_root + "/elsewhere/Brevix/QtWebEngine/Default/Cache/index");
    QString errors;
    EXPECT_EQ(Run(m_root + "/elsewhere/Brevix", &errors), 1);
    const QStringList before = Files(m_root + "/app");
    EXPECT_TRUE(errors.contains("refused")) << errors.toStdString();
    EXPECT_TRUE(QFile::exists(m_root + "/elsewhere/Brevix/QtWebEngine/Default/Cache/index"));
    EXPECT_EQ(Run(m_root + "/home"), 1);

    EXPECT_EQ(Run(own), 0);
    EXPECT_FALSE(QFile::exists(own + "/QtWebEngine/Default/Local Storage/leveldb"));
    EXPECT_TRUE(QDir(own + "/QtWebEngine/Default/Local Storage").exists());
    // Nothing written beside the program.
    EXPECT_EQ(Files(m_root + "/app"), before);
}

} // namespace
