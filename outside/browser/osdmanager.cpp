#include "osdmanager.h"

#include <algorithm>
#include <atomic>

#include <QColor>
#include <QPainter>
#include <QPen>

namespace {

std::atomic<int> g_live{0};
std::atomic<int> g_created{0};

constexpr int kCoordinateSpace = 8192;
constexpr int kKeptPacketBytes = 64;

int ReadCoordinate(const Json::Value& box, Json::ArrayIndex i)
{
    const Json::Value& v = box[i];
    if (v.isInt()) {
        return std::clamp(v.asInt(), 0, kCoordinateSpace - 1);
    }
    return 0;
}

int Scale(int value, int origin, int extent)
{
    return origin + static_cast<int>(static_cast<qint64>(value) * extent / kCoordinateSpace);
}

}  // namespace

OSDManager::OSDManager()
{
    ++g_live;
    ++g_created;
}

OSDManager::~OSDManager()
{
    --g_live;
}

void OSDManager::Record(const QString& line)
{
    QMutexLocker lock(&m_lock);
    m_calls.append(line);
}

void OSDManager::setAiConfig(QString type, QMap<QString, QVariant>& config)
{
    QMutexLocker lock(&m_lock);
    m_aiConfigs[type] = config;
    Record(QStringLiteral("setAiConfig ") + type);
}

void OSDManager::setSplitCount(int count)
{
    QMutexLocker lock(&m_lock);
    m_splitCount = count;
    Record(QStringLiteral("setSplitCount %1").arg(count));
}

void OSDManager::updateConfig(const Json::Value& config, std::string name)
{
    QMutexLocker lock(&m_lock);
    auto held = std::find_if(m_rules.begin(), m_rules.end(), [&](const auto& r) { return r.first == name; });
    if (held == m_rules.end()) {
        m_rules.emplace_back(name, config);
    } else {
        held->second = config;
    }
    const QString qname = QString::fromStdString(name);
    if (!m_changedRules.contains(qname)) {
        m_changedRules.append(qname);
    }
    Record(QStringLiteral("updateConfig ") + qname);
}

void OSDManager::setChannel(int channel)
{
    QMutexLocker lock(&m_lock);
    m_channel = channel;
    Record(QStringLiteral("setChannel %1").arg(channel));
}

void OSDManager::setFishEyeStatus(bool calibrated)
{
    QMutexLocker lock(&m_lock);
    m_fishEye = calibrated;
    Record(QStringLiteral("setFishEyeStatus %1").arg(calibrated ? "true" : "false"));
}

bool OSDManager::setOpenSlaveMode(bool enable)
{
    QMutexLocker lock(&m_lock);
    m_slaveMode = enable;
    Record(QStringLiteral("setOpenSlaveMode %1").arg(enable ? "true" : "false"));
    return m_slaveAnswer;
}

bool OSDManager::setCrowdMode(int mode, bool enable)
{
    QMutexLocker lock(&m_lock);
    Record(QStringLiteral("setCrowdMode %1 %2").arg(mode).arg(enable ? "true" : "false"));
    return m_crowdAnswer;
}

void OSDManager::putPacket(Tarvo::Memory::CPacket& packet)
{
    const uint32_t size = packet.valid() ? packet.getSize() : 0;
    const uint8_t* bytes = packet.valid() ? packet.getBuffer() : nullptr;
    QMutexLocker lock(&m_lock);
    m_lastPacket = bytes ? QByteArray(reinterpret_cast<const char*>(bytes),
                                      static_cast<int>(std::min<uint32_t>(size, kKeptPacketBytes)))
                         : QByteArray();
    Record(QStringLiteral("putPacket %1").arg(size));
}

void OSDManager::ivsCallBack(const Json::Value& info, const Tarvo::Stream::CMediaFrame& frame)
{
    const uint32_t size = frame.valid() ? frame.getSize() : 0;
    QByteArray header;
    if (frame.valid() && frame.getExtra() != nullptr) {
        header = QByteArray(reinterpret_cast<const char*>(frame.getExtra()), frame.getExtraSize());
    }
    std::vector<ShownObject> objects;
    const Json::Value* list = info.isObject() ? info.find("Objects", "Objects" + 7) : nullptr;
    if (list != nullptr && list->isArray()) {
        for (const Json::Value& object : *list) {
            if (!object.isObject()) {
                continue;
            }
            const Json::Value* box = object.find("BoundingBox", "BoundingBox" + 11);
            if (box == nullptr || !box->isArray() || box->size() != 4) {
                continue;
            }
            const Json::Value* id = object.find("ObjectID", "ObjectID" + 8);
            objects.push_back({id ? JsonToVariant(*id) : QVariant(), ReadCoordinate(*box, 0),
                               ReadCoordinate(*box, 1), ReadCoordinate(*box, 2), ReadCoordinate(*box, 3)});
        }
    }
    QMutexLocker lock(&m_lock);
    m_lastInfo = info;
    m_lastHeader = header;
    m_objects = std::move(objects);
    if (!info.isNull()) {
        m_events.append(JsonToVariant(info));
    }
    Record(QStringLiteral("ivsCallBack %1").arg(size));
}

