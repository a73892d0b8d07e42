// A synchronous publish-and-subscribe dispatcher: numbered notification codes are registered,
// objects subscribe handlers to codes, and raising a notification calls the code's handlers
// one after the other on the caller's thread. Every step can be reported to the log.
#pragma once

#include "framework/CvEvent.h"
#include "framework/CvObjectRef.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

class TCvAppLog;
class TCvAppNotifier;

struct TCvAppNotifyDef {
    uint16_t Code = 0; // 0 is no valid code
    std::string Name;
    bool Log = false; // dispatches of this code are logged at information level
};

// One value of a notification's numeric or reference parameters.
struct TCvAppNotifyValue {
    uintptr_t Bits = 0;
    TCvAppNotifyValue(int32_t v) : Bits(static_cast<uintptr_t>(static_cast<intptr_t>(v))) {}
    TCvAppNotifyValue(uint32_t v) : Bits(v) {}
    TCvAppNotifyValue(const void* p) : Bits(reinterpret_cast<uintptr_t>(p)) {}
};

// One notification being dispatched; every handler gets the same record.
struct TCvAppNotification {
    uint16_t Code = 0;
    TCvObjectRef Sender;                // who raised it; may be none
    TCvAppNotifier* Notifier = nullptr; // set when dispatch begins
    int32_t Result = 0;                 // the raiser's default; handlers may change it
    std::array<std::string, 4> StrParam;
    // One storage for four parameters, read as pointers, objects, signed or unsigned integers.
    std::array<uintptr_t, 4> Param{};

    void* PtrParam(size_t i) const { return i < 4 ? reinterpret_cast<void*>(Param[i]) : nullptr; }
    void* ObjParam(size_t i) const { return PtrParam(i); }
    int32_t IntParam(size_t i) const { return i < 4 ? static_cast<int32_t>(static_cast<uint32_t>(Param[i])) : 0; }
    uint32_t UintParam(size_t i) const { return i < 4 ? static_cast<uint32_t>(Param[i]) : 0; }
    void SetParam(size_t i, TCvAppNotifyValue value)
    {
        if (i < 4)
            Param[i] = value.Bits;
    }
};

using TCvAppNotifyHandler = TCvEvent<TCvAppNotification>;
// Called for every dispatch of a registered code before its handlers; the record's Notifier
// names the notifier.
using TCvAppNotifyEvent = TCvEvent<TCvAppNotification>;

class TCvAppNotifier {
public:
    struct TCvAppNotifyHandlerDef {
        TCvObjectRef Sender; // the subscriber: named in messages, removes all its subscriptions
        TCvAppNotifyHandler Handler;
    };
    // Subscriptions in call order; lookups compare the handler only, never the sender.
    class TCvAppNotifyHandlerList {
    public:
        int Find(const TCvAppNotifyHandler& handler) const;
        bool Contains(const TCvAppNotifyHandler& handler) const { return Find(handler) >= 0; }
        // Deletes the first match; its former index, or -1.
        int Remove(const TCvAppNotifyHandler& handler);
        std::vector<TCvAppNotifyHandlerDef> Items;
    };
    struct TCvAppNotifyLibraryEntry {
        TCvAppNotifyDef NotifyDef;
        TCvAppNotifyHandlerList Handlers;
    };

    TCvAppNotifier() = default;
    TCvAppNotifier(const TCvAppNotifier&) = delete;
    TCvAppNotifier& operator=(const TCvAppNotifier&) = delete;

    bool RegisterCode(uint16_t code, const std::string& name, bool log);
    bool RegisterCode(const TCvAppNotifyDef& def);
    bool UnregisterCode(uint16_t code);

    // With priority the subscription goes to the front (moved there if it was in the list);
    // without, it is appended unless the handler is already subscribed.
    bool RegisterHandler(const TCvObjectRef& sender, uint16_t code, const TCvAppNotifyHandler& handler,
                         bool priority = false);
    bool UnregisterHandler(const TCvObjectRef& sender);
    bool UnregisterHandler(const TCvObjectRef& sender, const TCvAppNotifyHandler& handler);
    bool UnregisterHandler(const TCvObjectRef& sender, uint16_t code, const TCvAppNotifyHandler& handler);

    // Dispatches to the code's handlers in list order and returns the record's Result. A
    // handler may change the subscriptions: one removed during the dispatch is not called any
    // more, one added is first called by the next dispatch.
    int32_t Notify(TCvAppNotification& notification);
    int32_t Notify(uint16_t code, const TCvObjectRef& sender, int32_t defaultResult);
    int32_t Notify(uint16_t code, const TCvObjectRef& sender, const std::string& str, int32_t defaultResult);
    int32_t Notify(uint16_t code, const TCvObjectRef& sender, int32_t defaultResult,
                   std::initializer_list<TCvAppNotifyValue> values);

    std::vector<TCvAppNotifyDef> Codes() const;
    // Subscriptions of a code in call order (empty for a code not registered).
    std::vector<TCvAppNotifyHandlerDef> Handlers(uint16_t code) const;

    TCvAppLog* Log() const { return fLog; }
    // Also switches information logging on exactly when a log is given.
    void SetLog(TCvAppLog* log);
    bool LogEnable() const { return fLogEnable; }
    void SetLogEnable(bool value) { fLogEnable = value; }
    bool LogDebug() const { return fLogDebug; }
    void SetLogDebug(bool value) { fLogDebug = value; }
    const TCvAppNotifyEvent& OnNotify() const { return fOnNotify; }
    void SetOnNotify(const TCvAppNotifyEvent& handler) { fOnNotify = handler; }

private:
    template <typename... TArgs>
    void Debug(int type, const std::string& format, const TArgs&... args);
    void RemoveMatching(TCvAppNotifyLibraryEntry& entry, const TCvObjectRef& sender, bool bySender,
                        const TCvAppNotifyHandler& handler, bool& removed);

    std::map<uint16_t, TCvAppNotifyLibraryEntry> fNotifyLibrary;
    TCvAppLog* fLog = nullptr;
    bool fLogEnable = false;
    bool fLogDebug = false;
    TCvAppNotifyEvent fOnNotify;
};

// The program-wide notifier; set by the application core right after creating it.
extern TCvAppNotifier* AppNotifier;
