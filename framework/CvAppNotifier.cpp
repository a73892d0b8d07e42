#include "framework/CvAppNotifier.h"

#include "framework/CvAppLog.h"

TCvAppNotifier* AppNotifier = nullptr;

int TCvAppNotifier::TCvAppNotifyHandlerList::Find(const TCvAppNotifyHandler& handler) const
{
    for (size_t i = 0; i < Items.size(); ++i)
        if (Items[i].Handler == handler)
            return static_cast<int>(i);
    return -1;
}

int TCvAppNotifier::TCvAppNotifyHandlerList::Remove(const TCvAppNotifyHandler& handler)
{
    const int index = Find(handler);
    if (index >= 0)
        Items.erase(Items.begin() + index);
    return index;
}

template <typename... TArgs>
void TCvAppNotifier::Debug(int type, const std::string& format, const TArgs&... args)
{
    if (fLog && fLogDebug)
        fLog->Add(static_cast<TCvAppLogMsgType>(type), format, args...);
}

void TCvAppNotifier::SetLog(TCvAppLog* log)
{
    fLog = log;
    fLogEnable = log != nullptr;
}

bool TCvAppNotifier::RegisterCode(uint16_t code, const std::string& name, bool log)
{
    TCvAppNotifyDef def;
    def.Code = code;
    def.Name = name;
    def.Log = log;
    return RegisterCode(def);
}

bool TCvAppNotifier::RegisterCode(const TCvAppNotifyDef& def)
{
    if (def.Code == 0 || fNotifyLibrary.count(def.Code) > 0) {
        Debug(logError, "Failed to register notification code \"%s\" (0x%0.4X).", def.Name, def.Code);
        return false;
    }
    TCvAppNotifyLibraryEntry entry;
    entry.NotifyDef = def;
    fNotifyLibrary.emplace(def.Code, std::move(entry));
    Debug(logInfo, "Registered notification code \"%s\" (0x%0.4X).", def.Name, def.Code);
    return true;
}

bool TCvAppNotifier::UnregisterCode(uint16_t code)
{
    const auto it = fNotifyLibrary.find(code);
    if (it == fNotifyLibrary.end()) {
        Debug(logError, "Failed to unregister notification code 0x%0.4X.", code);
        return false;
    }
    const std::string name = it->second.NotifyDef.Name;
    fNotifyLibrary.erase(it);
    Debug(logInfo, "Unregistered notification code \"%s\" (0x%0.4X).", name, code);
    return true;
}

bool TCvAppNotifier::RegisterHandler(const TCvObjectRef& sender, uint16_t code, const TCvAppNotifyHandler& handler,
                                     bool priority)
{
    const auto it = fNotifyLibrary.find(code);
    if (it == fNotifyLibrary.end()) {
        Debug(logError, "Failed to register notification handler 0x%0.4X for \"%s\".", code, sender.ClassName());
        return false;
    }
    TCvAppNotifyHandlerList& list = it->second.Handlers;
    if (priority) {
        list.Remove(handler);
        list.Items.insert(list.Items.begin(), TCvAppNotifyHandlerDef{sender, handler});
    } else if (!list.Contains(handler)) {
        list.Items.push_back(TCvAppNotifyHandlerDef{sender, handler});
    }
    Debug(logInfo, "Registered notification handler \"%s\" (0x%0.4X) for \"%s\".", it->second.NotifyDef.Name, code,
          sender.ClassName());
    return true;
}

void TCvAppNotifier::RemoveMatching(TCvAppNotifyLibraryEntry& entry, const TCvObjectRef& sender, bool bySender,
                                    const TCvAppNotifyHandler& handler, bool& removed)
{
    std::vector<TCvAppNotifyHandlerDef>& items = entry.Handlers.Items;
    for (size_t i = 0; i < items.size();) {
        const bool match = bySender ? items[i].Sender == sender : items[i].Handler == handler;
        if (!match) {
            ++i;
            continue;
        }
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
        removed = true;
        Debug(logInfo, "Unregistered notification handler \"%s\" (0x%0.4X) for \"%s\".", entry.NotifyDef.Name,
              entry.NotifyDef.Code, sender.ClassName());
    }
}

