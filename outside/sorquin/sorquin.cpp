#include "sorquin.h"

#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QSaveFile>
#include <QThread>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>

#include "videowindow.h"

namespace Sorquin {

namespace {

// A deep copy of an RGB32 picture with every pixel made opaque.
QImage CopyPicture(const uint8_t* rgb32, int width, int height, int64_t stride)
{
    QImage copy(width, height, QImage::Format_RGB32);
    if (copy.isNull()) {
        return copy;
    }
    for (int y = 0; y < height; ++y) {
        const auto* source = reinterpret_cast<const uint32_t*>(rgb32 + stride * y);
        auto* target = reinterpret_cast<uint32_t*>(copy.scanLine(y));
        for (int x = 0; x < width; ++x) {
            target[x] = source[x] | 0xff000000u;
        }
    }
    return copy;
}

bool PictureSizeOk(int width, int height)
{
    return width > 0 && height > 0 && width <= CSorquin::kMaxPictureSide && height <= CSorquin::kMaxPictureSide;
}

// Qt's writer name for a snapshot format, or null when the format is not offered.
const char* WriterFormat(const std::string& format)
{
    if (format.empty() || format == "jpg" || format == "jpeg") {
        return "JPG";
    }
    if (format == "bmp") {
        return "BMP";
    }
    if (format == "png") {
        return "PNG";
    }
    return nullptr;
}

}  // namespace

CSorquin::CSorquin(HostContext* context, const char*) : m_context(context)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && thread() != app->thread()) {
        moveToThread(app->thread());
    }
    Foundation::AddHostSignal(m_context, "frameDrawSignal", &m_frameDraw);
    Foundation::AddHostSignal(m_context, "ViewNodeChange", &m_viewNodeChange);
    Foundation::AddHostSignal(m_context, "SwitchWndSignal", &m_switchWnd);
    Foundation::AddHostSignal(m_context, "DisConnectAllSignal", &m_disconnectAll);

    static const char* const kLayoutParams[] = {"rows", "columns", "left", "top", "width", "height"};
    m_layoutMethod.reset(Foundation::MakeComMethod(this, &CSorquin::SetVideoWindowLayout, kLayoutParams));
    Foundation::RegisterHostMethod(m_context, "setVideoWindowLayout", m_layoutMethod.get());
}

CSorquin::~CSorquin()
{
    Foundation::RemoveHostSignal(m_context, "DisConnectAllSignal", &m_disconnectAll);
    Foundation::RemoveHostSignal(m_context, "SwitchWndSignal", &m_switchWnd);
    Foundation::RemoveHostSignal(m_context, "ViewNodeChange", &m_viewNodeChange);
    Foundation::RemoveHostSignal(m_context, "frameDrawSignal", &m_frameDraw);
    for (auto& entry : m_widgets) {
        delete entry.second.data();
    }
    m_widgets.clear();
}

void CSorquin::Release(ISorquin* object)
{
    auto* sorquin = static_cast<CSorquin*>(object);
    if (sorquin == nullptr) {
        return;
    }
    if (sorquin->OnGuiThread()) {
        delete sorquin;
    } else {
        sorquin->deleteLater();
    }
}

bool CSorquin::OnGuiThread() const
{
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

// --- client ---

void CSorquin::SetBackgroundWidget(QWidget* widget)
{
    m_background = widget;
}

void CSorquin::SetContentWidget(QWidget* widget)
{
    if (m_content == widget) {
        return;
    }
    for (auto& entry : m_widgets) {
        delete entry.second.data();
    }
    m_widgets.clear();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& entry : m_windows) {
            entry.second.widget = nullptr;
        }
    }
    m_content = widget;
    SyncWidgets();
}

void CSorquin::ReleaseWindows()
{
    m_disconnectAll.Emit();
    std::vector<int> left;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& entry : m_windows) {
            left.push_back(entry.first);
        }
        m_windows.clear();
    }
    for (int winID : left) {
        m_viewNodeChange.Emit(winID, ViewNodeLeft);
    }
    RequestSync();
}

void CSorquin::MoveWindows(int, int)
{
    // The windows are children of the content widget and move with it.
}

void CSorquin::ViewActivated()
{
    RaiseWidgets();
}

void CSorquin::WindowStateChanged()
{
    RaiseWidgets();
}

// --- layout ---

