#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>
#include <vector>

// The file into which the fixture modules write "<module> <step>" lines.
class FixtureJournal
{
public:
    FixtureJournal()
        : m_path(m_dir.filePath(QStringLiteral("journal.txt")))
    {
        ::setenv("BREVIX_FIXTURE_JOURNAL", m_path.toLocal8Bit().constData(), 1);
    }
    ~FixtureJournal() { ::unsetenv("BREVIX_FIXTURE_JOURNAL"); }

    QStringList Lines() const
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    void Clear() { QFile::remove(m_path); }

    // Modules that logged exactly this step, in journal order.
    std::vector<std::string> ModulesWith(const QString& step) const
    {
        std::vector<std::string> modules;
        for (const QString& line : Lines()) {
            const int space = line.indexOf(QLatin1Char(' '));
            if (line.mid(space + 1) == step)
                modules.push_back(line.left(space).toStdString());
        }
        return modules;
    }

    int IndexOf(const QString& line) const { return Lines().indexOf(line); }

    // Index of the first or last line whose step is this one, -1 when none.
    int First(const QString& step) const { return Find(step, false); }
    int Last(const QString& step) const { return Find(step, true); }

private:
    int Find(const QString& step, bool last) const
    {
        const QStringList lines = Lines();
        int found = -1;
        for (int i = 0; i < lines.size(); ++i) {
            if (lines[i].mid(lines[i].indexOf(QLatin1Char(' ')) + 1) == step) {
                found = i;
                if (!last)
                    break;
            }
        }
        return found;
    }

    QTemporaryDir m_dir;
    QString m_path;
};
