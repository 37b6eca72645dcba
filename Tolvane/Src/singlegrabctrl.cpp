#include "singlegrabctrl.h"

#include <algorithm>
#include <limits>

#include <QBuffer>
#include <QByteArray>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRect>
#include <QTemporaryFile>
#include <QThreadPool>
#include <QWidget>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <ISorquin.h>

#include "filehelpers.h"
#include "logfacade.h"
#include "moduletasks.h"
#include "playlibrary.h"

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;

constexpr const char kNumKey[] = "ManulSnapNum";
constexpr const char kIntervalKey[] = "ManulSnapInterval";
constexpr const char kPathKey[] = "ManulSnapPath";
constexpr int kMinSeriesInterval = 1;  // seconds
constexpr int kFormatBmp = 2;
// Attempts at claiming a free file name before giving up.
constexpr int kNameAttempts = 100;

bool ReadInt(const Json::Value& element, const char* name, int* value)
{
    const Json::Value* member = Foundation::JsonFind(element, name);
    if (member == nullptr || !member->isInt()) {
        return false;
    }
    *value = Foundation::JsonToInt(*member);
    return true;
}

// Claims the first free name of the "base (n).ext" family by creating an empty file there,
// so that two pictures taken in the same second never overwrite each other. Empty when no
// name could be claimed.
QString ClaimFileName(const QString& wanted)
{
    const QByteArray path = wanted.toLocal8Bit();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString candidate = MakeUniqueFileName(path.constData());
        QFile file(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            file.close();
            return candidate;
        }
        if (!QFile::exists(candidate)) {
            return QString();  // not creatable at all: the folder is unusable
        }
    }
    return QString();
}

}  // namespace

CSingleGrabCtrl::CSingleGrabCtrl(HostContext* context, const char* /*argument*/) : m_context(context)
{
    Foundation::ConnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CSingleGrabCtrl::OnImplLoaded));
    Foundation::ConnectHostSignal(m_context, "ImplComPreRelease",
                                  HostHandler(this, &CSingleGrabCtrl::OnImplPreRelease));
    static const char* const kInfos[] = {"infos"};
    m_methods.push_back(Foundation::MakeComMethod(this, &CSingleGrabCtrl::snapshot, kInfos, true));
    Foundation::RegisterHostMethod(m_context, "snapshot", m_methods.back());
    static const char* const kWinID[] = {"winID"};
    m_methods.push_back(Foundation::MakeComMethod(this, &CSingleGrabCtrl::snapshotEx, kWinID, true));
    Foundation::RegisterHostMethod(m_context, "snapshotEx", m_methods.back());
    m_formats[0] = "jpg";
    m_formats[1] = "tiff";
    m_formats[2] = "bmp";
}

CSingleGrabCtrl::~CSingleGrabCtrl()
{
    Foundation::DisconnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CSingleGrabCtrl::OnImplLoaded));
    Foundation::DisconnectHostSignal(m_context, "ImplComPreRelease",
                                     HostHandler(this, &CSingleGrabCtrl::OnImplPreRelease));
    std::vector<uint64_t> timers;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const auto& entry : m_seriesByTimer) {
            timers.push_back(entry.first);
        }
        m_seriesByTimer.clear();
        m_seriesByWindow.clear();
    }
    if (m_timer) {
        for (uint64_t id : timers) {
            m_timer->DestroyTimer(id);
        }
    }
    WaitForTasks(true);
    m_formats.clear();
    m_playerMgr.reset();
    m_sorquin.reset();
    m_customer.reset();
    m_timer.reset();
    for (Foundation::IComInterface* method : m_methods) {
        delete method;
    }
}

void CSingleGrabCtrl::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CSingleGrabCtrl>(context, argument, Foundation::TypeName::CSingleGrabCtrl);
}

void CSingleGrabCtrl::OnImplLoaded()
{
    m_playerMgr = Foundation::QueryHostService<IPlayerMgr>(m_context, Foundation::TypeName::IPlayerMgr);
    m_sorquin = Foundation::QueryHostService<ISorquin>(m_context, Foundation::TypeName::ISorquin);
    m_customer = Foundation::QueryHostService<ICustomerInfor>(m_context, Foundation::TypeName::ICustomerInfor);
    m_timer = Foundation::QueryHostService<ITimer>(m_context, Foundation::TypeName::ITimer);
}

void CSingleGrabCtrl::OnImplPreRelease() {}

bool CSingleGrabCtrl::HostDraws() const
{
    return m_context != nullptr && m_context->CompatibilityFlag() != 0;
}