bool CSorquin::SetVideoWindowLayout(int rows, int columns, int left, int top, int width, int height)
{
    if (rows < 1 || columns < 1 || rows > kMaxWindows || columns > kMaxWindows || rows * columns > kMaxWindows
        || width < 1 || height < 1) {
        return false;
    }
    const int count = rows * columns;
    std::vector<int> leaving;
    std::vector<int> joining;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_windows.begin(); it != m_windows.end();) {
            if (it->first >= count) {
                leaving.push_back(it->first);
                it = m_windows.erase(it);
            } else {
                ++it;
            }
        }
        for (int winID = 0; winID < count; ++winID) {
            const int row = winID / columns;
            const int column = winID % columns;
            // Cells share the rectangle exactly: edges at left + i * width / columns.
            const int64_t x0 = left + int64_t(width) * column / columns;
            const int64_t x1 = left + int64_t(width) * (column + 1) / columns;
            const int64_t y0 = top + int64_t(height) * row / rows;
            const int64_t y1 = top + int64_t(height) * (row + 1) / rows;
            const QRect cell(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
            auto found = m_windows.find(winID);
            if (found == m_windows.end()) {
                m_windows[winID].geometry = cell;
                joining.push_back(winID);
            } else {
                found->second.geometry = cell;
            }
            if (m_sinks.find(winID) == m_sinks.end()) {
                auto sink = std::make_unique<Sink>();
                sink->sink.draw = &CSorquin::SinkDraw;
                sink->sink.user = sink.get();
                sink->owner = this;
                sink->winID = winID;
                m_sinks[winID] = std::move(sink);
            }
        }
    }
    for (int winID : leaving) {
        m_viewNodeChange.Emit(winID, ViewNodeLeft);
    }
    for (int winID : joining) {
        m_viewNodeChange.Emit(winID, ViewNodeJoined);
    }
    RequestSync();
    return true;
}

void CSorquin::RequestSync()
{
    if (OnGuiThread()) {
        SyncWidgets();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_syncPending) {
            return;
        }
        m_syncPending = true;
    }
    QMetaObject::invokeMethod(this, [this] { SyncWidgets(); }, Qt::QueuedConnection);
}

void CSorquin::SyncWidgets()
{
    std::map<int, QRect> wanted;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_syncPending = false;
        for (const auto& entry : m_windows) {
            wanted[entry.first] = entry.second.geometry;
        }
    }
    for (auto it = m_widgets.begin(); it != m_widgets.end();) {
        if (it->second.isNull() || wanted.find(it->first) == wanted.end()) {
            delete it->second.data();
            it = m_widgets.erase(it);
        } else {
            ++it;
        }
    }
    const bool canShow = m_content != nullptr && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (canShow) {
        for (const auto& entry : wanted) {
            QPointer<VideoWindow>& widget = m_widgets[entry.first];
            if (widget.isNull()) {
                widget = new VideoWindow(this, entry.first, m_content);
            }
            widget->setGeometry(entry.second);
            widget->show();
            widget->raise();
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& entry : m_windows) {
        auto found = m_widgets.find(entry.first);
        entry.second.widget = found != m_widgets.end() ? found->second.data() : nullptr;
    }
}

void CSorquin::RaiseWidgets()
{
    for (auto& entry : m_widgets) {
        if (!entry.second.isNull()) {
            entry.second->raise();
        }
    }
}

// --- pictures ---

void CSorquin::SinkDraw(void* user, const uint8_t* rgb32, int32_t width, int32_t height, int32_t stride)
{
    auto* sink = static_cast<Sink*>(user);
    if (sink == nullptr || sink->owner == nullptr) {
        return;
    }
    sink->owner->DeliverPicture(sink->winID, rgb32, width, height, stride, 0);
}

void CSorquin::DeliverPicture(int winID, const uint8_t* rgb32, int width, int height, int stride, uint32_t frameId)
{
    if (rgb32 == nullptr || !PictureSizeOk(width, height) || stride < width * 4) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_windows.find(winID) == m_windows.end()) {
            return;  // a sink of a removed window drops what it gets
        }
    }
    StorePicture(winID, CopyPicture(rgb32, width, height, stride), frameId);
}

