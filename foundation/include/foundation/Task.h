#pragma once
// A unit of work that a worker thread runs, and a task that calls one member function.

#include <foundation/SharedPtr.h>

namespace Foundation {

class ITask {
public:
    virtual ~ITask() = default;
    virtual bool Run() = 0;
    virtual bool IsRunnable() = 0;
};

// The empty argument list of a task's member function.
struct Tuple0 {};

template <class Class, class Member = void (Class::*)(), class Args = Tuple0>
class CTask;

template <class Class>
class CTask<Class, void (Class::*)(), Tuple0> final : public ITask {
public:
    CTask(Class* object, void (Class::*member)()) noexcept : m_object(object), m_member(member) {}

    bool Run() override
    {
        (m_object->*m_member)();
        return true;
    }
    bool IsRunnable() override { return true; }

private:
    Class* m_object;
    void (Class::*m_member)();
};

// A task shared as tasks are handed around: deleted when its last owner goes.
template <class Class>
CSharedPtr<ITask> MakeTask(Class* object, void (Class::*member)())
{
    return CSharedPtr<ITask>(static_cast<ITask*>(new CTask<Class>(object, member)));
}

}  // namespace Foundation
