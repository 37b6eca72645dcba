#pragma once
// Reference-counted owning pointer whose count block is shared between threads.
// The count block also knows how to dispose of the object, so an object made in one
// module is always freed by that module's code.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include <foundation/Any.h>

namespace Foundation {

namespace Detail {

class CSPCountedBase {
public:
    CSPCountedBase() noexcept = default;
    CSPCountedBase(const CSPCountedBase&) = delete;
    CSPCountedBase& operator=(const CSPCountedBase&) = delete;
    virtual ~CSPCountedBase() = default;
    // Destroys the owned object.
    virtual void dispose() noexcept = 0;
    // Deletes the count block itself.
    virtual void destroy() noexcept { delete this; }

    int32_t AddRef() noexcept { return m_useCount.fetch_add(1, std::memory_order_acq_rel) + 1; }
    int32_t DecRef() noexcept { return m_useCount.fetch_sub(1, std::memory_order_acq_rel) - 1; }
    int32_t UseCount() const noexcept { return m_useCount.load(std::memory_order_acquire); }

private:
    std::atomic<int32_t> m_useCount{1};
};

template <class T>
class CSPCountedImp_p final : public CSPCountedBase {
public:
    explicit CSPCountedImp_p(T* object) noexcept : m_object(object) {}
    void dispose() noexcept override
    {
        delete m_object;
        m_object = nullptr;
    }

private:
    T* m_object;
};

template <class T, class D>
class CSPCountedImp_pd final : public CSPCountedBase {
public:
    CSPCountedImp_pd(T* object, D deleter) noexcept : m_object(object), m_deleter(deleter) {}
    void dispose() noexcept override
    {
        if (m_deleter) {
            m_deleter(m_object);
        }
        m_object = nullptr;
    }

private:
    T* m_object;
    D m_deleter;
};

}  // namespace Detail

template <class T>
class CSharedPtr {
public:
    using element_type = T;

    CSharedPtr() noexcept = default;
    CSharedPtr(std::nullptr_t) noexcept {}

    // Owns the object; it is deleted through its own type when the last owner goes.
    template <class U>
    explicit CSharedPtr(U* object)
    {
        if (object != nullptr) {
            m_count = new Detail::CSPCountedImp_p<U>(object);
            m_object = object;
        }
    }

    // Owns the object; the deleter is called with it when the last owner goes.
    template <class U, class D>
    CSharedPtr(U* object, D deleter)
    {
        if (object != nullptr) {
            m_count = new Detail::CSPCountedImp_pd<U, D>(object, deleter);
            m_object = object;
        }
    }

    CSharedPtr(const CSharedPtr& other) noexcept : m_object(other.m_object), m_count(other.m_count)
    {
        if (m_count != nullptr) {
            m_count->AddRef();
        }
    }

    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    CSharedPtr(const CSharedPtr<U>& other) noexcept : m_object(other.m_object), m_count(other.m_count)
    {
        if (m_count != nullptr) {
            m_count->AddRef();
        }
    }

    CSharedPtr(CSharedPtr&& other) noexcept : m_object(other.m_object), m_count(other.m_count)
    {
        other.m_object = nullptr;
        other.m_count = nullptr;
    }

    ~CSharedPtr() { Release(); }

    CSharedPtr& operator=(const CSharedPtr& other) noexcept
    {
        if (m_count != other.m_count) {
            if (other.m_count != nullptr) {
                other.m_count->AddRef();
            }
            Release();
            m_count = other.m_count;
        }
        m_object = other.m_object;
        return *this;
    }

    CSharedPtr& operator=(CSharedPtr&& other) noexcept
    {
        if (this != &other) {
            Release();
            m_object = other.m_object;
            m_count = other.m_count;
            other.m_object = nullptr;
            other.m_count = nullptr;
        }
        return *this;
    }

    void reset() noexcept
    {
        Release();
        m_object = nullptr;
        m_count = nullptr;
    }

    T* get() const noexcept { return m_object; }
    T* operator->() const noexcept { return m_object; }
    T& operator*() const noexcept { return *m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }
    int32_t use_count() const noexcept { return m_count ? m_count->UseCount() : 0; }

    void swap(CSharedPtr& other) noexcept
    {
        std::swap(m_object, other.m_object);
        std::swap(m_count, other.m_count);
    }

    friend bool operator==(const CSharedPtr& a, const CSharedPtr& b) noexcept
    {
        return a.m_object == b.m_object;
    }
    friend bool operator!=(const CSharedPtr& a, const CSharedPtr& b) noexcept
    {
        return a.m_object != b.m_object;
    }

private:
    template <class U>
    friend class CSharedPtr;

    void Release() noexcept
    {
        if (m_count != nullptr && m_count->DecRef() == 0) {
            m_count->dispose();
            m_count->destroy();
        }
    }

    T* m_object = nullptr;
    Detail::CSPCountedBase* m_count = nullptr;
};

// The shared pointer boxed in an Any, as one more owner. An empty box, or one that holds
// something other than a CSharedPtr<T>, yields an empty pointer.
template <class T>
CSharedPtr<T> CopyFromHolder(const Any& any) noexcept
{
    const CSharedPtr<T>* held = AnyCast<CSharedPtr<T>>(&any);
    return held ? *held : CSharedPtr<T>();
}

}  // namespace Foundation