bool TCvAppNotifier::UnregisterHandler(const TCvObjectRef& sender)
{
    bool removed = false;
    for (auto& [code, entry] : fNotifyLibrary)
        RemoveMatching(entry, sender, true, TCvAppNotifyHandler(), removed);
    return removed;
}

bool TCvAppNotifier::UnregisterHandler(const TCvObjectRef& sender, const TCvAppNotifyHandler& handler)
{
    bool removed = false;
    for (auto& [code, entry] : fNotifyLibrary)
        RemoveMatching(entry, sender, false, handler, removed);
    return removed;
}

bool TCvAppNotifier::UnregisterHandler(const TCvObjectRef& sender, uint16_t code, const TCvAppNotifyHandler& handler)
{
    bool removed = false;
    const auto it = fNotifyLibrary.find(code);
    if (it != fNotifyLibrary.end())
        RemoveMatching(it->second, sender, false, handler, removed);
    return removed;
}

int32_t TCvAppNotifier::Notify(TCvAppNotification& notification)
{
    notification.Notifier = this;
    const uint16_t code = notification.Code;
    auto it = fNotifyLibrary.find(code);
    if (it == fNotifyLibrary.end()) {
        Debug(logWarning, "Unregistered notification 0x%0.4X raised by sender \"%s\".", code,
              notification.Sender.ClassName());
        return notification.Result;
    }
    const TCvAppNotifyLibraryEntry& entry = it->second;
    if (fLog && (fLogDebug || (fLogEnable && entry.NotifyDef.Log)))
        fLog->Add(logInfo, "Notification \"%s\" (0x%0.4X) raised to %u handlers from \"%s\".", entry.NotifyDef.Name,
                  code, static_cast<unsigned>(entry.Handlers.Items.size()), notification.Sender.ClassName());
    if (fOnNotify) {
        const TCvAppNotifyEvent onNotify = fOnNotify;
        onNotify(notification);
    }
    // Walk a copy, so handlers may change the list; each subscription is checked against the
    // live list before its call, so one removed meanwhile (perhaps destroyed) is not called.
    it = fNotifyLibrary.find(code);
    if (it == fNotifyLibrary.end())
        return notification.Result;
    const std::vector<TCvAppNotifyHandlerDef> snapshot = it->second.Handlers.Items;
    for (const TCvAppNotifyHandlerDef& def : snapshot) {
        it = fNotifyLibrary.find(code);
        if (it == fNotifyLibrary.end())
            break;
        if (!def.Handler || !it->second.Handlers.Contains(def.Handler))
            continue;
        def.Handler(notification);
    }
    return notification.Result;
}

int32_t TCvAppNotifier::Notify(uint16_t code, const TCvObjectRef& sender, int32_t defaultResult)
{
    TCvAppNotification n;
    n.Code = code;
    n.Sender = sender;
    n.Result = defaultResult;
    return Notify(n);
}

int32_t TCvAppNotifier::Notify(uint16_t code, const TCvObjectRef& sender, const std::string& str, int32_t defaultResult)
{
    TCvAppNotification n;
    n.Code = code;
    n.Sender = sender;
    n.Result = defaultResult;
    n.StrParam[0] = str;
    return Notify(n);
}

int32_t TCvAppNotifier::Notify(uint16_t code, const TCvObjectRef& sender, int32_t defaultResult,
                               std::initializer_list<TCvAppNotifyValue> values)
{
    TCvAppNotification n;
    n.Code = code;
    n.Sender = sender;
    n.Result = defaultResult;
    size_t i = 0;
    for (const TCvAppNotifyValue& v : values) {
        if (i >= n.Param.size())
            break;
        n.SetParam(i++, v);
    }
    return Notify(n);
}

std::vector<TCvAppNotifyDef> TCvAppNotifier::Codes() const
{
    std::vector<TCvAppNotifyDef> codes;
    for (const auto& [code, entry] : fNotifyLibrary)
        codes.push_back(entry.NotifyDef);
    return codes;
}

std::vector<TCvAppNotifier::TCvAppNotifyHandlerDef> TCvAppNotifier::Handlers(uint16_t code) const
{
    const auto it = fNotifyLibrary.find(code);
    return it == fNotifyLibrary.end() ? std::vector<TCvAppNotifyHandlerDef>() : it->second.Handlers.Items;
}
