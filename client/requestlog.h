#pragma once

#include <json/json.h>

#include <string>

// Request texts as the bridge writes them to the debug output: the value of
// every member named "password" (in any letter case, at any depth) is masked,
// all else stays as it was.
std::string MaskedRequestText(const std::string& text);
Json::Value MaskedRequest(const Json::Value& root);
