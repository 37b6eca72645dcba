#include "addresscheck.h"

#include <QDebug>
#include <QRegularExpression>
#include <QStringList>

namespace {

const char* const kOctet = "(([0-9])|([1-9][0-9])|(1[0-9][0-9])|(2[0-4][0-9])|(25[0-5]))";
const char* const kIPv4Template = "((%1\\.){3}%1)";
const char* const kIPv6Group = "([0-9a-fA-F]{4})";
const char* const kIPv6Template = "((%1:){7}(%1|%2))";
// A label is matched atomically: it can end only where its run of name
// characters ends, so trying its other splits can never succeed, and would
// make the match time grow with a power of the text's length.
const char* const kHostName =
    "((((?>[A-Za-z0-9-]+([A-Za-z0-9-_]*[A-Za-z0-9-]+)?))\\.)+([A-Za-z]{2,}))|(localhost)";
const char* const kPort = "(([0-9])|([1-9][0-9]{1,3})|([1-5][0-9]{4})|(6[0-4][0-9]{3})|"
                          "(65[0-4][0-9]{2})|(655[0-2][0-9])|(6553[0-5]))";
const char* const kAddressTemplate =
    "(?i)^(\\\\|/+|(?<scheme>http[s]?):[/\\\\]*)?(?<url>%1)(?<port>:(%2)?)?($|[#?/\\\\])";

const char* const kBracket = "\\[.*\\]";
const char* const kFirstGroupPrefix = "(.*)[/\\\\]";
const char* const kLastGroupSuffix = "[#?/\\\\]";
const char* const kExpansionTemplate = "%1:%2:%3:%4:%5:%6:%7:%8";
const char* const kCompression = "::";
const char* const kGroupSeparator = ":";

const char* const kPlainForm = "%1://%2%3%4";
const char* const kBracketedForm = "%1://[%2]%3%4";
const char* const kDefaultScheme = "http";

bool IsDelimiter(QChar c)
{
    return c == '#' || c == '?' || c == '/' || c == '\\';
}

} // namespace

QString AddressCheck::IPv4Pattern()
{
    return QString(kIPv4Template).arg(kOctet);
}

QString AddressCheck::IPv6Pattern()
{
    return QString(kIPv6Template).arg(kIPv6Group).arg(IPv4Pattern());
}

bool AddressCheck::ValidateAddress(QString& text)
{
    QString result = CheckIPv4Address(text);
    if (result.isEmpty())
        result = CheckIPv6Address(text);
    if (result.isEmpty())
        result = CheckHostAddress(text);
    if (result.isEmpty())
        return false;
    qDebug() << result;
    text = result;
    return true;
}

QString AddressCheck::CheckIPv4Address(const QString& text)
{
    return MatchAddress(text, IPv4Pattern(), false);
}

QString AddressCheck::CheckHostAddress(const QString& text)
{
    return MatchAddress(text, kHostName, false);
}

QString AddressCheck::MatchAddress(const QString& text, const QString& addressPattern, bool bracketed)
{
    const QRegularExpression re(QString(kAddressTemplate).arg(addressPattern).arg(kPort));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return QString();

    const QString whole = m.captured(0);
    const QString scheme = m.captured("scheme");
    const QString address = m.captured("url");
    const QString port = m.captured("port");

    QString rest = text.mid(whole.length());
    if (!whole.isEmpty() && IsDelimiter(whole.back()))
        rest.prepend(whole.back());
    if (rest.length() == 1 && (rest[0] == '\\' || rest[0] == '/'))
        rest.clear();
    if (!rest.isEmpty() && (rest[0] == '\\' || rest[0] == '/'))
        rest.remove(0, 1);
    rest.replace('\\', '/');

    const QString portPart = port.length() > 1 ? port : QString();
    const QString schemePart = scheme.isEmpty() ? QString(kDefaultScheme) : scheme.toLower();
    const QString pathPart = rest.isEmpty() ? QString() : QStringLiteral("/") + rest;

    // One substitution pass, so a "%n" typed in the path stays as typed.
    return QString(bracketed ? kBracketedForm : kPlainForm).arg(schemePart, address, portPart, pathPart);
}

QString AddressCheck::CheckIPv6Address(const QString& text)
{
    QStringList groups;
    for (int i = 0; i < 8; ++i)
        groups << QStringLiteral("0");
    QString s = text;
    bool bracketed = false;

    const QRegularExpressionMatch bm = QRegularExpression(kBracket).match(text);
    if (bm.hasMatch()) {
        bracketed = true;
        const QString inner = bm.captured(0);
        s = inner.mid(1, inner.length() - 2);
    }

    const QStringList pieces = s.split(kCompression, Qt::KeepEmptyParts);
    if (pieces.size() > 2)
        return QString();

    int fwd = 0;
    int back = 7;
    for (int p = pieces.size() - 1; p >= 0; --p) {
        const QStringList parts = pieces[p].split(kGroupSeparator, Qt::KeepEmptyParts);
        if (p > 0) {
            for (int g = parts.size() - 1; g >= 0; --g) {
                if (back < 0)
                    return QString();
                groups[back--] = parts[g];
            }
        } else {
            for (const QString& part : parts) {
                if (fwd > 7)
                    return QString();
                groups[fwd++] = part;
            }
        }
    }
    if (pieces.size() == 1) {
        if (fwd - back != 1)
            return QString();
    } else if (fwd - back > 1) {
        return QString();
    }

    QString prefix;
    const QRegularExpressionMatch pm = QRegularExpression(kFirstGroupPrefix)
                                           .match(groups[0], 0, QRegularExpression::NormalMatch,
                                                  QRegularExpression::AnchoredMatchOption);
    if (pm.hasMatch()) {
        prefix = pm.captured(0);
        groups[0] = groups[0].mid(prefix.length());
    }

    QString suffix;
    const int cut = groups[7].indexOf(QRegularExpression(kLastGroupSuffix));
    if (cut >= 0) {
        suffix = groups[7].mid(cut);
        groups[7] = groups[7].left(cut);
    }

    QString typed;
    for (int k = 0; k < fwd; ++k) {
        if (k == 7)
            typed += groups[k];
        else
            typed += groups[k] + kGroupSeparator;
    }
    if (pieces.size() == 2)
        typed += kGroupSeparator;
    for (int k = back + 1; k <= 7; ++k) {
        if (k == 7)
            typed += groups[k];
        else
            typed += groups[k] + kGroupSeparator;
    }

    QStringList padded;
    for (const QString& g : groups)
        padded << (g.length() >= 4 ? g : QString(4 - g.length(), QLatin1Char('0')) + g);
    const QString expanded = QString(kExpansionTemplate)
                                 .arg(padded[0], padded[1], padded[2], padded[3], padded[4],
                                      padded[5], padded[6], padded[7]);

    QString candidate;
    if (!bracketed) {
        candidate = prefix + expanded + suffix;
    } else {
        const QString inBrackets = QStringLiteral("[") + s + QStringLiteral("]");
        candidate = text;
        candidate.insert(candidate.indexOf(inBrackets), expanded);
        candidate.remove(inBrackets);
    }

    QString result = MatchAddress(candidate, IPv6Pattern(), true);
    if (result.isEmpty())
        return QString();
    result.replace(expanded, typed);
    return result;
}
