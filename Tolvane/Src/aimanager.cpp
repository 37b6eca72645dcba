#include "aimanager.h"

#include <QDebug>

#include <osdmanager.h>

namespace Tolvane {

AIManager::AIManager() = default;
AIManager::~AIManager() = default;

void AIManager::SetEntry(const QString& type, const AIConfigEntry& entry)
{
    m_entries[type] = entry;
    updateEnable(type);
}

void AIManager::updateEnable(const QString& type)
{
    m_flags = AIFlags();
    if (!type.isEmpty()) {
        for (const auto& item : m_entries) {
            const bool* s = item.second.switches;
            if (item.first == QLatin1String("pos")) {
                if (s[0]) {
                    m_flags.position = true;
                    continue;
                }
            } else if (s[0]) {
                m_flags.trace = true;
            }
            m_flags.board = m_flags.board || s[1];
            m_flags.rules = m_flags.rules || s[2];
            m_flags.mask = m_flags.mask || s[4];
            m_flags.crowdMask = m_flags.crowdMask || s[5];
        }
    }
    if (m_flags.Any()) {
        if (!m_overlay) {
            m_overlay = std::make_unique<OSDManager>();
            qDebug().noquote() << "CIVSFrameAnalyCtrl::AIManager::updateEnable: new OSDManager()";
        }
    } else {
        m_overlay.reset();
        qDebug().noquote() << "CIVSFrameAnalyCtrl::AIManager::updateEnable: delete osdManager";
    }
}

}  // namespace Tolvane
