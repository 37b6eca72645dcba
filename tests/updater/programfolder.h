#pragma once

#include <QList>
#include <QProcess>
#include <QStringList>
#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

// A throw-away installation: <root>/app holds copies of Moltern and Salvent (copies, not links:
// each program takes the folder of its resolved executable as its program folder), config/,
// and whatever the test puts there. <root>/home is HOME for the children, with XDG_DATA_HOME
// below it, so nothing a child removes or writes can reach real user data.
class ProgramFolder
{
public:
    ProgramFolder();
    ~ProgramFolder();

    QString Root() const { return m_root.path(); }
    QString App() const;
    QString Home() const;
    QString DataHome() const;   // XDG_DATA_HOME of the children
    QString Path(const QString& relative) const { return App() + QLatin1Char('/') + relative; }

    void WriteFile(const QString& relative, const QByteArray& content) const;
    QByteArray ReadFile(const QString& relative) const;
    bool Exists(const QString& relative) const;

    // Value of a key in an ini file below the program folder; "<absent>" when missing.
    QString IniValue(const QString& relative, const QString& key) const;

    // A copy of a helper program under a name unique to this test.
    QString InstallHelper(const QString& source, const QString& relative) const;
    QString UniqueName(const QString& stem) const;

    // Runs the programs as an ordinary user: as "nobody" when the test runs as root (the
    // folders are opened for reading), else as the test's own user. False, with `why`, when
    // that is not possible here.
    bool RunAsOrdinaryUser(QString* why);

    void SetDataTimeoutMs(int milliseconds) { m_dataTimeoutMs = milliseconds; }
    void SetEnvironment(const QString& name, const QString& value) { m_environment.insert(name, value); }

    struct Run {
        int exitCode = 0;       // as the parent sees it: -1 and -2 arrive as 255 and 254
        bool finished = false;
        QByteArray errorOutput;
    };
    Run RunProgram(const QString& name, const QStringList& arguments) const;

    // Markers left by helper starts: pid per marker file below `folder`.
    QList<pid_t> MarkerPids(const QString& folder, const QString& helperName) const;
    QStringList MarkerLines(const QString& folder, const QString& helperName, pid_t pid) const;
    bool WaitForMarker(const QString& folder, const QString& helperName, pid_t otherThan, int timeoutMs) const;

    static bool IsRunning(pid_t pid);

private:
    void KillLeftovers() const;

    QTemporaryDir m_root;
    int m_dataTimeoutMs = 0;
    QProcessEnvironment m_environment;
    QStringList m_runAs;   // setpriv and its options, when the programs change their user
};
