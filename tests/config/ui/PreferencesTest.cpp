#include "UiTestSupport.h"
#include "common/PreferenceDomain.h"
#include "config/ui/PreferenceController.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/NestedPlist.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <gtest/gtest.h>

namespace presto {
namespace {

struct Stored {
    std::optional<std::int64_t> kind;
    std::optional<double> interval;
    std::optional<std::int64_t> kextInterval;
    std::optional<bool> showIcon;
    std::optional<bool> recommended;
    bool operator==(const Stored&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Stored& s) {
    return os << "kind " << s.kind.value_or(-1) << " interval " << s.interval.value_or(-1)
              << " kext " << s.kextInterval.value_or(-1) << " showIcon "
              << s.showIcon.value_or(false) << " recommended " << s.recommended.value_or(false);
}

const Stored kRecommended{2, 1.0, 5, true, true};

class PreferencesPanel : public ::testing::Test {
protected:
    PreferencesPanel() { test::application(); }

    std::unique_ptr<PreferenceController> makePanel() {
        auto panel = std::make_unique<PreferenceController>(
            alerts, prefFile(), world.locations().socketPath, QString::fromStdString(assistant));
        panel->showWindow();
        return panel;
    }
    std::string prefFile() const { return world.locations().preferenceFile(kPrestoDomain); }
    void installAssistant() { world.writeFile("bin/PrestoAssist", "#!/bin/sh\n"); }

    // What another program reading the domain now would find.
    Stored onDisk() const {
        PreferenceDomain domain(prefFile());
        return {domain.getInteger(kKindIntervalHotKey), domain.getReal(kValueIntervalHotKey),
                domain.getInteger(kValueIntervalKEXT), domain.getBool(kFlagShowIcon),
                domain.getBool(kFlagRecomended)};
    }
    static Stored inPanel(const PreferenceController& panel) {
        return {panel.kindIntervalHotKey(), panel.valueIntervalHotKey(), panel.valueIntervalKEXT(),
                panel.flagShowIcon(), panel.flagRecomended()};
    }
    static bool intervalShown(PreferenceController& panel) {
        bool shown = panel.intervalHotKeySlider()->isEnabled();
        for (QLabel* text : panel.intervalTexts())
            EXPECT_EQ(text->isVisibleTo(&panel), shown) << text->text().toStdString();
        return shown;
    }

