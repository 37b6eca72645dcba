#pragma once

#include <QFileDevice>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QTemporaryFile;

// Why a write to `file` failed, told plainly for a full disk (the device's own text is often
// "Unknown error" there). Call right after the failing write, flush or sync.
QString WriteFailureText(const QFileDevice& file, const QString& path);

// Writes all of `data`; on a short or failed write sets `error` and returns false.
bool WriteAll(QFileDevice& file, const QByteArray& data, const QString& path, QString* error);

// A temporary file beside `target` that is to replace it: hidden, opened for writing, readable
// as a new file of the user would be, locked while open. Replacements of `target` that a
// process left behind when it ended (locked by nobody) are removed first. Null with `error`
// set when it cannot be made.
std::unique_ptr<QTemporaryFile> OpenReplacement(const QString& target, QString* error);

// Completes a replacement: flushes what is buffered, syncs it to the disk and, only when every
// byte got there, renames it over `target`. The rename replaces whatever entry is there (a link
// included) and never writes through it. On failure the temporary file goes, the target stays
// as it was and `error` says why.
bool CommitReplacement(QTemporaryFile& file, const QString& target, QString* error);

// Installs a set of files together. Each new file is first written in full beside its
// destination; only when all are written are they renamed into place, and when one rename
// fails the files already replaced are put back. A new file gets the permissions of the file
// it replaces, else those of its source, plus the execute bits when it is a program (ELF or
// "#!" script).
class FileSetInstall
{
public:
    FileSetInstall();
    ~FileSetInstall();   // discards what was not committed

    FileSetInstall(const FileSetInstall&) = delete;
    FileSetInstall& operator=(const FileSetInstall&) = delete;

    // Writes the source's copy beside the destination.
    bool Add(const QString& source, const QString& destination);
    // Puts every added file in place, or none.
    bool Commit();
    // The first failure: "<path>: <reason>".
    QString Error() const { return m_error; }

private:
    struct Staged;
    bool Fail(const QString& path, const QString& reason);
    void RollBack(size_t replacedCount);

    std::vector<std::unique_ptr<Staged>> m_files;
    QString m_error;
};

// Copies source over destination without ever leaving the destination missing or truncated.
// With keep true an existing destination is left alone and the call fails. A source that
// already is the destination counts as installed. Failures are written to standard error and,
// when `error` is given, there.
bool ReplaceFile(const QString& source, const QString& destination, bool keep, QString* error = nullptr);