bool CSingleGrabCtrl::snapshot(const Json::Value& infos)
{
    qDebug().noquote() << QString::fromStdString(Foundation::JsonFastText(infos)).trimmed();
    if (!infos.isArray()) {
        return true;
    }
    for (Json::ArrayIndex i = 0; i < infos.size(); ++i) {
        Json::Value element = infos[i];
        int winID = 0;
        if (!ReadInt(element, "winID", &winID)) {
            continue;
        }

        int count = 0;
        if (const Json::Value* member = Foundation::JsonFind(element, kNumKey)) {
            count = Foundation::JsonToInt(*member);
        } else if (m_customer) {
            count = m_customer->GetInt(kNumKey, 0);
        }
        int interval = 0;
        if (const Json::Value* member = Foundation::JsonFind(element, kIntervalKey)) {
            interval = Foundation::JsonToInt(*member);
        } else if (m_customer) {
            interval = m_customer->GetInt(kIntervalKey, 0);
        }
        std::string folder;
        if (const Json::Value* member = Foundation::JsonFind(element, kPathKey)) {
            folder = Foundation::JsonStringOrEmpty(*member);
        } else if (m_customer) {
            folder = m_customer->GetString(kPathKey, std::string());
        }

        element["format"] = 0;
        element["quality"] = 100;
        element["snapshotPath"] = folder;

        // A new request for the window ends the series running there.
        uint64_t oldTimer = 0;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            auto running = m_seriesByWindow.find(winID);
            if (running != m_seriesByWindow.end()) {
                const Json::Value* id = Foundation::JsonFind(running->second, "timerID");
                oldTimer = id != nullptr ? static_cast<uint64_t>(Foundation::JsonToDouble(*id)) : 0;
                m_seriesByWindow.erase(running);
                m_seriesByTimer.erase(oldTimer);
            }
        }
        if (oldTimer != 0 && m_timer) {
            m_timer->DestroyTimer(oldTimer);
        }

        StartSnapshotTask(element);

        if (count > 1 && m_timer) {
            // A series keeps at least a second between its pictures: an interval of 0 or
            // below would re-arm the timer at once, over and over.
            interval = std::max(interval, kMinSeriesInterval);
            ITimer::Handler handler(this, &CSingleGrabCtrl::OnSnapshotTimer);
            // Holding the lock across SetTimer keeps a first run from missing its entry.
            std::lock_guard<std::mutex> lock(m_lock);
            const uint64_t id = m_timer->SetTimer(handler, int64_t(interval) * 1000);
            element["timerID"] = static_cast<double>(id);
            element["snapshotCount"] = count;
            element["snappedCount"] = 1;
            m_seriesByWindow[winID] = element;
            m_seriesByTimer[id] = element;
        }
    }
    return true;
}

int CSingleGrabCtrl::OnSnapshotTimer(uint64_t id)
{
    Json::Value element;
    int count = 1;
    int done = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto found = m_seriesByTimer.find(id);
        if (found == m_seriesByTimer.end()) {
            return -1;
        }
        element = found->second;
        ReadInt(element, "snapshotCount", &count);
        ReadInt(element, "snappedCount", &done);
        found->second["snappedCount"] = done + 1;
    }
    StartSnapshotTask(element);
    return done + 1 < count ? 1 : -1;
}

void CSingleGrabCtrl::StartSnapshotTask(const Json::Value& element)
{
    {
        std::lock_guard<std::mutex> lock(m_taskLock);
        if (m_closing) {
            return;
        }
        ++m_pendingTasks;
    }
    ModuleTaskPool().start([this, element] {
        try {
            SnapshotTask(element);
        } catch (...) {
            // The picture is lost with its task; nothing leaves the pool thread.
        }
        std::lock_guard<std::mutex> lock(m_taskLock);
        if (--m_pendingTasks == 0) {
            m_tasksDone.notify_all();
        }
    });
}

void CSingleGrabCtrl::WaitForTasks(bool close)
{
    std::unique_lock<std::mutex> lock(m_taskLock);
    m_closing = m_closing || close;
    m_tasksDone.wait(lock, [this] { return m_pendingTasks == 0; });
}

bool CSingleGrabCtrl::SnapshotTask(Json::Value element)
{
    int winID = 0;
    if (ReadInt(element, "winID", &winID)) {
        SnapshotWindow(winID, element);
    }
    return true;
}