    test::TempWorld world;
    test::ScriptedAlerts alerts;
    test::DaemonListener daemon{world.locations().socketPath};
    std::string assistant = world.path("bin") + "/PrestoAssist";
};

TEST_F(PreferencesPanel, FirstStartWritesAndShowsTheRecommendedSet) {
    installAssistant();
    auto panel = makePanel();
    EXPECT_EQ(onDisk(), kRecommended);
    EXPECT_TRUE(panel->kindButton(2)->isChecked());
    EXPECT_EQ(panel->intervalHotKeySlider()->value(), 20);
    EXPECT_EQ(panel->intervalValue()->text(), QStringLiteral("1.00"));
    EXPECT_EQ(panel->intervalKEXTSlider()->value(), 5);
    EXPECT_TRUE(panel->showIconBox()->isChecked());
    EXPECT_TRUE(panel->recommendedBox()->isChecked());
    EXPECT_TRUE(intervalShown(*panel));
    EXPECT_EQ(panel->showIconNote()->text(), QStringLiteral(" "));
    EXPECT_TRUE(daemon.takeMessages().empty());
}

TEST_F(PreferencesPanel, AnExistingDomainKeepsItsValuesAndGainsTheShowIconFlag) {
    test::editPreferences(world.locations(), kPrestoDomain, [](PreferenceDomain& d) {
        d.setInteger(kValueIntervalKEXT, 7);
        d.setInteger(kKindIntervalHotKey, 0);
    });
    auto panel = makePanel();
    const Stored stored = onDisk();
    EXPECT_EQ(stored.kextInterval, 7);
    EXPECT_EQ(stored.kind, 0);
    EXPECT_EQ(stored.showIcon, true);
    EXPECT_TRUE(panel->kindButton(0)->isChecked());
    EXPECT_EQ(panel->intervalKEXTSlider()->value(), 7);
    EXPECT_FALSE(panel->recommendedBox()->isChecked());
    EXPECT_FALSE(intervalShown(*panel));
}

TEST_F(PreferencesPanel, ADomainNestedTooDeepIsReadAsDamagedAtStart) {
    world.writeFile("config/Presto/com.nimbo.Presto.plist", test::nestedPlist(175'000));
    auto panel = makePanel();
    // None of the file's values is taken; the panel starts as for a damaged file.
    EXPECT_EQ(panel->intervalKEXTSlider()->value(), 5);
    EXPECT_TRUE(panel->showIconBox()->isChecked());
    EXPECT_EQ(onDisk().showIcon, true);
}

TEST_F(PreferencesPanel, OnlyTheDelayedKindsShowTheInterval) {
    auto panel = makePanel();
    for (int kind : {0, 1}) {
        panel->kindButton(kind)->click();
        EXPECT_EQ(panel->kindIntervalHotKey(), kind);
        EXPECT_FALSE(intervalShown(*panel)) << kind;
        EXPECT_FALSE(panel->recommendedBox()->isChecked());
        EXPECT_FALSE(panel->flagRecomended());
    }
    panel->kindButton(3)->click();
    EXPECT_TRUE(intervalShown(*panel));
    EXPECT_FALSE(panel->flagRecomended());
    // Back at kind 2 every value is the recommended one again.
    panel->kindButton(2)->click();
    EXPECT_TRUE(intervalShown(*panel));
    EXPECT_EQ(inPanel(*panel), kRecommended);
    EXPECT_TRUE(panel->recommendedBox()->isChecked());
}

TEST_F(PreferencesPanel, NoIntervalTurnsTheDelayedKindsIntoImmediateOnesAndBack) {
    auto panel = makePanel();
    panel->kindButton(3)->click();
    panel->intervalHotKeySlider()->setValue(0);
    EXPECT_EQ(panel->kindIntervalHotKey(), 1);
    EXPECT_EQ(panel->valueIntervalHotKey(), 0.0);
    EXPECT_TRUE(panel->kindButton(1)->isChecked());
    EXPECT_FALSE(intervalShown(*panel));

    panel->kindButton(2)->click();
    EXPECT_EQ(panel->valueIntervalHotKey(), 0.25);
    EXPECT_EQ(panel->intervalHotKeySlider()->value(), 5);
    EXPECT_EQ(panel->intervalValue()->text(), QStringLiteral("0.25"));
    EXPECT_TRUE(intervalShown(*panel));

    panel->intervalHotKeySlider()->setValue(0);
    EXPECT_EQ(panel->kindIntervalHotKey(), 0);
    EXPECT_FALSE(intervalShown(*panel));
    // A kind chosen while some interval is set keeps it.
    panel->kindButton(1)->click();
    EXPECT_EQ(panel->valueIntervalHotKey(), 0.0);
    panel->kindButton(3)->click();
    panel->intervalHotKeySlider()->setValue(30);
    panel->kindButton(2)->click();
    EXPECT_EQ(panel->valueIntervalHotKey(), 1.5);
}

TEST_F(PreferencesPanel, TheRecommendedBoxFollowsTheValuesAndRestoresThem) {
    installAssistant();
    auto panel = makePanel();
    panel->intervalKEXTSlider()->setValue(6);
    EXPECT_FALSE(panel->recommendedBox()->isChecked());
    EXPECT_FALSE(panel->flagRecomended());
    panel->intervalKEXTSlider()->setValue(5);
    EXPECT_TRUE(panel->recommendedBox()->isChecked());
    EXPECT_EQ(inPanel(*panel), kRecommended);

    panel->kindButton(3)->click();
    panel->intervalHotKeySlider()->setValue(30);
    panel->intervalKEXTSlider()->setValue(9);
    panel->showIconBox()->click();
    EXPECT_EQ(inPanel(*panel), (Stored{3, 1.5, 9, false, false}));
    panel->recommendedBox()->click();
    EXPECT_EQ(inPanel(*panel), kRecommended);
    EXPECT_TRUE(panel->kindButton(2)->isChecked());
    EXPECT_EQ(panel->intervalKEXTSlider()->value(), 5);
    EXPECT_TRUE(panel->showIconBox()->isChecked());

    // Unticking clears the flag only.
    panel->recommendedBox()->click();
    EXPECT_EQ(inPanel(*panel), (Stored{2, 1.0, 5, true, false}));
    EXPECT_FALSE(panel->recommendedBox()->isChecked());
}

TEST_F(PreferencesPanel, ShowingTheIconWithoutTheAssistantIsToldButKept) {
    auto panel = makePanel();
    EXPECT_EQ(panel->showIconNote()->text(), QStringLiteral("PrestoAssist is not yet installed!!"));
    panel->showIconBox()->click();
    EXPECT_FALSE(panel->flagShowIcon());
    EXPECT_EQ(panel->showIconNote()->text(), QStringLiteral(" "));
    EXPECT_TRUE(alerts.requests().empty());

    alerts.answer("OK");
    panel->showIconBox()->click();
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].title, QStringLiteral("PrestoAssist is not yet installed!!"));
    EXPECT_EQ(alerts.requests()[0].message, QStringLiteral("The icon will not be shown"));
    EXPECT_EQ(alerts.requests()[0].buttons, QStringList({"OK"}));
    EXPECT_EQ(alerts.requests()[0].style, AlertStyle::Critical);
    EXPECT_TRUE(panel->flagShowIcon());
    EXPECT_TRUE(panel->showIconBox()->isChecked());
    EXPECT_EQ(panel->showIconNote()->text(), QStringLiteral("PrestoAssist is not yet installed!!"));

    installAssistant();
    panel->showIconBox()->click();
    panel->showIconBox()->click();
    EXPECT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(panel->showIconNote()->text(), QStringLiteral(" "));
}

TEST_F(PreferencesPanel, ClosingWritesTheDomainAndSendsOneUpdtpref) {
    auto panel = makePanel();
    panel->intervalKEXTSlider()->setValue(8);
    // Changes stay with the panel until it closes.
    EXPECT_EQ(onDisk().kextInterval, 5);
    EXPECT_TRUE(daemon.takeMessages().empty());

    EXPECT_TRUE(panel->close());
    EXPECT_EQ(onDisk(), (Stored{2, 1.0, 8, true, false}));
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTPREF"}));
    panel->close();
    EXPECT_TRUE(daemon.takeMessages().empty());

    panel->showWindow();
    panel->kindButton(0)->click();
    panel->close();
    EXPECT_EQ(onDisk().kind, 0);
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTPREF"}));
}

} // namespace
} // namespace presto
