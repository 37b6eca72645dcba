#pragma once
// A delegate is an object pointer plus a member function of that object's class.
// Two delegates are the same handler when both the object and the member are equal;
// a delegate whose object is null is empty and is never called.

#include <cstring>
#include <type_traits>
#include <utility>

namespace fastdelegate {

namespace detail {
class GenericClass;
// Member-function pointers of single, multiple and virtual inheritance share one size
// under the Itanium ABI; the storage below holds any of them bit for bit.
using GenericMember = void (GenericClass::*)();
constexpr std::size_t kMemberSize = sizeof(GenericMember);
}  // namespace detail

template <class Signature>
class FastDelegate;

template <class R, class... A>
class FastDelegate<R(A...)> {
public:
    FastDelegate() noexcept = default;

    template <class C>
    FastDelegate(C* object, R (C::*member)(A...)) noexcept
    {
        Bind(object, member, &Stub<C, R (C::*)(A...)>);
    }

    template <class C>
    FastDelegate(const C* object, R (C::*member)(A...) const) noexcept
    {
        Bind(const_cast<C*>(object), member, &Stub<const C, R (C::*)(A...) const>);
    }

    bool empty() const noexcept { return m_object == nullptr; }
    explicit operator bool() const noexcept { return m_object != nullptr; }
    void clear() noexcept { *this = FastDelegate(); }

    void* GetObject() const noexcept { return m_object; }

    // Calls the member on the object. The caller tests empty() first; an empty delegate
    // answers a value-initialised result.
    R operator()(A... args) const
    {
        if (m_object == nullptr || m_invoke == nullptr) {
            if constexpr (std::is_void_v<R>) {
                return;
            } else {
                return R();
            }
        }
        return m_invoke(m_object, m_member, std::forward<A>(args)...);
    }

    friend bool operator==(const FastDelegate& a, const FastDelegate& b) noexcept
    {
        return a.m_object == b.m_object
            && std::memcmp(a.m_member, b.m_member, detail::kMemberSize) == 0;
    }
    friend bool operator!=(const FastDelegate& a, const FastDelegate& b) noexcept
    {
        return !(a == b);
    }

private:
    using Invoker = R (*)(void*, const unsigned char*, A...);

// Calling through a member pointer reads a vtable slot only for virtual members; the
// compiler cannot see that and warns for classes without one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
    template <class C, class M>
    static R Stub(void* object, const unsigned char* memberBytes, A... args)
    {
        M member;
        std::memcpy(&member, memberBytes, sizeof(M));
        return (static_cast<C*>(object)->*member)(std::forward<A>(args)...);
    }
#pragma GCC diagnostic pop

    template <class C, class M>
    void Bind(C* object, M member, Invoker invoke) noexcept
    {
        static_assert(sizeof(M) <= detail::kMemberSize, "unsupported member pointer size");
        m_object = object;
        std::memcpy(m_member, &member, sizeof(M));
        m_invoke = invoke;
    }

    void* m_object = nullptr;
    unsigned char m_member[detail::kMemberSize] = {};
    Invoker m_invoke = nullptr;
};

// The fixed-arity names; the result type comes last and defaults to void.
template <class R = void>
using FastDelegate0 = FastDelegate<R()>;
template <class A1, class R = void>
using FastDelegate1 = FastDelegate<R(A1)>;
template <class A1, class A2, class R = void>
using FastDelegate2 = FastDelegate<R(A1, A2)>;
template <class A1, class A2, class A3, class R = void>
using FastDelegate3 = FastDelegate<R(A1, A2, A3)>;
template <class A1, class A2, class A3, class A4, class R = void>
using FastDelegate4 = FastDelegate<R(A1, A2, A3, A4)>;

template <class C, class R, class... A>
FastDelegate<R(A...)> MakeDelegate(C* object, R (C::*member)(A...)) noexcept
{
    return FastDelegate<R(A...)>(object, member);
}

template <class C, class R, class... A>
FastDelegate<R(A...)> MakeDelegate(const C* object, R (C::*member)(A...) const) noexcept
{
    return FastDelegate<R(A...)>(object, member);
}

}  // namespace fastdelegate
