// Shared by the exported functions.
#ifndef OUTSIDE_QUILLNET_API_COMMON_H
#define OUTSIDE_QUILLNET_API_COMMON_H

#include "state.h"
#include "workers.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>

namespace quillnet {

inline void AppendArgs(Json::Value &) {}
template <class T, class... Rest> void AppendArgs(Json::Value &a, const T &first, const Rest &...rest)
{
    a.append(Json::Value(first));
    AppendArgs(a, rest...);
}
template <class... T> Json::Value Args(const T &...values)
{
    Json::Value a(Json::arrayValue);
    AppendArgs(a, values...);
    return a;
}

std::string DevicesFolder();
// Removes and closes an endpoint of one of the kinds; 0 when the handle is not one.
int StopEndpoint(qn_handle handle, std::initializer_list<Kind> kinds);
void StopAll(qn_handle login);   // 0: everything
bool LoginOf(qn_handle login, Login &out);

}  // namespace quillnet

#endif
