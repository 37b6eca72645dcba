#pragma once
// A type-erased value box: copying clones the held value, destruction deletes it.

#include <type_traits>
#include <typeinfo>
#include <utility>

namespace Foundation {

class Any {
public:
    class PlaceHolder {
    public:
        virtual ~PlaceHolder() = default;
        virtual const std::type_info& type() const = 0;
        virtual PlaceHolder* clone() const = 0;
    };

    template <class T>
    class Holder final : public PlaceHolder {
    public:
        explicit Holder(const T& value) : m_held(value) {}
        explicit Holder(T&& value) : m_held(std::move(value)) {}
        const std::type_info& type() const override { return typeid(T); }
        PlaceHolder* clone() const override { return new Holder(m_held); }

        T m_held;
    };

    Any() noexcept = default;
    // Takes over a newly allocated holder.
    explicit Any(PlaceHolder* holder) noexcept : m_content(holder) {}
    template <class T, class = std::enable_if_t<!std::is_same_v<std::decay_t<T>, Any>
                                         && !std::is_convertible_v<std::decay_t<T>, PlaceHolder*>>>
    explicit Any(T&& value) : m_content(new Holder<std::decay_t<T>>(std::forward<T>(value)))
    {
    }
    Any(const Any& other) : m_content(other.m_content ? other.m_content->clone() : nullptr) {}
    Any(Any&& other) noexcept : m_content(other.m_content) { other.m_content = nullptr; }
    ~Any() { delete m_content; }

    Any& operator=(const Any& other)
    {
        if (this != &other) {
            Any copy(other);
            swap(copy);
        }
        return *this;
    }
    Any& operator=(Any&& other) noexcept
    {
        if (this != &other) {
            delete m_content;
            m_content = other.m_content;
            other.m_content = nullptr;
        }
        return *this;
    }

    void swap(Any& other) noexcept { std::swap(m_content, other.m_content); }
    bool empty() const noexcept { return m_content == nullptr; }
    void clear() noexcept
    {
        delete m_content;
        m_content = nullptr;
    }
    const std::type_info& type() const { return m_content ? m_content->type() : typeid(void); }
    PlaceHolder* GetHolder() const noexcept { return m_content; }

private:
    PlaceHolder* m_content = nullptr;
};

// The held value when the box holds exactly a T, else null. Type identity is compared by
// type_info, which holds across shared objects built by the same compiler.
template <class T>
T* AnyCast(Any* any) noexcept
{
    if (any == nullptr || any->empty() || any->type() != typeid(T)) {
        return nullptr;
    }
    return &static_cast<Any::Holder<T>*>(any->GetHolder())->m_held;
}

template <class T>
const T* AnyCast(const Any* any) noexcept
{
    return AnyCast<T>(const_cast<Any*>(any));
}

}  // namespace Foundation
