#include "capture/SourceChoice.h"

#include <gtest/gtest.h>

namespace presto {
namespace {

TEST(SourceChoiceTest, EachSessionGetsItsSourceAndThePortalIsAskedOnlyOnWayland) {
    int asked = 0;
    const auto portal = [&](bool offered) {
        return [&asked, offered] {
            ++asked;
            return offered;
        };
    };
    EXPECT_EQ(chooseKeySource({"x11", "", "GNOME", ""}, portal(true)), SourceKind::X11);
    EXPECT_EQ(chooseKeySource({"", "", "", ""}, portal(true)), SourceKind::X11);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(chooseKeySource({"wayland", "wayland-0", "KDE", ""}, portal(true)),
              SourceKind::Portal);
    EXPECT_EQ(chooseKeySource({"wayland", "wayland-0", "GNOME", ""}, portal(true)),
              SourceKind::Portal);
    EXPECT_EQ(chooseKeySource({"wayland", "wayland-0", "ubuntu:GNOME", ""}, portal(false)),
              SourceKind::GnomeBindings);
    EXPECT_EQ(chooseKeySource({"", "wayland-0", "GNOME-Classic:GNOME", ""}, portal(false)),
              SourceKind::GnomeBindings);
    EXPECT_EQ(chooseKeySource({"wayland", "wayland-0", "sway", ""}, portal(false)),
              SourceKind::XWayland);
    // A desktop name that merely contains GNOME is another desktop.
    EXPECT_EQ(chooseKeySource({"wayland", "", "NotGNOMEish", ""}, portal(false)),
              SourceKind::XWayland);
    EXPECT_EQ(asked, 6);
}

TEST(SourceChoiceTest, TheEnvironmentCanForceASource) {
    const auto never = [] { return true; };
    EXPECT_EQ(chooseKeySource({"x11", "", "", "gnome"}, never), SourceKind::GnomeBindings);
    EXPECT_EQ(chooseKeySource({"x11", "", "", "portal"}, never), SourceKind::Portal);
    EXPECT_EQ(chooseKeySource({"wayland", "", "", "x11"}, never), SourceKind::X11);
    EXPECT_EQ(chooseKeySource({"wayland", "", "KDE", "bogus"}, [] { return false; }),
              SourceKind::XWayland);
}

TEST(SourceChoiceTest, ASourceThatFailsHandsOverToTheNextOneThatCanWorkHere) {
    const SessionFacts gnome{"wayland", "wayland-0", "ubuntu:GNOME", ""};
    const SessionFacts kde{"wayland", "wayland-0", "KDE", ""};
    EXPECT_EQ(nextKeySource(SourceKind::Portal, gnome), SourceKind::GnomeBindings);
    EXPECT_EQ(nextKeySource(SourceKind::Portal, kde), SourceKind::XWayland);
    EXPECT_EQ(nextKeySource(SourceKind::GnomeBindings, gnome), SourceKind::XWayland);
    EXPECT_EQ(nextKeySource(SourceKind::XWayland, gnome), SourceKind::None);
}

} // namespace
} // namespace presto
