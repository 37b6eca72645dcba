#include "recordingplayer.h"

#include <algorithm>
#include <cstdio>

namespace testsupport {

int RecordingPlayer::Record(const std::string& function, const std::string& entry, int fallback)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_journal.push_back(entry);
    auto sequence = m_sequences.find(function);
    if (sequence != m_sequences.end() && !sequence->second.empty()) {
        const int result = sequence->second.front();
        sequence->second.pop_front();
        return result;
    }
    auto found = m_results.find(function);
    return found != m_results.end() ? found->second : fallback;
}

void RecordingPlayer::Append(const std::string& entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_journal.push_back(entry);
}

std::vector<std::string> RecordingPlayer::Journal() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_journal;
}

void RecordingPlayer::ClearJournal()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_journal.clear();
}

std::vector<std::string> RecordingPlayer::CallsOf(const std::string& function) const
{
    std::vector<std::string> calls;
    for (const std::string& entry : Journal()) {
        if (entry.compare(0, function.size() + 1, function + "(") == 0) {
            calls.push_back(entry);
        }
    }
    return calls;
}

int RecordingPlayer::CountOf(const std::string& function) const
{
    return static_cast<int>(CallsOf(function).size());
}

std::vector<std::string> RecordingPlayer::JournalWithout(const std::vector<std::string>& functions) const
{
    std::vector<std::string> kept;
    for (const std::string& entry : Journal()) {
        const std::string name = entry.substr(0, entry.find('('));
        if (std::find(functions.begin(), functions.end(), name) == functions.end()) {
            kept.push_back(entry);
        }
    }
    return kept;
}

void RecordingPlayer::SetResult(const std::string& function, int result)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_results[function] = result;
}

void RecordingPlayer::SetSequence(const std::string& function, const std::vector<int>& results)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sequences[function] = std::deque<int>(results.begin(), results.end());
}

int RecordingPlayer::FreePort() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_freePort;
}

void RecordingPlayer::SetFreePort(int port)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_freePort = port;
}

void RecordingPlayer::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_journal.clear();
    m_results.clear();
    m_sequences.clear();
    m_freePort = m_defaultPort;
}

std::string PointerText(const void* p)
{
    if (p == nullptr) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

}  // namespace testsupport
