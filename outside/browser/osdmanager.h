#pragma once
// The intelligent-video overlay of one video window. It keeps the rules, events and masks it
// is given, draws visible outlines and labels over the window's picture, and records every
// call it receives (for inspection). All operations are safe from any thread; `draw` is
// meant for the window's paint event.
//
// What it reports through the get* operations is consumed: each item is handed out once.
// Events come from `ivsCallBack` ("Objects" of the event information) and from the Push*
// test controls; rules are reported after `updateConfig` changed them.

#include <cstdint>
#include <string>
#include <vector>

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <json/value.h>

#include "Memory/packet.h"
#include "Stream/mediaframe.h"

class QPainter;
class CImageOffsetBuffer;

class OSDManager {
public:
    OSDManager();
    virtual ~OSDManager();
    OSDManager(const OSDManager&) = delete;
    OSDManager& operator=(const OSDManager&) = delete;

    // --- configuration ---
    void setAiConfig(QString type, QMap<QString, QVariant>& config);
    void setSplitCount(int count);
    // A rule table under its name ("VideoAnalyseRule", "AIDisplayRule", "GlobalAIDisplayRule",
    // "InitConfig", ...); the rule is reported once by getRule.
    void updateConfig(const Json::Value& config, std::string name);
    void setChannel(int channel);
    void setFishEyeStatus(bool calibrated);
    bool setOpenSlaveMode(bool enable);
    bool setCrowdMode(int mode, bool enable);

    // --- data ---
    // Stream data: only its size and first bytes are kept (the bytes are the caller's).
    void putPacket(Tarvo::Memory::CPacket& packet);
    // Device event data: "Objects" of `info` ([{"ObjectID", "BoundingBox": [l, t, r, b]}],
    // coordinates in 0..8191) become the shown objects and one reported event.
    void ivsCallBack(const Json::Value& info, const Tarvo::Stream::CMediaFrame& frame);

    // --- drawing and questions ---
    // Outlines of the shown objects and of `rect`, and a label with the channel and the
    // rules held. `kind` and `offsets` are accepted and not used.
    void draw(QPainter& painter, QRect& rect, int kind, CImageOffsetBuffer* offsets = nullptr);
    // `point` is a list of two ints in 0..8191: the id of the shown object whose box holds
    // it, or the scripted answer, or an invalid value.
    QVariant getAIObjectId(QVariant& point);
    bool getEvent(QVariant& events);
    bool getMaskEvent(QVariant& events);
    bool getCrowMaskEvent(QVariant& events);
    bool getRule(QMap<QString, QVariant>& rules);

    // --- inspection and test controls ---
    // One line per call: the operation's name and its main argument, e.g. "setSplitCount 4".
    QStringList Calls() const;
    void ClearCalls();
    QByteArray LastPacketBytes() const;
    QByteArray LastFrameHeader() const;
    Json::Value LastEventInfo() const;
    QVariantMap LastAiConfig(const QString& type) const;
    Json::Value Rule(const std::string& name) const;
    int Channel() const;
    int SplitCount() const;
    bool FishEye() const;
    void PushEvent(const QVariant& event);
    void PushMaskEvent(const QVariant& event);
    void PushCrowMaskEvent(const QVariant& event);
    void SetObjectIdAnswer(const QVariant& answer);
    void SetSlaveModeAnswer(bool answer);
    void SetCrowdModeAnswer(bool answer);
    // Overlays alive in the process, and made so far.
    static int LiveCount();
    static int CreatedCount();

    // A JSON value as the QVariant tree the get* operations hand out.
    static QVariant JsonToVariant(const Json::Value& value);

private:
    struct ShownObject {
        QVariant id;
        int left, top, right, bottom;
    };

    void Record(const QString& line);
    static bool TakeList(QVariantList& pending, QVariant& out);

    mutable QMutex m_lock{QMutex::Recursive};
    QStringList m_calls;
    QMap<QString, QVariantMap> m_aiConfigs;
    std::vector<std::pair<std::string, Json::Value>> m_rules;  // name -> table, in first-set order
    QStringList m_changedRules;
    int m_channel = -1;
    int m_splitCount = 0;
    bool m_fishEye = false;
    bool m_slaveMode = false;
    QByteArray m_lastPacket;
    QByteArray m_lastHeader;
    Json::Value m_lastInfo;
    std::vector<ShownObject> m_objects;
    QVariantList m_events;
    QVariantList m_maskEvents;
    QVariantList m_crowdEvents;
    QVariant m_objectIdAnswer;
    bool m_slaveAnswer = true;
    bool m_crowdAnswer = true;
};
