#include "requestlog.h"

#include <QString>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

const char kMask[] = "\"***\"";

bool IsPasswordName(const std::string& name)
{
    return QString::fromStdString(name).compare(QLatin1String("password"), Qt::CaseInsensitive)
        == 0;
}

// Text ranges of the password values below value, in the text it was parsed from.
void CollectRanges(const Json::Value& value, std::vector<std::pair<size_t, size_t>>& ranges)
{
    if (value.isObject()) {
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (IsPasswordName(it.name()))
                ranges.emplace_back(static_cast<size_t>(it->getOffsetStart()),
                                    static_cast<size_t>(it->getOffsetLimit()));
            else
                CollectRanges(*it, ranges);
        }
    } else if (value.isArray()) {
        for (const Json::Value& item : value)
            CollectRanges(item, ranges);
    }
}

}  // namespace

std::string MaskedRequestText(const std::string& text)
{
    try {
        Json::Value root;
        Json::Reader reader;
        if (!reader.parse(text.data(), text.data() + text.size(), root, false))
            return text;
        std::vector<std::pair<size_t, size_t>> ranges;
        CollectRanges(root, ranges);
        std::sort(ranges.begin(), ranges.end());
        std::string masked;
        size_t done = 0;
        for (const auto& range : ranges) {
            if (range.first < done || range.second > text.size() || range.first > range.second)
                continue;
            masked.append(text, done, range.first - done);
            masked += kMask;
            done = range.second;
        }
        masked.append(text, done, std::string::npos);
        return masked;
    } catch (...) {
        return std::string();
    }
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
