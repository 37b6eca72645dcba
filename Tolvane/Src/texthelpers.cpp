#include "texthelpers.h"

#include <QString>
#include <QTextCodec>

#include <cstring>

namespace Tolvane {

namespace {

constexpr int kUtf8Mib = 106;

bool localIsUtf8()
{
    const QTextCodec* codec = QTextCodec::codecForLocale();
    return !codec || codec->mibEnum() == kUtf8Mib;
}

} // namespace

bool StringEqualsQt(const std::string& a, const std::string& b, bool ignoreCase)
{
    return QString::compare(QString::fromStdString(a), QString::fromStdString(b),
                            ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive)
        == 0;
}

bool StringEqualsNoNull(const char* a, const char* b)
{
    if (!a || !b)
        return false;
    return std::strcmp(a, b) == 0;
}

std::string ToLowerStdString(const std::string& text)
{
    return QString::fromStdString(text).toLower().toStdString();
}

QByteArray Utf8ToLocal8Bit(const QByteArray& utf8)
{
    if (localIsUtf8())
        return utf8;
    return QString::fromUtf8(utf8).toLocal8Bit();
}

std::string Utf8ToLocal8BitStd(const char* utf8)
{
    if (!utf8)
        return std::string();
    const QByteArray local = Utf8ToLocal8Bit(QByteArray(utf8));
    return std::string(local.constData(), static_cast<size_t>(local.size()));
}

} // namespace Tolvane
