#include "daemon/Preference.h"

#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/TempWorld.h"

#include <gtest/gtest.h>

namespace presto {
namespace {

class PreferenceTest : public ::testing::Test {
protected:
    Preference read() {
        return Preference(loc.preferenceFile(kPrestoDomain),
                          loc.preferenceFile(kPrestoAssistDomain));
    }
    test::TempWorld world;
    const Locations& loc = world.locations();
};

TEST_F(PreferenceTest, WithoutAnyFileTheRecommendedSetHolds) {
    Preference pref = read();
    EXPECT_TRUE(pref.serviceStatus);
    EXPECT_TRUE(pref.showIcon);
    EXPECT_TRUE(pref.recommended);
    EXPECT_EQ(pref.intervalKind, 2);
    EXPECT_FLOAT_EQ(pref.hotKeyInterval, 1.0f);
    EXPECT_EQ(pref.kextInterval, 5);
}

TEST_F(PreferenceTest, ReadsEachKeyFromItsOwnDomain) {
    test::editPreferences(loc, kPrestoAssistDomain,
                          [](PreferenceDomain& d) { d.setBool(kFlagServiceStatus, false); });
    test::editPreferences(loc, kPrestoDomain, [](PreferenceDomain& d) {
        d.setBool(kFlagShowIcon, false);
        d.setBool(kFlagRecomended, false);
        d.setInteger(kKindIntervalHotKey, 3);
        d.setReal(kValueIntervalHotKey, 0.25);
        d.setInteger(kValueIntervalKEXT, 9);
        // Belongs to the other domain: must not be taken from here.
        d.setBool(kFlagServiceStatus, true);
    });
    Preference pref = read();
    EXPECT_FALSE(pref.serviceStatus);
    EXPECT_FALSE(pref.showIcon);
    EXPECT_FALSE(pref.recommended);
    EXPECT_EQ(pref.intervalKind, 3);
    EXPECT_FLOAT_EQ(pref.hotKeyInterval, 0.25f);
    EXPECT_EQ(pref.kextInterval, 9);
}

TEST_F(PreferenceTest, AnIntegerWhereARealBelongsAndTheOtherWayRoundCountAsMissing) {
    test::editPreferences(loc, kPrestoDomain, [](PreferenceDomain& d) {
        d.setInteger(kValueIntervalHotKey, 2);
        d.setReal(kKindIntervalHotKey, 1.0);
        d.setReal(kValueIntervalKEXT, 7.0);
    });
    Preference pref = read();
    EXPECT_FLOAT_EQ(pref.hotKeyInterval, 1.0f);
    EXPECT_EQ(pref.intervalKind, 2);
    EXPECT_EQ(pref.kextInterval, 5);
}

TEST_F(PreferenceTest, MissingOrMistypedKeysKeepTheValueTheyHadAtTheReload) {
    test::editPreferences(loc, kPrestoDomain, [](PreferenceDomain& d) {
        d.setInteger(kKindIntervalHotKey, 0);
        d.setInteger(kValueIntervalKEXT, 8);
        d.setBool(kFlagShowIcon, false);
    });
    Preference pref = read();
    test::editPreferences(loc, kPrestoDomain, [](PreferenceDomain& d) {
        d.remove(kKindIntervalHotKey);
        d.setString(kValueIntervalKEXT, "12");
        d.setInteger(kFlagShowIcon, 1);
    });
    pref.getPreference();
    EXPECT_EQ(pref.intervalKind, 0);
    EXPECT_EQ(pref.kextInterval, 8);
    EXPECT_FALSE(pref.showIcon);
}

} // namespace
} // namespace presto
