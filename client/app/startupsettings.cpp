#include "startupsettings.h"

#include "appfolder.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QSettings>

#ifdef BREVIX_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace {

QString g_setupVersion;

}  // namespace

namespace StartupSettings {

QString ReadSetupVersion()
{
    QSettings settings(AppFolder::SettingsFile(QStringLiteral("version")), QSettings::IniFormat);
    g_setupVersion = settings.value(QStringLiteral("App/SetupVersion")).toString();
    return g_setupVersion;
}

QString SetupVersion()
{
    return g_setupVersion;
}

QString ReadLanguage()
{
    QSettings settings(AppFolder::SettingsFile(QStringLiteral("setting")), QSettings::IniFormat);
    const QString language = settings.value(QStringLiteral("App/Language")).toString();
    return language.isEmpty() ? QStringLiteral("zh-cn") : language;
}

QString GetLanguageFilePath(const QString& language)
{
    return AppFolder::Path() + QStringLiteral("/language/") + language.toLower() + QStringLiteral(".qm");
}

void SetApplicationFont(const QString& language)
{
    if (language.toLower() == QLatin1String("zh-cn")) {
        QFont font(QStringLiteral("微软雅黑"));
        font.setPixelSize(12);
        QApplication::setFont(font);
        return;
    }
    const int id = QFontDatabase::addApplicationFont(AppFolder::Path() + QStringLiteral("//font//Lato-Regular.ttf"));
    if (id < 0)
        return;
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty())
        return;
    QFont font(families.first());
    font.setPixelSize(12);
    QApplication::setFont(font);
}

bool ReadCompatibilityMode(bool compositingManagerRunning)
{
    QSettings settings(AppFolder::SettingsFile(QStringLiteral("setting")), QSettings::IniFormat);
    const QVariant stored = settings.value(QStringLiteral("App/CompatibilityMode"));
    if (stored.isValid())
        return stored.toBool();
    return !compositingManagerRunning;
}

bool CompositingManagerRunning()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
#ifdef BREVIX_HAVE_XCB
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screen);
    if (connection == nullptr || xcb_connection_has_error(connection)) {
        if (connection != nullptr)
            xcb_disconnect(connection);
        return false;
    }
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    bool running = false;
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.constData()),
        nullptr);
    if (atom != nullptr) {
        xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
        if (owner != nullptr) {
            running = owner->owner != XCB_NONE;
            free(owner);
        }
        free(atom);
    }
    xcb_disconnect(connection);
    return running;
#else
    return false;
#endif
}

}  // namespace StartupSettings