bool CSorquin::ShowFrame(int winID, const unsigned char* rgb32, long size, int, const SorquinFrameInfo* info)
{
    if (!IsWindowValid(winID)) {
        return false;
    }
    if (rgb32 == nullptr) {
        StorePicture(winID, QImage(), 0);
        return true;
    }
    if (info == nullptr || !PictureSizeOk(info->width, info->height)
        || (info->format != kSorquinFormatRgb32 && info->format != 0)
        || int64_t(size) < int64_t(info->width) * info->height * 4) {
        return false;
    }
    QImage picture = CopyPicture(rgb32, info->width, info->height, int64_t(info->width) * 4);
    if (picture.isNull()) {
        return false;
    }
    StorePicture(winID, std::move(picture), info->frameId);
    return true;
}

void CSorquin::StorePicture(int winID, QImage picture, uint32_t frameId)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_windows.find(winID);
        if (found == m_windows.end()) {
            return;
        }
        found->second.picture = std::move(picture);
        found->second.frameId = frameId;
    }
    RequestRepaint(winID);
}

void CSorquin::RequestRepaint(int winID)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_repaintPending.insert(winID).second) {
            return;  // one repaint per window is enough; it paints the newest picture
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, winID] {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_repaintPending.erase(winID);
            }
            auto found = m_widgets.find(winID);
            if (found != m_widgets.end() && !found->second.isNull()) {
                found->second->update();
            }
        },
        Qt::QueuedConnection);
}

bool CSorquin::CurrentPicture(int winID, QImage* picture, uint32_t* frameId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_windows.find(winID);
    if (found == m_windows.end() || found->second.picture.isNull()) {
        return false;
    }
    *picture = found->second.picture;
    *frameId = found->second.frameId;
    return true;
}

void CSorquin::RaiseFrameDraw(int winID, uint32_t frameId, QPainter* painter, QRect* rect)
{
    m_frameDraw.Emit(long(winID), long(frameId), painter, rect);
}

void CSorquin::WindowClicked(int winID)
{
    if (IsWindowValid(winID)) {
        m_switchWnd.Emit(winID, 1);
    }
}

// --- window state ---

bool CSorquin::IsWindowValid(int winID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_windows.find(winID) != m_windows.end();
}

void* CSorquin::GetWindowHandle(int winID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_windows.find(winID) == m_windows.end()) {
        return nullptr;
    }
    auto found = m_sinks.find(winID);
    return found != m_sinks.end() ? &found->second->sink : nullptr;
}

void CSorquin::SetVideoState(int winID, bool showsVideo)
{
    bool cleared = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_windows.find(winID);
        if (found == m_windows.end()) {
            return;
        }
        found->second.showsVideo = showsVideo;
        if (!showsVideo && !found->second.picture.isNull()) {
            found->second.picture = QImage();
            found->second.frameId = 0;
            cleared = true;
        }
    }
    if (cleared) {
        RequestRepaint(winID);
    }
}

void CSorquin::SetOverlayState(int winID, bool drawsOverlays)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_windows.find(winID);
    if (found != m_windows.end()) {
        found->second.drawsOverlays = drawsOverlays;
    }
}

QWidget* CSorquin::GetWindowWidget(int winID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_windows.find(winID);
    return found != m_windows.end() ? found->second.widget : nullptr;
}

// --- snapshots ---

bool CSorquin::SaveSnapshot(int winID, Json::Value element)
{
    const Json::Value* name = Foundation::JsonFind(element, "fileName");
    const Json::Value* format = Foundation::JsonFind(element, "format");
    const Json::Value* quality = Foundation::JsonFind(element, "quality");
    const std::string fileName = name != nullptr ? Foundation::JsonStringOrEmpty(*name) : std::string();
    const char* writer = WriterFormat(format != nullptr ? Foundation::JsonStringOrEmpty(*format) : std::string());
    int level = 100;
    if (quality != nullptr && Foundation::JsonIsNumber(*quality)) {
        level = qBound(0, Foundation::JsonToInt(*quality), 100);
    }
    QImage picture;
    uint32_t frameId = 0;
    if (fileName.empty() || writer == nullptr || !CurrentPicture(winID, &picture, &frameId)) {
        return false;
    }
    QSaveFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (!picture.save(&file, writer, level)) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

std::string CSorquin::GetSnapshotData(int winID)
{
    QImage picture;
    uint32_t frameId = 0;
    if (!CurrentPicture(winID, &picture, &frameId)) {
        return std::string();
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) {
        return std::string();
    }
    return "data:image/png;base64," + bytes.toBase64().toStdString();
}

}  // namespace Sorquin
