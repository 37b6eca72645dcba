#include "requestlog.h"

#include <foundation/JsonRead.h>

#include <QString>

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

const char kMask[] = "\"***\"";

bool IsPasswordName(const std::string& name)
{
    return QString::fromStdString(name).compare(QLatin1String("password"), Qt::CaseInsensitive)
        == 0;
}

// The index past the white space and comments from i on.
size_t SkipBlank(const std::string& text, size_t i)
{
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (text.compare(i, 2, "/*") == 0) {
            const size_t close = text.find("*/", i + 2);
            i = close == std::string::npos ? text.size() : close + 2;
        } else if (text.compare(i, 2, "//") == 0) {
            i = std::min(text.find_first_of("\r\n", i), text.size());
        } else {
            break;
        }
    }
    return i;
}

// The index past the string token that opens at text[begin], or npos.
size_t StringEnd(const std::string& text, size_t begin)
{
    for (size_t i = begin + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i + 1;
    }
    return std::string::npos;
}

// The text a string token stands for, its escapes read.
std::string TokenText(const std::string& token)
{
    if (token.find('\\') == std::string::npos)
        return token.substr(1, token.size() - 2);
    Json::Value value;
    return Foundation::JsonParse(token, value) && value.isString() ? value.asString() : std::string();
}

// The index past the value that starts at text[begin], or npos.
size_t ValueEnd(const std::string& text, size_t begin)
{
    Json::Value value;
    if (begin >= text.size() || !Foundation::JsonParse(text.substr(begin), value))
        return std::string::npos;
    return begin + static_cast<size_t>(value.getOffsetLimit());
}

}  // namespace

// Walks the text rather than its parsed tree: a tree keeps one of several members of one
// name, and the text shows them all.
std::string MaskedRequestText(const std::string& text)
{
    std::string masked;
    size_t done = 0;
    size_t i = SkipBlank(text, 0);
    while (i < text.size()) {
        if (text[i] != '"') {
            i = SkipBlank(text, i + 1);
            continue;
        }
        const size_t end = StringEnd(text, i);
        if (end == std::string::npos)
            break;
        const size_t colon = SkipBlank(text, end);
        if (colon < text.size() && text[colon] == ':' && IsPasswordName(TokenText(text.substr(i, end - i)))) {
            const size_t value = SkipBlank(text, colon + 1);
            const size_t valueEnd = ValueEnd(text, value);
            masked.append(text, done, value - done);
            masked += kMask;
            done = valueEnd == std::string::npos ? text.size() : valueEnd;
            i = SkipBlank(text, done);
        } else {
            i = SkipBlank(text, end);
        }
    }
    if (done < text.size())
        masked.append(text, done, std::string::npos);
    return masked;
}

Json::Value MaskedRequest(const Json::Value& root)
{
    Json::Value copy = root;
    std::vector<Json::Value*> pending{&copy};
    while (!pending.empty()) {
        Json::Value* value = pending.back();
        pending.pop_back();
        if (value->isObject()) {
            for (const std::string& name : value->getMemberNames()) {
                Json::Value& member = (*value)[name];
                if (IsPasswordName(name))
                    member = "***";
                else
                    pending.push_back(&member);
            }
        } else if (value->isArray()) {
            for (Json::Value& item : *value)
                pending.push_back(&item);
        }
    }
    return copy;
}
