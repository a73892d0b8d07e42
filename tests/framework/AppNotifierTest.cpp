#include "framework/CvAppLog.h"
#include "framework/CvAppNotifier.h"

#include "FwTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Subscriber and sender classes whose names show in the notifier's messages.
struct TNotifyTestSubscriber {
    std::vector<std::string>* Calls = nullptr;
    std::string Name;
    int32_t Add = 0;
    int32_t Multiply = 1;
    void OnNote(TCvAppNotification& n)
    {
        if (Calls)
            Calls->push_back(Name);
        n.Result = n.Result * Multiply + Add;
    }
    void Other(TCvAppNotification& n) { n.Result += 1000; }
};
struct TNotifyTestSender {
    virtual ~TNotifyTestSender() = default;
};
struct TNotifyTestDerivedSender : TNotifyTestSender {};

namespace {
class AppNotifierTest : public testing::Test {
protected:
    void SetUp() override
    {
        fLog = std::make_unique<TCvAppLog>();
        fLog->SetOnAdd(TCvAppLogAddEvent::FromFunction(
            [this](TCvAppLogAddParams& p) { fMessages.push_back(p.MsgTypeStr + " " + p.Msg); }));
    }
    void TearDown() override
    {
        fLog->SetOnAdd(TCvAppLogAddEvent());
        fLog.reset();
    }
    TFwAppEnv fEnv;
    std::unique_ptr<TCvAppLog> fLog;
    std::vector<std::string> fMessages;
};

TCvAppNotifyHandler HandlerOf(TNotifyTestSubscriber& s)
{
    return TCvAppNotifyHandler(&s, &TNotifyTestSubscriber::OnNote);
}
} // namespace

TEST_F(AppNotifierTest, WhatIsLoggedWithInformationAndDebugLogging)
{
    const std::vector<std::string> all = {
        "INFO Registered notification code 'Port Open' (0x0010).",
        "INFO Registered notification code 'Quiet' (0x0020).",
        "ERROR Failed to register notification code 'Again' (0x0010).",
        "ERROR Failed to register notification code 'Zero' (0x0000).",
        "INFO Registered notification handler 'Port Open' (0x0010) for 'TNotifyTestSubscriber'.",
        "ERROR Failed to register notification handler 0x0030 for 'TNotifyTestSubscriber'.",
        "INFO Notification 'Port Open' (0x0010) raised to 1 handlers from 'TNotifyTestDerivedSender'.",
        "INFO Notification 'Quiet' (0x0020) raised to 0 handlers from 'TNotifyTestDerivedSender'.",
        "WARNING Unregistered notification 0x0099 raised by sender 'Unknown'.",
        "INFO Unregistered notification handler 'Port Open' (0x0010) for 'TNotifyTestSubscriber'.",
        "INFO Unregistered notification code 'Quiet' (0x0020).",
        "ERROR Failed to unregister notification code 0x0077.",
    };
    struct TCase {
        bool Info;
        bool Debug;
        std::vector<std::string> Expected;
    };
    const TCase cases[] = {
        {false, false, {}},
        {true, false, {all[6]}}, // only dispatches of codes registered with Log
        {false, true, all},
        {true, true, all},
    };
    for (const TCase& c : cases) {
        fMessages.clear();
        TCvAppNotifier notifier;
        notifier.SetLog(fLog.get());
        notifier.SetLogEnable(c.Info);
        notifier.SetLogDebug(c.Debug);
        TNotifyTestSubscriber subscriber;
        TNotifyTestDerivedSender sender;
        const TNotifyTestSender* asBase = &sender; // named by its dynamic class
        EXPECT_TRUE(notifier.RegisterCode(0x0010, "Port Open", true));
        EXPECT_TRUE(notifier.RegisterCode(0x0020, "Quiet", false));
        EXPECT_FALSE(notifier.RegisterCode(0x0010, "Again", true));
        EXPECT_FALSE(notifier.RegisterCode(0, "Zero", false));
        EXPECT_TRUE(notifier.RegisterHandler(&subscriber, 0x0010, HandlerOf(subscriber)));
        EXPECT_FALSE(notifier.RegisterHandler(&subscriber, 0x0030, HandlerOf(subscriber)));
        notifier.Notify(0x0010, asBase, 5);
        notifier.Notify(0x0020, asBase, 6);
        EXPECT_EQ(notifier.Notify(0x0099, nullptr, 7), 7) << "an unregistered code keeps the default result";
        EXPECT_TRUE(notifier.UnregisterHandler(&subscriber));
        EXPECT_FALSE(notifier.UnregisterHandler(&subscriber));
        EXPECT_TRUE(notifier.UnregisterCode(0x0020));
        EXPECT_FALSE(notifier.UnregisterCode(0x0077));
        EXPECT_EQ(fMessages, c.Expected) << "info " << c.Info << " debug " << c.Debug;
    }

    // Giving a log switches information logging on; taking it away switches it off.
    TCvAppNotifier notifier;
    EXPECT_FALSE(notifier.LogEnable());
    notifier.SetLog(fLog.get());
    EXPECT_TRUE(notifier.LogEnable());
    notifier.SetLog(nullptr);
    EXPECT_FALSE(notifier.LogEnable());
    notifier.SetLogDebug(true);
    fMessages.clear();
    notifier.RegisterCode(0, "Zero", false);
    EXPECT_TRUE(fMessages.empty()) << "no log, no messages";
}