bool CSingleGrabCtrl::SnapshotWindow(int winID, Json::Value& element)
{
    if (!m_sorquin || !element.isObject()) {
        return false;
    }
    const Json::Value* nameMember = Foundation::JsonFind(element, "name");
    const QString name = CleanFileName((nameMember != nullptr && nameMember->isString())
                                           ? QString::fromStdString(nameMember->asString())
                                           : QStringLiteral("Unknown"));

    int index = 0;
    ReadInt(element, "format", &index);
    if (index < 0 || index > 2) {
        index = kFormatBmp;
    }
    const std::string ext = m_formats.count(index) != 0 ? m_formats[index] : std::string("bmp");

    const Json::Value* pathMember = Foundation::JsonFind(element, "snapshotPath");
    QString folder = pathMember != nullptr ? QString::fromLocal8Bit(Foundation::JsonCStringOrEmpty(*pathMember))
                                           : QString();
    if (folder.isEmpty()) {
        folder = GetAppDirPath() + QStringLiteral("/pictures");
    }
    if (!MakePath(folder.toLocal8Bit().constData())) {
        return false;
    }

    const QString wanted = QStringLiteral("%1/%2-%3_%4.%5")
                               .arg(folder, name, QString::number(winID),
                                    QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss")),
                                    QString::fromStdString(ext));
    const QString fileName = ClaimFileName(wanted);
    if (fileName.isEmpty()) {
        return false;
    }
    const QByteArray localName = fileName.toLocal8Bit();

    element["fileName"] = localName.toStdString();
    element["format"] = ext;
    element["width"] = 0;
    element["height"] = 0;

    bool ok = false;
    if (HostDraws()) {
        ok = m_sorquin->SaveSnapshot(winID, element);
    } else {
        int port = -1;
        if (m_playerMgr) {
            // The mode is used only under the manager's mutex; the capture runs without it.
            QMutexLocker lock(m_playerMgr->GetMutex());
            IPlayMode* mode = m_playerMgr->GetOpenPlayMode(winID);
            PlayFrameRecord record;
            if (mode != nullptr && mode->GetFrameRecord(&record, 0)) {
                port = mode->GetPort();
            }
        }
        if (port >= 0) {
            ok = PLAY_CALL(m_context, PLAY_CatchPicEx, port, localName.constData(),
                           index == kFormatBmp ? PLAY_PIC_BMP : PLAY_PIC_JPEG) != 0;
        }
    }
    if (!ok) {
        QFile claimed(fileName);
        if (claimed.size() == 0) {
            claimed.remove();  // the empty claim of a picture that was not written
        }
    }
    return ok;
}

std::string CSingleGrabCtrl::snapshotEx(int winID)
{
    if (HostDraws()) {
        return m_sorquin ? m_sorquin->GetSnapshotData(winID) : std::string();
    }
    if (!m_playerMgr) {
        return std::string();
    }
    PlayFrameRecord record;
    int port = -1;
    {
        QMutexLocker lock(m_playerMgr->GetMutex());
        IPlayMode* mode = m_playerMgr->GetOpenPlayMode(winID);
        if (mode != nullptr && mode->GetFrameRecord(&record, 0)) {
            port = mode->GetPort();
        }
    }
    if (port < 0 || record.width <= 0 || record.height <= 0) {
        return std::string();
    }

    const qint64 capacity = qint64(record.width) * record.height * 4 + 4096;
    QByteArray buffer;
    try {
        buffer.resize(static_cast<int>(qMin<qint64>(capacity, std::numeric_limits<int>::max())));
    } catch (...) {
        return std::string();
    }

    // Each call captures into a file of its own, so that concurrent calls never read each
    // other's pictures.
    QTemporaryFile temp(QDir::tempPath() + QStringLiteral("/snapPic_temp_XXXXXX.jpg"));
    if (!temp.open()) {
        return std::string();
    }
    temp.close();
    const QByteArray tempName = temp.fileName().toLocal8Bit();
    const bool ok = PLAY_CALL(m_context, PLAY_CatchPicEx, port, tempName.constData(), PLAY_PIC_JPEG) != 0;

    QFile* file = OpenQFile(tempName.constData(), "rb");
    if (file == nullptr) {
        return std::string();
    }
    const qint64 size = GetQFileSize(file);
    qint64 read = 0;
    if (size >= 0) {
        read = ReadQFileAt(file, 0, buffer.data(), qMin<qint64>(size, buffer.size()));
    }
    CloseQFile(file);
    RemoveFileIfExists(tempName.constData());
    if (!ok || size < 0 || read <= 0) {
        return std::string();
    }

    QRect target(0, 0, record.width, record.height);
    if (m_sorquin) {
        if (QWidget* widget = m_sorquin->GetWindowWidget(winID)) {
            target = widget->rect();
        }
    }
    // An image, not a pixmap: the request may run on a pool thread.
    const QImage picture = QImage::fromData(reinterpret_cast<const uchar*>(buffer.constData()), int(read));
    if (picture.isNull() || target.isEmpty()) {
        return std::string();
    }
    const QImage scaled = picture.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QByteArray saved;
    QBuffer device(&saved);
    if (!device.open(QIODevice::WriteOnly) || !scaled.save(&device, "jpg")) {
        return std::string();
    }
    return "data:image/png;base64," + saved.toBase64().toStdString();
}

}  // namespace Tolvane
