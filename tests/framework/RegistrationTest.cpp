// Registrations undo themselves exactly once, move with their owner, and do nothing once the
// registry they were made with is gone.
#include "framework/CvRegistration.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

TEST(CvRegistration, UndoesOnceWhileTheRegistryLives)
{
    int undone = 0;
    auto registry = std::make_unique<TCvLifetime>();
    {
        TCvRegistration a(*registry, [&] { ++undone; });
        EXPECT_TRUE(a.Active());
        TCvRegistration b(std::move(a)); // the move carries the undo, it does not run it
        EXPECT_FALSE(a.Active());
        EXPECT_EQ(undone, 0);
        std::vector<TCvRegistration> kept;
        kept.push_back(std::move(b));
        kept.push_back(TCvRegistration(*registry, [&] { undone += 10; }));
        kept[0].Reset();
        EXPECT_EQ(undone, 1);
        kept[0].Reset();
        EXPECT_EQ(undone, 1);
        kept[1] = TCvRegistration(*registry, [&] { undone += 100; }); // replacing undoes the old one
        EXPECT_EQ(undone, 11);
    }
    EXPECT_EQ(undone, 111);

    TCvRegistration late(*registry, [&] { ++undone; });
    registry.reset();
    EXPECT_FALSE(late.Active());
    late.Reset();
    EXPECT_EQ(undone, 111);
}
