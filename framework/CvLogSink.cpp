#include "framework/CvLogSink.h"

#include <vector>

namespace {

// The messages of an exception and its nested ones, outermost first.
void CollectMessages(const std::exception& e, std::vector<std::string>& messages)
{
    messages.push_back(e.what());
    try {
        std::rethrow_if_nested(e);
    } catch (const std::exception& inner) {
        CollectMessages(inner, messages);
    } catch (...) {
        messages.push_back("unknown exception");
    }
}

} // namespace

void CvLogException(TCvLogSink& sink, TCvAppLogMsgType type, const std::string& msg, const std::exception& e,
                    bool recurse, bool stack)
{
    if (!msg.empty())
        sink.Add(type, CvLogFormat("%s (Exception details follow...)", msg));
    std::vector<std::string> messages;
    if (recurse)
        CollectMessages(e, messages);
    else
        messages.push_back(e.what());
    if (messages.size() == 1) {
        sink.Add(type, CvLogFormat("Exception: %s", messages[0]));
    } else {
        const int n = static_cast<int>(messages.size());
        for (int i = 0; i < n; ++i)
            sink.Add(type, CvLogFormat("Exception (%d of %d): %s", i + 1, n, messages[static_cast<size_t>(i)]));
    }
    if (stack)
        sink.Add(type, CvLogFormat("Exception Stack Trace: %s", std::string()));
}

TCvPrefixLogSink::TCvPrefixLogSink(TCvLogSink& target, std::string prefix)
    : fTarget(target)
    , fPrefix(std::move(prefix))
{
}

void TCvPrefixLogSink::Add(TCvAppLogMsgType type, const std::string& msg)
{
    fTarget.Add(type, fPrefix + msg);
}
