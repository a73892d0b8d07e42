// A reference to any object together with its class name, for code that names the objects it
// deals with in messages (a notification's sender, a subscriber).
#pragma once

#include <cstddef>
#include <string>
#include <typeinfo>

// The readable (demangled) form of a type's name.
std::string CvTypeName(const std::type_info& type);

class TCvObjectRef {
public:
    TCvObjectRef() = default;
    TCvObjectRef(std::nullptr_t) {}
    // The dynamic class of a polymorphic object, the static one otherwise.
    template <typename T>
    TCvObjectRef(const T* object)
        : fObject(object)
        , fClassName(object ? CvTypeName(typeid(*object)) : std::string())
    {
    }

    const void* Object() const { return fObject; }
    // The class name, or "Unknown" for no object.
    std::string ClassName() const { return fObject ? fClassName : std::string("Unknown"); }
    explicit operator bool() const { return fObject != nullptr; }
    // The same object, whatever the name it was given as.
    bool operator==(const TCvObjectRef& other) const { return fObject == other.fObject; }

private:
    const void* fObject = nullptr;
    std::string fClassName;
};
