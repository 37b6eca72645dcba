// A module for the end-to-end tests that stands in the fish-eye module's place:
// it loads the real one from the build (E2E_REAL_MODULE) and hands it every entry
// point, and publishes methods that let a test page look at what the program
// shows: a video window's picture, a screenshot of the whole window, the file
// dialogs (answered with a path the page gives) and the URLs opened in a browser.
#include "probemodule.h"

#include <ISorquin.h>

#include <foundation/ComMethod.h>
#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <dlfcn.h>

#include <memory>
#include <vector>

#define E2E_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using InitFn = void (*)(HostContext*);
using LoadFn = bool (*)(HostContext*, const char*);
using ClearFn = void (*)(void*);
using CheckFn = void (*)();

// The real module stays loaded for the life of the process: its deletions may
// still be queued when the host unloads this one.
struct RealModule
{
    RealModule()
    {
        handle = dlopen(E2E_REAL_MODULE, RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) {
            check = reinterpret_cast<CheckFn>(dlsym(handle, "CheckModule"));
            init = reinterpret_cast<InitFn>(dlsym(handle, "InitModule"));
            load = reinterpret_cast<LoadFn>(dlsym(handle, "LoadImplObjects"));
            clear = reinterpret_cast<ClearFn>(dlsym(handle, "ClearModule"));
        }
    }
    void* handle = nullptr;
    CheckFn check = nullptr;
    InitFn init = nullptr;
    LoadFn load = nullptr;
    ClearFn clear = nullptr;
};

RealModule& Real()
{
    static RealModule real;
    return real;
}

std::unique_ptr<E2EProbe> g_probe;

}  // namespace

E2EProbe::E2EProbe(HostContext* context)
    : m_context(context)
{
    static const char* const kWin[] = {"winID"};
    static const char* const kName[] = {"name"};
    static const char* const kPath[] = {"path"};
    static const char* const kFolder[] = {"folder"};
    m_methods.emplace_back(Foundation::MakeComMethod(this, &E2EProbe::probeWindow, kWin));
    Foundation::RegisterHostMethod(m_context, "probeWindow", m_methods.back().get());
    m_methods.emplace_back(Foundation::MakeComMethod(this, &E2EProbe::probeScreenshot, kName));
    Foundation::RegisterHostMethod(m_context, "probeScreenshot", m_methods.back().get());
    m_methods.emplace_back(Foundation::MakeComMethod(this, &E2EProbe::probeAnswerDialog, kPath));
    Foundation::RegisterHostMethod(m_context, "probeAnswerDialog", m_methods.back().get());
    m_methods.emplace_back(Foundation::MakeComMethod(this, &E2EProbe::probeOpenedUrls));
    Foundation::RegisterHostMethod(m_context, "probeOpenedUrls", m_methods.back().get());
    m_methods.emplace_back(Foundation::MakeComMethod(this, &E2EProbe::probeListFiles, kFolder));
    Foundation::RegisterHostMethod(m_context, "probeListFiles", m_methods.back().get());

    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "OpenUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "OpenUrl");
    m_dialogTimer = new QTimer(this);
    m_dialogTimer->setInterval(50);
    connect(m_dialogTimer, &QTimer::timeout, this, &E2EProbe::AnswerDialogs);
}

E2EProbe::~E2EProbe()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

namespace {

// FNV-1a 64 over the RGB32 rows of the window's last picture at its own size, as the
// window module keeps it; empty when the window has none.
std::string PictureDigest(ISorquin& sorquin, int winID)
{
    const std::string data = sorquin.GetSnapshotData(winID);
    const std::string prefix = "data:image/png;base64,";
    if (data.compare(0, prefix.size(), prefix) != 0)
        return {};
    QImage picture;
    if (!picture.loadFromData(QByteArray::fromBase64(QByteArray::fromStdString(data.substr(prefix.size()))), "PNG"))
        return {};
    picture = picture.convertToFormat(QImage::Format_RGB32);
    uint64_t hash = 1469598103934665603ull;
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* row = picture.constScanLine(y);
        for (int x = 0; x < 4 * picture.width(); ++x)
            hash = (hash ^ row[x]) * 1099511628211ull;
    }
    return QStringLiteral("%1").arg(hash, 16, 16, QLatin1Char('0')).toStdString();
}

}  // namespace

