#pragma once
// A published JSON method: one member function of one object (or one free function)
// bound to the names of its parameters. It checks a request's named parameters, converts
// them by the member's parameter types, calls the member and writes the reply text.

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include <json/json.h>

#include <foundation/JsonRead.h>

namespace Foundation {

class IComInterface {
public:
    virtual ~IComInterface() = default;
    virtual bool CheckParams(int count, const Json::Value& params) const = 0;
    virtual bool CheckParamsText(int count, const char* requestText) const = 0;
    virtual std::string Invoke(int id, const char* requestText) const = 0;
    virtual bool GetParamNames(char names[][100], int count) const = 0;
    virtual bool GetFlag() const = 0;
};

// The parameter names of a method, one per parameter type, in declaration order.
template <class... T>
class ParamTuple {
public:
    static constexpr std::size_t kCount = sizeof...(T);

    ParamTuple() = default;
    explicit ParamTuple(const char* const* names)
    {
        for (std::size_t i = 0; i < kCount; ++i) {
            m_names[i] = names[i] ? names[i] : "";
        }
    }
    const std::string& Name(std::size_t i) const { return m_names[i]; }

private:
    std::array<std::string, kCount> m_names;
};

using ParamTuple0 = ParamTuple<>;
template <class T1>
using ParamTuple1 = ParamTuple<T1>;
template <class T1, class T2>
using ParamTuple2 = ParamTuple<T1, T2>;
template <class T1, class T2, class T3>
using ParamTuple3 = ParamTuple<T1, T2, T3>;
template <class T1, class T2, class T3, class T4>
using ParamTuple4 = ParamTuple<T1, T2, T3, T4>;
template <class T1, class T2, class T3, class T4, class T5>
using ParamTuple5 = ParamTuple<T1, T2, T3, T4, T5>;
template <class T1, class T2, class T3, class T4, class T5, class T6>
using ParamTuple6 = ParamTuple<T1, T2, T3, T4, T5, T6>;
template <class T1, class T2, class T3, class T4, class T5, class T6, class T7>
using ParamTuple7 = ParamTuple<T1, T2, T3, T4, T5, T6, T7>;

namespace Detail {

template <class T>
struct DependentFalse : std::false_type {};

// Acceptance and conversion of one parameter, by its decayed type. `value` is the named
// member of "params", or null when missing. Conversions are total and never throw.
template <class T>
struct JsonParam {
    static_assert(DependentFalse<T>::value,
                  "published parameters are int, long, float, bool, std::string, const char* or Json::Value");
};

template <>
struct JsonParam<int> {
    static bool Accepts(const Json::Value* v) noexcept { return v && JsonIsNumber(*v); }
    static int Convert(const Json::Value* v) noexcept { return v ? JsonToInt(*v) : 0; }
};

template <>
struct JsonParam<long> {
    static bool Accepts(const Json::Value* v) noexcept { return JsonParam<int>::Accepts(v); }
    static long Convert(const Json::Value* v) noexcept { return JsonParam<int>::Convert(v); }
};

template <>
struct JsonParam<float> {
    static bool Accepts(const Json::Value* v) noexcept
    {
        return v && (v->type() == Json::intValue || v->type() == Json::realValue);
    }
    static float Convert(const Json::Value* v) noexcept
    {
        return Accepts(v) ? static_cast<float>(v->asDouble()) : 0.0f;
    }
};

template <>
struct JsonParam<bool> {
    static bool Accepts(const Json::Value* v) noexcept { return v && v->isBool(); }
    static bool Convert(const Json::Value* v) noexcept { return v ? JsonToBool(*v) : false; }
};

template <>
struct JsonParam<std::string> {
    static bool Accepts(const Json::Value* v) noexcept { return v && v->isString(); }
    static std::string Convert(const Json::Value* v) { return v ? JsonStringOrEmpty(*v) : std::string(); }
};

template <>
struct JsonParam<const char*> {
    static bool Accepts(const Json::Value* v) noexcept { return v && v->isString(); }
    // Points into the parsed request, which outlives the call.
    static const char* Convert(const Json::Value* v) noexcept { return v ? JsonCStringOrEmpty(*v) : ""; }
};

template <>
struct JsonParam<Json::Value> {
    static bool Accepts(const Json::Value*) noexcept { return true; }
    static Json::Value Convert(const Json::Value* v) { return v ? *v : Json::Value(); }
};

template <class R>
void SetResult(Json::Value& root, R&& result)
{
    using D = std::decay_t<R>;
    static_assert(std::is_same_v<D, bool> || std::is_same_v<D, int> || std::is_same_v<D, std::string>
                      || std::is_same_v<D, Json::Value>,
                  "published results are bool, int, std::string or Json::Value");
    root["result"] = Json::Value(std::forward<R>(result));
}

}  // namespace Detail

template <class Class, class Member, class Tuple, class Result>
class CComMethod;

template <class Class, class Member, class... A, class Result>
class CComMethod<Class, Member, ParamTuple<A...>, Result> final : public IComInterface {
public:
    static constexpr std::size_t kCount = sizeof...(A);

    CComMethod(Class* object, Member member, const ParamTuple<A...>& names, bool flag)
        : m_object(object), m_member(member), m_names(names), m_flag(flag)
    {
    }

