#pragma once
// Bookkeeping for recording stand-ins of plain library functions: a thread-safe journal of
// calls ("PLAY_OpenStream(7,null,0,15360000)") with scripted answers, and the port a
// free-port call fills in. Each stand-in formats its own arguments.

#include <deque>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

class RecordingPlayer {
public:
    explicit RecordingPlayer(int defaultPort) : m_defaultPort(defaultPort), m_freePort(defaultPort) {}

    // Journals the entry and answers the function's next scripted sequence value, else its
    // fixed result, else the fallback.
    int Record(const std::string& function, const std::string& entry, int fallback);
    // Journals the entry without answering.
    void Append(const std::string& entry);

    std::vector<std::string> Journal() const;
    void ClearJournal();
    // The journal entries of one function.
    std::vector<std::string> CallsOf(const std::string& function) const;
    int CountOf(const std::string& function) const;
    // The journal without the entries of the given functions.
    std::vector<std::string> JournalWithout(const std::vector<std::string>& functions) const;

    // The answer of every later call of the function.
    void SetResult(const std::string& function, int result);
    // Answers for the next calls, before the fixed result applies again.
    void SetSequence(const std::string& function, const std::vector<int>& results);

    int FreePort() const;
    void SetFreePort(int port);

    // Empties the journal and the scripts; the free port becomes the default again.
    void Reset();

private:
    const int m_defaultPort;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_journal;
    std::map<std::string, int> m_results;
    std::map<std::string, std::deque<int>> m_sequences;
    int m_freePort;
};

// "null" or the pointer in hex.
std::string PointerText(const void* p);

// "name(a,b,c)", each argument written by write(out, argument).
template <class Write, class... A>
std::string CallText(const char* name, Write write, A... args)
{
    std::ostringstream out;
    out << name << '(';
    bool first = true;
    ((out << (first ? "" : ","), write(out, args), first = false), ...);
    out << ')';
    return out.str();
}

}  // namespace testsupport