// What the window shows: its size, the share of pixels that are not black (in per cent)
// and a digest of what is drawn, so that two calls tell whether it moves, and the digest of
// the picture it was last given ("frame").
Json::Value E2EProbe::probeWindow(int winID)
{
    Json::Value answer(Json::objectValue);
    const Foundation::CSharedPtr<ISorquin> sorquin =
        Foundation::QueryHostService<ISorquin>(m_context, Foundation::TypeName::ISorquin);
    QWidget* widget = sorquin ? sorquin->GetWindowWidget(winID) : nullptr;
    if (widget == nullptr)
        return answer;
    // Inside the window's frame line.
    const QImage picture = widget->grab(widget->rect().adjusted(1, 1, -1, -1)).toImage().convertToFormat(QImage::Format_RGB32);
    qint64 coloured = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            coloured += (qRed(line[x]) + qGreen(line[x]) + qBlue(line[x])) > 48 ? 1 : 0;
    }
    const qint64 pixels = qint64(picture.width()) * picture.height();
    answer["width"] = picture.width();
    answer["height"] = picture.height();
    answer["coloured"] = pixels > 0 ? int(coloured * 100 / pixels) : 0;
    answer["visible"] = widget->isVisible();
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(reinterpret_cast<const char*>(picture.constBits()), int(picture.sizeInBytes()));
    answer["digest"] = hash.result().toHex().toStdString();
    answer["frame"] = PictureDigest(*sorquin, winID);
    return answer;
}

// The screen as the user sees it: every visible window painted at its place.
bool E2EProbe::probeScreenshot(std::string name)
{
    const QString folder = qEnvironmentVariable("E2E_SCREENSHOT_DIR");
    if (folder.isEmpty() || name.empty() || name.find('/') != std::string::npos)
        return false;
    QImage shot(QGuiApplication::primaryScreen()->size(), QImage::Format_ARGB32);
    shot.fill(Qt::black);
    QPainter painter(&shot);
    // Windows without a parent first, then the windows that float over them.
    for (bool owned : {false, true}) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && (widget->parentWidget() != nullptr) == owned)
                painter.drawPixmap(widget->mapToGlobal(QPoint(0, 0)), widget->grab());
        }
    }
    painter.end();
    return QDir().mkpath(folder) && shot.save(folder + QLatin1Char('/') + QString::fromStdString(name));
}

// The next file dialog that opens is answered with the path.
bool E2EProbe::probeAnswerDialog(std::string path)
{
    m_answer = QString::fromStdString(path);
    m_dialogTimer->start();
    return true;
}

void E2EProbe::AnswerDialogs()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (dialog == nullptr || !dialog->isVisible())
            continue;
        m_dialogTimer->stop();
        // As a user would: type the whole path into the name box.
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(m_answer);
        static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
        return;
    }
}

Json::Value E2EProbe::probeOpenedUrls()
{
    Json::Value urls(Json::arrayValue);
    for (const QString& url : m_openedUrls)
        urls.append(url.toStdString());
    return urls;
}

Json::Value E2EProbe::probeListFiles(std::string folder)
{
    Json::Value names(Json::arrayValue);
    const QDir dir(QString::fromStdString(folder));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        names.append(name.toStdString());
    return names;
}

void E2EProbe::OpenUrl(const QUrl& url)
{
    m_openedUrls << url.toString();
}

E2E_EXPORT void CheckModule()
{
    if (Real().check != nullptr)
        Real().check();
}

E2E_EXPORT void InitModule(HostContext* context)
{
    if (Real().init != nullptr)
        Real().init(context);
}

E2E_EXPORT bool LoadImplObjects(HostContext* context, const char* word)
{
    const bool loaded = Real().load != nullptr && Real().load(context, word);
    if (context != nullptr && g_probe == nullptr)
        g_probe = std::make_unique<E2EProbe>(context);
    return loaded;
}

E2E_EXPORT void ClearModule(void* argument)
{
    g_probe.reset();
    if (Real().clear != nullptr)
        Real().clear(argument);
}
