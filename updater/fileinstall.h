#pragma once

#include <QFileDevice>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QSaveFile;
class QTemporaryFile;

// Why a write to `file` failed, told plainly for a full disk (the device's own text is often
// "Unknown error" there). Call right after the failing write, flush or sync.
QString WriteFailureText(const QFileDevice& file, const QString& path);

// Writes all of `data`; on a short or failed write sets `error` and returns false.
bool WriteAll(QFileDevice& file, const QByteArray& data, const QString& path, QString* error);

// Completes a save file: flushes what is buffered, syncs it to the disk and commits only when
// every byte got there. On failure the save is cancelled, the target stays as it was and
// `error` says why.
bool CommitSaveFile(QSaveFile& file, QString* error);

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
