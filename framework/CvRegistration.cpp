#include "framework/CvRegistration.h"

#include <utility>

TCvRegistration::TCvRegistration(const TCvLifetime& registry, std::function<void()> undo)
    : fRegistry(registry.Watch())
    , fUndo(std::move(undo))
{
}

TCvRegistration::TCvRegistration(TCvRegistration&& other) noexcept
    : fRegistry(std::move(other.fRegistry))
    , fUndo(std::exchange(other.fUndo, nullptr))
{
}

TCvRegistration& TCvRegistration::operator=(TCvRegistration&& other) noexcept
{
    if (this != &other) {
        Reset();
        fRegistry = std::move(other.fRegistry);
        fUndo = std::exchange(other.fUndo, nullptr);
    }
    return *this;
}

void TCvRegistration::Reset()
{
    std::function<void()> undo = std::exchange(fUndo, nullptr);
    if (undo && !fRegistry.expired())
        undo();
    fRegistry.reset();
}
