#include "config/ui/NotificationCenter.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <memory>

namespace presto {
namespace {

TEST(NotificationCenter, DeliversToObserversOfTheWholeNameInRegistrationOrder) {
    NotificationCenter center;
    QStringList calls;
    center.addObserver("CloseDrawer",
                       [&](const Notification& n) { calls << "first:" + n.object.toString(); });
    center.addObserver("CloseDrawerX", [&](const Notification&) { calls << "other name"; });
    center.addObserver("CloseDrawer",
                       [&](const Notification& n) { calls << "second:" + n.object.toString(); });
    center.post("CloseDrawer", QStringLiteral("payload"));
    center.post("Close");
    EXPECT_EQ(calls, QStringList({"first:payload", "second:payload"}));
}

TEST(NotificationCenter, APostReturnsOnlyAfterThePostsItsObserversMade) {
    NotificationCenter center;
    QStringList calls;
    center.addObserver("Outer", [&](const Notification&) {
        calls << "outer begins";
        center.post("Inner", 7);
        calls << "outer ends";
    });
    center.addObserver("Inner", [&](const Notification& n) {
        calls << "inner " + QString::number(n.object.toInt());
    });
    center.post("Outer");
    calls << "after post";
    EXPECT_EQ(calls, QStringList({"outer begins", "inner 7", "outer ends", "after post"}));
}

TEST(NotificationCenter, ObserversGoneDuringAPostAreNotCalledAndNewOnesWaitForTheNextPost) {
    NotificationCenter center;
    QStringList calls;
    auto later = std::make_unique<Observations>(center);
    Observations first(center);
    // The first observer destroys the registrations of an object that would run after it.
    first.observe("Tab", [&](const Notification&) {
        calls << "first";
        later.reset();
        center.addObserver("Tab", [&](const Notification&) { calls << "added"; });
    });
    later->observe("Tab", [&](const Notification&) { calls << "destroyed"; });
    center.post("Tab");
    EXPECT_EQ(calls, QStringList({"first"}));

    first.stopObserving();
    calls.clear();
    center.post("Tab");
    EXPECT_EQ(calls, QStringList({"added"}));
}

TEST(NotificationCenter, AnObjectsRegistrationsEndWithIt) {
    NotificationCenter center;
    int calls = 0;
    {
        Observations observations(center);
        observations.observe("A", [&](const Notification&) { ++calls; });
        observations.observe("B", [&](const Notification&) { ++calls; });
        center.post("A");
    }
    center.post("A");
    center.post("B");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(center.observerCount(), 0u);
}

} // namespace
} // namespace presto
