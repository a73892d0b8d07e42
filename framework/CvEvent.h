// Comparable event delegate: an object and one of its member functions taking a Params record.
// Two delegates are equal when both the object and the method are equal, so a handler list can
// find and remove "the same method of the same object".
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <utility>

template <typename TParams>
class TCvEvent {
public:
    TCvEvent() = default;

    template <typename TObject>
    TCvEvent(TObject* object, void (TObject::*method)(TParams&))
        : fObject(object)
        , fInvoke(&Invoke<TObject>)
    {
        using TMethod = void (TObject::*)(TParams&);
        static_assert(sizeof(TMethod) <= sizeof(fMethod), "member pointer too large");
        std::memcpy(fMethod, &method, sizeof(TMethod));
    }

    // A callable without an object (glue code, tests). Equal only to copies of itself.
    template <typename TFunc>
    static TCvEvent FromFunction(TFunc&& func)
    {
        TCvEvent e;
        e.fFunction = std::make_shared<std::function<void(TParams&)>>(std::forward<TFunc>(func));
        e.fObject = e.fFunction.get();
        e.fInvoke = &InvokeFunction;
        return e;
    }

    explicit operator bool() const { return fInvoke != nullptr; }
    void Clear() { *this = TCvEvent(); }
    void operator()(TParams& params) const
    {
        if (fInvoke)
            fInvoke(fObject, fMethod, params);
    }
    bool operator==(const TCvEvent& other) const
    {
        return fObject == other.fObject && fInvoke == other.fInvoke
            && std::memcmp(fMethod, other.fMethod, sizeof(fMethod)) == 0;
    }
    const void* Object() const { return fObject; }

private:
    using TInvoke = void (*)(void*, const unsigned char*, TParams&);

    template <typename TObject>
    static void Invoke(void* object, const unsigned char* raw, TParams& params)
    {
        void (TObject::*method)(TParams&);
        std::memcpy(&method, raw, sizeof(method));
        (static_cast<TObject*>(object)->*method)(params);
    }
    static void InvokeFunction(void* object, const unsigned char*, TParams& params)
    {
        (*static_cast<std::function<void(TParams&)>*>(object))(params);
    }

    void* fObject = nullptr;
    TInvoke fInvoke = nullptr;
    unsigned char fMethod[2 * sizeof(void*)] = {};
    std::shared_ptr<std::function<void(TParams&)>> fFunction;
};