    bool CheckParams(int count, const Json::Value& params) const override
    {
        if (count != static_cast<int>(kCount)) {
            return false;
        }
        if constexpr (kCount == 0) {
            return params.isNull();
        } else {
            return AcceptsAll(params, std::index_sequence_for<A...>());
        }
    }

    bool CheckParamsText(int count, const char* requestText) const override
    {
        if constexpr (kCount == 0) {
            return count == 0;
        } else {
            Json::Value params;
            if (!ParseJsonRequestParams(requestText, params)) {
                return false;
            }
            return CheckParams(count, params);
        }
    }

    std::string Invoke(int id, const char* requestText) const override
    {
        try {
            Json::Value params;
            if constexpr (kCount != 0) {
                if (!ParseJsonRequestParams(requestText, params)) {
                    return std::string();
                }
            }
            Json::Value root(Json::objectValue);
            root["id"] = Json::Value(id);
            CallWith(root, params, std::index_sequence_for<A...>());
            std::string reply;
            reply.reserve(1024);
            reply += JsonStyledText(root);
            return reply;
        } catch (...) {
            // Nothing leaves a published method; an empty reply means "no answer".
            return std::string();
        }
    }

    bool GetParamNames(char names[][100], int count) const override
    {
        if (count != static_cast<int>(kCount)) {
            return false;
        }
        for (std::size_t i = 0; i < kCount; ++i) {
            if (m_names.Name(i).size() >= 99) {
                return false;
            }
        }
        for (std::size_t i = 0; i < kCount; ++i) {
            const std::string& name = m_names.Name(i);
            std::memcpy(names[i], name.c_str(), name.size() + 1);
        }
        return true;
    }

    bool GetFlag() const override { return m_flag; }

private:
    template <std::size_t... I>
    bool AcceptsAll(const Json::Value& params, std::index_sequence<I...>) const
    {
        return (Detail::JsonParam<std::decay_t<A>>::Accepts(JsonFind(params, m_names.Name(I))) && ...);
    }

    template <std::size_t... I>
    void CallWith(Json::Value& root, const Json::Value& params, std::index_sequence<I...>) const
    {
        std::tuple<std::decay_t<A>...> args(
            Detail::JsonParam<std::decay_t<A>>::Convert(JsonFind(params, m_names.Name(I)))...);
        (void)args;
        if constexpr (std::is_void_v<Result>) {
            // A method without a result answers the string "null", set before the call.
            root["result"] = Json::Value("null");
            Call(std::get<I>(args)...);
        } else {
            Detail::SetResult(root, Call(std::get<I>(args)...));
        }
    }

    template <class... P>
    Result Call(P&... args) const
    {
        if constexpr (std::is_member_function_pointer_v<Member>) {
            return (m_object->*m_member)(args...);
        } else {
            return m_member(args...);
        }
    }

    Class* m_object;
    Member m_member;
    ParamTuple<A...> m_names;
    bool m_flag;
};

// Factories: (object, member, the N parameter names, flag) -> new method object. The
// number of names must equal the member's number of parameters.

template <class C, class R, class... A, std::size_t N>
CComMethod<C, R (C::*)(A...), ParamTuple<A...>, R>* MakeComMethod(C* object, R (C::*member)(A...),
                                                                  const char* const (&names)[N],
                                                                  bool flag = true)
{
    static_assert(N == sizeof...(A), "one parameter name per parameter");
    return new CComMethod<C, R (C::*)(A...), ParamTuple<A...>, R>(object, member, ParamTuple<A...>(names),
                                                                 flag);
}

template <class C, class R, class... A, std::size_t N>
CComMethod<C, R (C::*)(A...) const, ParamTuple<A...>, R>* MakeComMethod(C* object,
                                                                        R (C::*member)(A...) const,
                                                                        const char* const (&names)[N],
                                                                        bool flag = true)
{
    static_assert(N == sizeof...(A), "one parameter name per parameter");
    return new CComMethod<C, R (C::*)(A...) const, ParamTuple<A...>, R>(object, member,
                                                                       ParamTuple<A...>(names), flag);
}

template <class C, class R>
CComMethod<C, R (C::*)(), ParamTuple0, R>* MakeComMethod(C* object, R (C::*member)(), bool flag = true)
{
    return new CComMethod<C, R (C::*)(), ParamTuple0, R>(object, member, ParamTuple0(), flag);
}

template <class C, class R>
CComMethod<C, R (C::*)() const, ParamTuple0, R>* MakeComMethod(C* object, R (C::*member)() const,
                                                               bool flag = true)
{
    return new CComMethod<C, R (C::*)() const, ParamTuple0, R>(object, member, ParamTuple0(), flag);
}

template <class R, class... A, std::size_t N>
CComMethod<void, R (*)(A...), ParamTuple<A...>, R>* MakeComFunction(R (*function)(A...),
                                                                   const char* const (&names)[N],
                                                                   bool flag = true)
{
    static_assert(N == sizeof...(A), "one parameter name per parameter");
    return new CComMethod<void, R (*)(A...), ParamTuple<A...>, R>(nullptr, function, ParamTuple<A...>(names),
                                                                  flag);
}

template <class R>
CComMethod<void, R (*)(), ParamTuple0, R>* MakeComFunction(R (*function)(), bool flag = true)
{
    return new CComMethod<void, R (*)(), ParamTuple0, R>(nullptr, function, ParamTuple0(), flag);
}

}  // namespace Foundation