void OSDManager::draw(QPainter& painter, QRect& rect, int kind, CImageOffsetBuffer* /*offsets*/)
{
    std::vector<ShownObject> objects;
    QString label;
    {
        QMutexLocker lock(&m_lock);
        objects = m_objects;
        label = QStringLiteral("ch %1 rules %2").arg(m_channel).arg(m_rules.size());
        Record(QStringLiteral("draw %1").arg(kind));
    }
    painter.save();
    QPen pen(QColor(0, 255, 0));
    pen.setWidth(2);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(1, 1, -2, -2));
    for (const ShownObject& o : objects) {
        const QRect box(QPoint(Scale(o.left, rect.left(), rect.width()), Scale(o.top, rect.top(), rect.height())),
                        QPoint(Scale(o.right, rect.left(), rect.width()),
                               Scale(o.bottom, rect.top(), rect.height())));
        painter.drawRect(box);
        painter.drawText(box.topLeft() + QPoint(2, 12), o.id.toString());
    }
    painter.drawText(rect.topLeft() + QPoint(4, 14), label);
    painter.restore();
}

QVariant OSDManager::getAIObjectId(QVariant& point)
{
    const QVariantList xy = point.toList();
    QMutexLocker lock(&m_lock);
    Record(QStringLiteral("getAIObjectId"));
    if (xy.size() == 2) {
        const int x = xy[0].toInt();
        const int y = xy[1].toInt();
        for (const ShownObject& o : m_objects) {
            if (x >= o.left && x <= o.right && y >= o.top && y <= o.bottom) {
                return o.id;
            }
        }
    }
    return m_objectIdAnswer;
}

bool OSDManager::TakeList(QVariantList& pending, QVariant& out)
{
    if (pending.isEmpty()) {
        return false;
    }
    out = pending;
    pending.clear();
    return true;
}

bool OSDManager::getEvent(QVariant& events)
{
    QMutexLocker lock(&m_lock);
    return TakeList(m_events, events);
}

bool OSDManager::getMaskEvent(QVariant& events)
{
    QMutexLocker lock(&m_lock);
    return TakeList(m_maskEvents, events);
}

bool OSDManager::getCrowMaskEvent(QVariant& events)
{
    QMutexLocker lock(&m_lock);
    return TakeList(m_crowdEvents, events);
}

bool OSDManager::getRule(QMap<QString, QVariant>& rules)
{
    QMutexLocker lock(&m_lock);
    if (m_changedRules.isEmpty()) {
        return false;
    }
    for (const QString& name : m_changedRules) {
        rules[name] = JsonToVariant(Rule(name.toStdString()));
    }
    m_changedRules.clear();
    return true;
}

QStringList OSDManager::Calls() const
{
    QMutexLocker lock(&m_lock);
    return m_calls;
}

void OSDManager::ClearCalls()
{
    QMutexLocker lock(&m_lock);
    m_calls.clear();
}

QByteArray OSDManager::LastPacketBytes() const
{
    QMutexLocker lock(&m_lock);
    return m_lastPacket;
}

QByteArray OSDManager::LastFrameHeader() const
{
    QMutexLocker lock(&m_lock);
    return m_lastHeader;
}

Json::Value OSDManager::LastEventInfo() const
{
    QMutexLocker lock(&m_lock);
    return m_lastInfo;
}

QVariantMap OSDManager::LastAiConfig(const QString& type) const
{
    QMutexLocker lock(&m_lock);
    return m_aiConfigs.value(type);
}

Json::Value OSDManager::Rule(const std::string& name) const
{
    QMutexLocker lock(&m_lock);
    for (const auto& r : m_rules) {
        if (r.first == name) {
            return r.second;
        }
    }
    return Json::Value();
}

int OSDManager::Channel() const
{
    QMutexLocker lock(&m_lock);
    return m_channel;
}

int OSDManager::SplitCount() const
{
    QMutexLocker lock(&m_lock);
    return m_splitCount;
}

bool OSDManager::FishEye() const
{
    QMutexLocker lock(&m_lock);
    return m_fishEye;
}

void OSDManager::PushEvent(const QVariant& event)
{
    QMutexLocker lock(&m_lock);
    m_events.append(event);
}

void OSDManager::PushMaskEvent(const QVariant& event)
{
    QMutexLocker lock(&m_lock);
    m_maskEvents.append(event);
}

void OSDManager::PushCrowMaskEvent(const QVariant& event)
{
    QMutexLocker lock(&m_lock);
    m_crowdEvents.append(event);
}

void OSDManager::SetObjectIdAnswer(const QVariant& answer)
{
    QMutexLocker lock(&m_lock);
    m_objectIdAnswer = answer;
}

void OSDManager::SetSlaveModeAnswer(bool answer)
{
    QMutexLocker lock(&m_lock);
    m_slaveAnswer = answer;
}

void OSDManager::SetCrowdModeAnswer(bool answer)
{
    QMutexLocker lock(&m_lock);
    m_crowdAnswer = answer;
}

int OSDManager::LiveCount()
{
    return g_live.load();
}

int OSDManager::CreatedCount()
{
    return g_created.load();
}

QVariant OSDManager::JsonToVariant(const Json::Value& value)
{
    switch (value.type()) {
    case Json::intValue:
        if (value.isInt()) {
            return QVariant(value.asInt());
        }
        return QVariant(static_cast<double>(value.asInt64()));
    case Json::uintValue:
        if (value.isUInt()) {
            return QVariant(value.asUInt());
        }
        return QVariant(static_cast<double>(value.asUInt64()));
    case Json::realValue:
        return QVariant(value.asDouble());
    case Json::stringValue:
        return QVariant(QString::fromStdString(value.asString()));
    case Json::booleanValue:
        return QVariant(value.asBool());
    case Json::arrayValue: {
        QVariantList list;
        for (const Json::Value& element : value) {
            list.append(JsonToVariant(element));
        }
        return list;
    }
    case Json::objectValue: {
        QVariantMap map;
        for (auto it = value.begin(); it != value.end(); ++it) {
            map.insert(QString::fromStdString(it.name()), JsonToVariant(*it));
        }
        return map;
    }
    default:
        return QVariant();
    }
}
