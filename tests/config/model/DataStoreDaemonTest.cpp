// The data store and the built Presto.daemon together: what the configuration application saves
// is what the daemon acts on.
#include "ModelTestSupport.h"
#include "config/model/DataStore.h"
#include "tests/daemon/DaemonProcess.h"
#include "tests/daemon/DaemonTestUtil.h"

#include <gtest/gtest.h>

namespace presto {
namespace {

TEST(DataStoreWithDaemon, ASavedLaunchHotKeyRunsItsProgramWhenPressed) {
    test::TempWorld world;
    const Locations& loc = world.locations();
    test::editPreferences(loc, kPrestoDomain, [](PreferenceDomain& prefs) {
        // No tray assistant in a test; the press acts at once instead of after the interval.
        prefs.setBool(kFlagShowIcon, false);
        prefs.setInteger(kKindIntervalHotKey, 0);
    });
    const std::string marker = world.path("marker");
    const std::string tool = world.root() + "/bin/tool";
    test::writeExecutable(tool, "#!/bin/sh\necho ran > '" + marker + "'\n");

    // Started before anything is saved: only the reload notice can teach it the new key.
    test::DaemonProcess daemon;
    ASSERT_TRUE(test::eventually([&] {
        auto reply = test::request(loc.socketPath, test::bytesOf("GETPREF"));
        return reply && reply->empty();
    })) << "the daemon did not come up";

    test::ScriptedAlerts alerts;
    DataStore store(loc, alerts);
    auto item = std::make_unique<HotKeyItem>();
    item->setEventItem(test::keyEvent(kControlBit | kOptionBit, 15, "r", "r"),
                       QString::fromStdString(tool));
    const HotKeyRec key = item->hotKeyRec();
    store.addHotKeyItem(std::move(item));
    EXPECT_EQ(test::request(loc.socketPath, test::pressOf(key)), (test::Bytes{'N', 'G', 0}));

    alerts.answer("OK Make directory");
    alerts.answer("OK");
    store.saveItemData();
    ASSERT_TRUE(alerts.allAnswered());

    EXPECT_EQ(test::request(loc.socketPath, test::pressOf(key)), test::Bytes{});
    EXPECT_TRUE(test::eventually([&] { return test::readText(marker) == "ran\n"; }))
        << daemon.output();
}

} // namespace
} // namespace presto
