#pragma once
// The intelligent-video record of one video window: its configuration entries (one per
// "setAIConfig" type), the overlay parts they ask for, the window's channel and the
// window's overlay, which exists exactly while at least one part is wanted.

#include <map>
#include <memory>

#include <QString>

#include <json/value.h>

class OSDManager;

namespace Tolvane {

struct AIConfigEntry {
    Json::Value config;
    // (trace, board, rules, unused, mask, crowd mask) as "setAIConfig" makes them.
    bool switches[6] = {false, false, true, false, true, true};
};

// The overlay parts a window wants.
struct AIFlags {
    bool trace = false;
    bool board = false;
    bool rules = false;
    bool position = false;
    bool mask = false;
    bool crowdMask = false;

    bool Any() const { return trace || board || rules || position || mask || crowdMask; }
    // Any part that is drawn from the stream data (every part but the board).
    bool AnyButBoard() const { return trace || rules || position || mask || crowdMask; }
};

class AIManager {
public:
    AIManager();
    ~AIManager();
    AIManager(const AIManager&) = delete;
    AIManager& operator=(const AIManager&) = delete;

    // Stores the entry under `type`, replacing an earlier one, then updateEnable(type).
    void SetEntry(const QString& type, const AIConfigEntry& entry);
    // Recomputes the flags from the entries (none for an empty type) and makes or deletes
    // the overlay accordingly.
    void updateEnable(const QString& type);
    void ClearEntries() { m_entries.clear(); }

    const std::map<QString, AIConfigEntry>& Entries() const { return m_entries; }
    const AIFlags& Flags() const { return m_flags; }
    OSDManager* Overlay() const { return m_overlay.get(); }

    int channel = -1;
    int slaveChannel = -1;

private:
    std::map<QString, AIConfigEntry> m_entries;
    std::unique_ptr<OSDManager> m_overlay;
    AIFlags m_flags;
};

}  // namespace Tolvane
