#pragma once

// Callable records: {function, object, call kind, spare word}.
// Kind 0 is empty, kind 2 a plain function, any other kind a member function
// called on the stored object. Callers test empty() before calling.

#include <cstdint>
#include <utility>

namespace Tarvo {
namespace Infra {

enum FunctionCallKind : int32_t
{
    kFunctionEmpty = 0,
    kFunctionMember = 1,
    kFunctionPlain = 2,
};

template <class R, class... Args>
class TFunction
{
public:
    using PlainFunction = R (*)(Args...);

    TFunction() = default;

    // A plain function; a null pointer gives an empty record.
    TFunction(PlainFunction function)
        : m_function(reinterpret_cast<void (*)()>(function)),
          m_kind(function ? kFunctionPlain : kFunctionEmpty)
    {
    }

    // A member function bound to an object: TFunction<...>::member<&C::f>(object).
    // A null object gives an empty record.
    template <auto Member, class C>
    static TFunction member(C* object)
    {
        TFunction f;
        if (object) {
            f.m_function = reinterpret_cast<void (*)()>(&memberStub<C, Member>);
            f.m_object = object;
            f.m_kind = kFunctionMember;
        }
        return f;
    }

    bool empty() const { return m_kind == kFunctionEmpty || !m_function; }
    int32_t kind() const { return m_kind; }
    void* object() const { return m_object; }

    R operator()(Args... args) const
    {
        if (m_kind == kFunctionPlain)
            return reinterpret_cast<PlainFunction>(m_function)(std::forward<Args>(args)...);
        return reinterpret_cast<R (*)(void*, Args...)>(m_function)(m_object,
                                                                  std::forward<Args>(args)...);
    }

    bool operator==(const TFunction& other) const
    {
        return m_function == other.m_function && m_object == other.m_object
            && m_kind == other.m_kind;
    }
    bool operator!=(const TFunction& other) const { return !(*this == other); }

private:
    template <class C, auto Member>
    static R memberStub(void* object, Args... args)
    {
        return (static_cast<C*>(object)->*Member)(std::forward<Args>(args)...);
    }

    void (*m_function)() = nullptr;
    void* m_object = nullptr;
    int32_t m_kind = kFunctionEmpty;
    int32_t m_spare = 0;
};

template <class R>
using TFunction0 = TFunction<R>;
template <class R, class A1>
using TFunction1 = TFunction<R, A1>;
template <class R, class A1, class A2>
using TFunction2 = TFunction<R, A1, A2>;
template <class R, class A1, class A2, class A3>
using TFunction3 = TFunction<R, A1, A2, A3>;

} // namespace Infra
} // namespace Tarvo