TEST_F(AppNotifierTest, SubscriptionOrderResultsAndParameters)
{
    std::vector<std::string> calls;
    TNotifyTestSubscriber first{&calls, "first", 1, 1};
    TNotifyTestSubscriber second{&calls, "second", 0, 10};
    TNotifyTestSubscriber urgent{&calls, "urgent", 3, 1};
    TCvAppNotifier notifier;
    ASSERT_TRUE(notifier.RegisterCode(7, "Seven", false));
    notifier.RegisterHandler(&first, 7, HandlerOf(first));
    notifier.RegisterHandler(&second, 7, HandlerOf(second));
    notifier.RegisterHandler(&urgent, 7, HandlerOf(second)); // same handler again: kept once, first sender stays
    ASSERT_EQ(notifier.Handlers(7).size(), 2u);
    EXPECT_EQ(notifier.Handlers(7)[1].Sender.Object(), &second);
    // Each handler sees the result the one before left: (2 * 1 + 1) * 10 + 0.
    EXPECT_EQ(notifier.Notify(7, nullptr, 2), 30);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));

    // With priority the handler moves to the front (once), and the notifier event runs first.
    notifier.RegisterHandler(&urgent, 7, HandlerOf(urgent), true);
    notifier.RegisterHandler(&second, 7, HandlerOf(second), true);
    std::vector<std::string> seen;
    notifier.SetOnNotify(TCvAppNotifyEvent::FromFunction([&](TCvAppNotification& n) {
        seen.push_back(n.StrParam[0] + "@" + std::to_string(n.Result));
        EXPECT_EQ(n.Notifier, &notifier);
    }));
    calls.clear();
    EXPECT_EQ(notifier.Notify(7, nullptr, "text", 1), ((1 * 10) + 3) * 1 + 1);
    EXPECT_EQ(calls, (std::vector<std::string>{"second", "urgent", "first"}));
    EXPECT_EQ(seen, (std::vector<std::string>{"text@1"}));

    // Parameters: up to four values in the one storage, read back in each form.
    notifier.SetOnNotify(TCvAppNotifyEvent());
    TCvAppNotification got;
    TNotifyTestSubscriber probe;
    notifier.RegisterCode(8, "Eight", false);
    notifier.RegisterHandler(&probe, 8, TCvAppNotifyHandler::FromFunction([&](TCvAppNotification& n) { got = n; }));
    int target = 0;
    notifier.Notify(8, &probe, 0, {-1, 4000000000u, &target, 4, 5});
    EXPECT_EQ(got.IntParam(0), -1);
    EXPECT_EQ(got.UintParam(0), 0xFFFFFFFFu);
    EXPECT_EQ(got.UintParam(1), 4000000000u);
    EXPECT_EQ(got.PtrParam(2), &target);
    EXPECT_EQ(got.IntParam(3), 4);
    EXPECT_EQ(got.IntParam(4), 0) << "a fifth value is not kept";
    EXPECT_EQ(got.Sender.Object(), &probe);

    // Removing by handler ignores the sender given; removing by sender takes all of its own.
    EXPECT_TRUE(notifier.UnregisterHandler(&probe, HandlerOf(second)));
    EXPECT_FALSE(notifier.Handlers(7).empty());
    EXPECT_TRUE(notifier.UnregisterHandler(&urgent, 7, HandlerOf(urgent)));
    EXPECT_FALSE(notifier.UnregisterHandler(&urgent, 99, HandlerOf(urgent)));
    ASSERT_EQ(notifier.Handlers(7).size(), 1u);
    EXPECT_EQ(notifier.Handlers(7)[0].Sender.Object(), &first);
    // A handler list finds by handler: object and method must both match.
    TCvAppNotifier::TCvAppNotifyHandlerList list;
    list.Items.push_back({&first, HandlerOf(first)});
    list.Items.push_back({&first, TCvAppNotifyHandler(&first, &TNotifyTestSubscriber::Other)});
    EXPECT_EQ(list.Find(TCvAppNotifyHandler(&first, &TNotifyTestSubscriber::Other)), 1);
    EXPECT_EQ(list.Find(HandlerOf(second)), -1);
    EXPECT_EQ(list.Remove(HandlerOf(first)), 0);
    EXPECT_EQ(list.Remove(HandlerOf(first)), -1);
}

TEST_F(AppNotifierTest, HandlersChangingSubscriptionsDuringDispatch)
{
    TCvAppNotifier notifier;
    notifier.RegisterCode(1, "One", false);
    std::vector<std::string> calls;
    TNotifyTestSubscriber late{&calls, "late"};
    auto victim = std::make_unique<TNotifyTestSubscriber>(TNotifyTestSubscriber{&calls, "victim"});
    TNotifyTestSubscriber killer;
    notifier.RegisterHandler(&killer, 1, TCvAppNotifyHandler::FromFunction([&](TCvAppNotification&) {
        calls.push_back("killer");
        if (victim) {
            notifier.UnregisterHandler(victim.get());
            victim.reset(); // destroyed: must not be called any more
            notifier.RegisterHandler(&late, 1, HandlerOf(late));
        }
    }));
    notifier.RegisterHandler(victim.get(), 1, HandlerOf(*victim));
    notifier.Notify(1, nullptr, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"killer"})) << "added during dispatch: called next time";
    calls.clear();
    notifier.Notify(1, nullptr, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"killer", "late"}));

    // A handler that unregisters the code ends the dispatch.
    TNotifyTestSubscriber ender;
    notifier.RegisterHandler(&ender, 1, TCvAppNotifyHandler::FromFunction([&](TCvAppNotification& n) {
        n.Result = 5;
        notifier.UnregisterCode(1);
    }), true);
    calls.clear();
    EXPECT_EQ(notifier.Notify(1, nullptr, 0), 5);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(notifier.Codes().empty());
}
