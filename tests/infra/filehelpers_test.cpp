#include "filehelpers.h"
#include "texthelpers.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace Tolvane;

namespace {

class FileHelpersTest : public testing::Test
{
protected:
    // Absolute path (UTF-8) of name inside the temporary folder.
    std::string path(const std::string& name) const
    {
        return m_dir.path().toStdString() + "/" + name;
    }
    void touch(const std::string& name, const QByteArray& content = QByteArray()) const
    {
        QFile file(QString::fromStdString(path(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray content(const std::string& name) const
    {
        QFile file(QString::fromStdString(path(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static bool existsOnDisk(const std::string& utf8Path)
    {
        struct stat info;
        return ::stat(utf8Path.c_str(), &info) == 0;
    }

    QTemporaryDir m_dir;
};

TEST_F(FileHelpersTest, MakeUniqueFileName)
{
    struct Case
    {
        std::vector<std::string> existing; // a trailing '/' makes a folder
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {{}, "a.mp4", "a.mp4"},
        {{"a.mp4"}, "a.mp4", "a (1).mp4"},
        {{"a.mp4", "a (1).mp4"}, "a.mp4", "a (2).mp4"},
        {{"a.mp4", "a (2).mp4"}, "a.mp4", "a (1).mp4"},
        {{"x"}, "x", "x (1)"},
        {{"job/"}, "job", "job (1)"},
        {{"rec.2023.rkv"}, "rec.2023.rkv", "rec.2023 (1).rkv"},
        {{"100%2.txt"}, "100%2.txt", "100%2 (1).txt"},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = "case" + std::to_string(round++) + "/";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path(folder))));
        for (const std::string& name : c.existing) {
            if (name.back() == '/')
                ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path(folder + name))));
            else
                touch(folder + name);
        }
        EXPECT_EQ(MakeUniqueFileName(path(folder + c.name).c_str()).toStdString(),
                  path(folder + c.expected));
    }
}

TEST_F(FileHelpersTest, OpenQFileModes)
{
    using M = QIODevice;
    struct Case
    {
        const char* mode;
        bool opens;
        QIODevice::OpenMode expected;
        const char* contentAfterWrite; // existing content is "old"; "new" is written
    };
    const Case cases[] = {
        {"rb", true, M::ReadOnly, nullptr},
        {"r", true, M::ReadOnly | M::Text, nullptr},
        {"wb", true, M::WriteOnly | M::Truncate, "new"},
        {"w", true, M::WriteOnly | M::Truncate | M::Text, "new"},
        {"ab", true, M::WriteOnly | M::Append, "oldnew"},
        {"a+", true, M::ReadWrite | M::Append | M::Text, "oldnew"},
        {"r+b", true, M::ReadWrite, "new"},
        {"w+", true, M::ReadWrite | M::Truncate | M::Text, "new"},
        {"rw", false, M::NotOpen, nullptr},
        {"", false, M::NotOpen, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        touch("mode.bin", "old");
        QFile* file = OpenQFile(path("mode.bin").c_str(), c.mode);
        EXPECT_EQ(file != nullptr, c.opens);
        if (!file)
            continue;
        EXPECT_EQ(file->openMode(), c.expected);
        if (c.contentAfterWrite) {
            EXPECT_EQ(WriteQFile(file, "new", 3), 3);
            file->flush();
            EXPECT_EQ(content("mode.bin"), QByteArray(c.contentAfterWrite));
        }
        EXPECT_EQ(CloseQFile(file), nullptr);
    }
    EXPECT_EQ(OpenQFile(path("missing.bin").c_str(), "rb"), nullptr);
    EXPECT_EQ(OpenQFile(nullptr, "rb"), nullptr);
    EXPECT_EQ(OpenQFile(path("mode.bin").c_str(), nullptr), nullptr);
    EXPECT_EQ(CloseQFile(nullptr), nullptr);
}

TEST_F(FileHelpersTest, MakePath)
{
    touch("plain.txt");
    struct Case
    {
        std::string folder;
        bool ok;
        std::string made; // folder that must exist afterwards
    };
    const Case cases[] = {
        {"", false, ""},
        {"   ", false, ""},
        {path("a/b/c"), true, path("a/b/c")},
        {path("a/b"), true, path("a/b")},
        {"  " + path("trimmed") + "  ", true, path("trimmed")},
        {path("plain.txt"), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(MakePath(c.folder.c_str()), c.ok);
        if (!c.made.empty()) {
            EXPECT_TRUE(QDir(QString::fromStdString(c.made)).exists());
        }
    }
    EXPECT_FALSE(MakePath(nullptr));
}

TEST_F(FileHelpersTest, RemoveAndRename)
{
    touch("one.txt");
    touch("two.txt");
    ASSERT_TRUE(MakePath(path("folder").c_str()));

    EXPECT_TRUE(RemoveFile(path("one.txt").c_str()));
    EXPECT_FALSE(RemoveFile(path("one.txt").c_str()));
    EXPECT_FALSE(RemoveFileIfExists(path("folder").c_str()));
    EXPECT_FALSE(RemoveFileIfExists(path("missing").c_str()));
    EXPECT_TRUE(RemoveFileIfExists(path("two.txt").c_str()));
    EXPECT_FALSE(existsOnDisk(path("two.txt")));

    touch("old.txt", "data");
    QFile* file = OpenQFile(path("old.txt").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(RenameQFile(file, path("new.txt").c_str()));
    CloseQFile(file);
    EXPECT_EQ(content("new.txt"), QByteArray("data"));
    EXPECT_FALSE(RenameQFile(nullptr, path("x").c_str()));
}

TEST_F(FileHelpersTest, DeviceReadsWritesAndSizes)
{
    EXPECT_EQ(ReadQFileAt(nullptr, 0, nullptr, 1), -1);
    EXPECT_EQ(WriteQFile(nullptr, "x", 1), -1);
    EXPECT_EQ(GetQFileSize(nullptr), 0);
    EXPECT_EQ(GetQIODeviceSizeOrError(nullptr), -1);

    QByteArray bytes("0123456789");
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::ReadWrite));
    struct Case
    {
        qint64 position;
        qint64 length;
        qint64 result;
        const char* read;
    };
    const Case cases[] = {
        {2, 3, 3, "234"},
        {8, 5, 2, "89"},
        {10, 4, 0, ""},
        {-1, 4, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        char out[16] = {};
        EXPECT_EQ(ReadQFileAt(&buffer, c.position, out, c.length), c.result);
        EXPECT_STREQ(out, c.read);
    }
    EXPECT_EQ(GetQFileSize(&buffer), 10);
    EXPECT_EQ(GetQIODeviceSizeOrError(&buffer), 10);
}

TEST_F(FileHelpersTest, NonAsciiPathRoundTrip)
{
    const std::string folder = path("Aufnahmen äöü/日本");
    const std::string file = folder + "/Kanal ß.rkv";

    ASSERT_TRUE(MakePath(Utf8ToLocal8BitStd(folder.c_str()).c_str()));
    EXPECT_TRUE(existsOnDisk(folder)) << "the folder name on disk is the UTF-8 text";

    QFile* out = OpenQFile(Utf8ToLocal8BitStd(file.c_str()).c_str(), "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(WriteQFile(out, "payload", 7), 7);
    CloseQFile(out);
    EXPECT_TRUE(existsOnDisk(file));

    QFile* in = OpenQFile(file.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    char back[8] = {};
    EXPECT_EQ(ReadQFileAt(in, 0, back, 7), 7);
    EXPECT_STREQ(back, "payload");
    EXPECT_EQ(GetQFileSize(in), 7);
    CloseQFile(in);

    EXPECT_EQ(MakeUniqueFileName(file.c_str()).toLocal8Bit().toStdString(),
              folder + "/Kanal ß (1).rkv");
    EXPECT_TRUE(RemoveFileIfExists(file.c_str()));
    EXPECT_FALSE(existsOnDisk(file));
}

} // namespace
