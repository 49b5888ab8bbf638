#include "config/ui/KeySourceNotice.h"

#include "tests/support/ScriptedAlerts.h"
#include "tests/support/TempWorld.h"

#include <gtest/gtest.h>

namespace presto {
namespace {

class KeySourceNoticeTest : public ::testing::Test {
protected:
    QString status(const std::string& text) {
        return QString::fromStdString(world.writeFile("runtime/Presto/keys-status", text));
    }
    test::TempWorld world;
    test::ScriptedAlerts alerts;
};

TEST_F(KeySourceNoticeTest, RefusedAndChangedKeysAreShownOnWaylandOnly) {
    const QString path = status("source=GlobalShortcuts portal\n"
                                "refused=Command+F5 was refused by the desktop\n"
                                "changed=Control+Option+G bound to Meta+F6\n");
    EXPECT_FALSE(showKeySourceNotice(alerts, path, false));
    EXPECT_TRUE(alerts.requests().empty());

    alerts.answer(QStringLiteral("OK"));
    EXPECT_TRUE(showKeySourceNotice(alerts, path, true));
    ASSERT_EQ(alerts.requests().size(), 1u);
    const QString message = alerts.requests()[0].message;
    EXPECT_TRUE(message.contains(QStringLiteral("GlobalShortcuts portal")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("Command+F5 was refused by the desktop")));
    EXPECT_TRUE(message.contains(QStringLiteral("Control+Option+G bound to Meta+F6")));
}

TEST_F(KeySourceNoticeTest, NothingToTellShowsNothingAndXWaylandIsTold) {
    EXPECT_FALSE(showKeySourceNotice(alerts, status("source=GNOME custom keybindings\n"), true));
    EXPECT_FALSE(showKeySourceNotice(alerts, QStringLiteral("/nonexistent/keys-status"), true));
    EXPECT_TRUE(alerts.requests().empty());

    alerts.answer(QStringLiteral("OK"));
    EXPECT_TRUE(showKeySourceNotice(alerts, status("source=X11 through XWayland\n"), true));
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_TRUE(alerts.requests()[0].message.contains(QStringLiteral("X11 program has the focus")));
}

} // namespace
} // namespace presto
