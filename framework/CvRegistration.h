// Registrations that undo themselves.
//
// A registry (an object others register handlers with) holds a TCvLifetime. Registering gives
// back a TCvRegistration, which the handler's owner keeps as a member: when the owner goes, the
// registration goes and takes the handler out of the registry; when the registry went first,
// the registration sees that and does nothing. Teardown then needs no hand-kept order.
#pragma once

#include <functional>
#include <memory>

class TCvLifetime {
public:
    TCvLifetime() : fToken(std::make_shared<char>(0)) {}
    TCvLifetime(const TCvLifetime&) = delete;
    TCvLifetime& operator=(const TCvLifetime&) = delete;
    // A watch that expires when this lifetime ends.
    std::weak_ptr<const void> Watch() const { return fToken; }

private:
    std::shared_ptr<const char> fToken;
};

class [[nodiscard]] TCvRegistration {
public:
    TCvRegistration() = default;
    // `undo` runs once, when the registration is reset or destroyed, while `registry` lives.
    TCvRegistration(const TCvLifetime& registry, std::function<void()> undo);
    ~TCvRegistration() { Reset(); }
    TCvRegistration(TCvRegistration&& other) noexcept;
    TCvRegistration& operator=(TCvRegistration&& other) noexcept;
    TCvRegistration(const TCvRegistration&) = delete;
    TCvRegistration& operator=(const TCvRegistration&) = delete;

    // Undoes the registration now (nothing when the registry is gone or it was undone).
    void Reset();
    // Whether there is a registration still to undo.
    bool Active() const { return static_cast<bool>(fUndo) && !fRegistry.expired(); }
    explicit operator bool() const { return Active(); }

private:
    std::weak_ptr<const void> fRegistry;
    std::function<void()> fUndo;
};
