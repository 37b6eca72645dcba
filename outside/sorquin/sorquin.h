#pragma once
// The window module's service: the page's grid of video windows, their sinks and pictures,
// the published host signals and the JSON method "setVideoWindowLayout".
//
// The window table lives under one mutex and may be read and changed from any thread; the
// widgets live on the GUI thread (the thread of the application object) and follow the
// table through queued calls. No lock is held while a host signal is raised.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>

#include "ISorquin.h"
#include "lockedsignal.h"

class QPainter;

namespace Sorquin {

class VideoWindow;

class CSorquin final : public QObject, public ISorquin {
public:
    static constexpr int kMaxWindows = 64;
    static constexpr int kMaxPictureSide = 8192;

    CSorquin(HostContext* context, const char* argument);
    ~CSorquin() override;

    // ISorquin
    void SetBackgroundWidget(QWidget* widget) override;
    void SetContentWidget(QWidget* widget) override;
    void ReleaseWindows() override;
    void MoveWindows(int dx, int dy) override;
    void ViewActivated() override;
    void WindowStateChanged() override;
    bool IsWindowValid(int winID) override;
    void* GetWindowHandle(int winID) override;
    bool ShowFrame(int winID, const unsigned char* rgb32, long size, int count,
                   const SorquinFrameInfo* info) override;
    void SetVideoState(int winID, bool showsVideo) override;
    void SetOverlayState(int winID, bool drawsOverlays) override;
    bool SaveSnapshot(int winID, Json::Value element) override;
    std::string GetSnapshotData(int winID) override;
    QWidget* GetWindowWidget(int winID) override;

    // JSON method "setVideoWindowLayout": a grid of rows x columns windows filling the
    // rectangle (left, top, width, height) of the page. False, with nothing changed, for a
    // grid of no window or of more than kMaxWindows, or an empty rectangle.
    bool SetVideoWindowLayout(int rows, int columns, int left, int top, int width, int height);

    // A sink's picture, on the player's thread.
    void DeliverPicture(int winID, const uint8_t* rgb32, int width, int height, int stride, uint32_t frameId);

    // For the window widgets (GUI thread).
    bool CurrentPicture(int winID, QImage* picture, uint32_t* frameId) const;
    void RaiseFrameDraw(int winID, uint32_t frameId, QPainter* painter, QRect* rect);
    void WindowClicked(int winID);

    // Deletes the object on the GUI thread: at once when called there (or when there is no
    // application object), else later from the GUI thread's event loop.
    static void Release(ISorquin* object);

private:
    struct Window {
        QRect geometry;
        bool showsVideo = true;
        bool drawsOverlays = false;
        QImage picture;
        uint32_t frameId = 0;
        VideoWindow* widget = nullptr;
    };
    struct Sink {
        SorquinVideoSink sink;
        CSorquin* owner;
        int winID;
    };

    static void SinkDraw(void* user, const uint8_t* rgb32, int32_t width, int32_t height, int32_t stride);

    void StorePicture(int winID, QImage picture, uint32_t frameId);
    void RequestRepaint(int winID);
    void RequestSync();
    void SyncWidgets();
    void RaiseWidgets();
    bool OnGuiThread() const;

    HostContext* m_context;

    mutable std::mutex m_mutex;
    std::map<int, Window> m_windows;
    std::map<int, std::unique_ptr<Sink>> m_sinks;  // kept for the object's life
    std::set<int> m_repaintPending;
    bool m_syncPending = false;

    // GUI thread only.
    QPointer<QWidget> m_background;
    QPointer<QWidget> m_content;
    std::map<int, QPointer<VideoWindow>> m_widgets;

    LockedSignal<long, long, void*, void*> m_frameDraw;
    LockedSignal<int, enum __ViewListEvent> m_viewNodeChange;
    LockedSignal<int, int> m_switchWnd;
    LockedSignal<> m_disconnectAll;
    std::unique_ptr<Foundation::IComInterface> m_layoutMethod;
};

}  // namespace Sorquin
