#include "UiTestSupport.h"
#include "config/ui/HeldKeyProbe.h"
#include "config/ui/TableModels.h"

#include <QDir>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <algorithm>
#include <gtest/gtest.h>

namespace presto {
namespace {

using CapturePanel = test::UiWorld;

TEST_F(CapturePanel, KeyPressesShowTheirLinuxNamesInTheirFontsAndReplaceEachOther) {
    openForNewLaunch({file("a")});
    ASSERT_TRUE(hotKeys().isOpen());

    pressKey(test::kEvdevTab, Qt::ShiftModifier | Qt::MetaModifier, Qt::Key_Backtab);
    QLabel* command = hotKeys().displayField(HotKeyController::Command);
    QLabel* shift = hotKeys().displayField(HotKeyController::Shift);
    QLabel* key = hotKeys().displayField(HotKeyController::Key);
    EXPECT_EQ(command->text(), QStringLiteral("Super"));
    EXPECT_EQ(shift->text(), QStringLiteral("Shift"));
    EXPECT_EQ(key->text(), QStringLiteral("Tab"));
    EXPECT_TRUE(hotKeys().displayField(HotKeyController::Option)->text().isEmpty());
    EXPECT_EQ(hotKeys().nameField()->text(), QStringLiteral("Super+Shift+Tab"));
    EXPECT_EQ(shift->font().pointSize(), 14);
    // The boxes stand in the order the name is written: Ctrl, Alt, Super, Shift, Caps Lock, key.
    const auto x = [&](HotKeyController::Field field) {
        return hotKeys().displayField(field)->geometry().x();
    };
    EXPECT_LT(x(HotKeyController::Control), x(HotKeyController::Option));
    EXPECT_LT(x(HotKeyController::Option), x(HotKeyController::Command));
    EXPECT_LT(x(HotKeyController::Command), x(HotKeyController::Shift));
    EXPECT_LT(x(HotKeyController::Shift), x(HotKeyController::CapsLock));
    EXPECT_LT(x(HotKeyController::CapsLock), x(HotKeyController::Key));

    pressKey(test::kEvdevF10, Qt::NoModifier, Qt::Key_F10);
    EXPECT_TRUE(shift->text().isEmpty());
    EXPECT_EQ(key->text(), QStringLiteral("F10"));
    EXPECT_EQ(key->font().family(), QStringLiteral("Monaco"));
    EXPECT_EQ(key->font().pointSize(), 18);
    EXPECT_EQ(hotKeys().hotKeyRec().keyCode, 0x6Du);

    pressKey(test::kEvdevA, Qt::NoModifier, Qt::Key_A, QStringLiteral("a"));
    EXPECT_EQ(key->text(), QStringLiteral("A"));
    EXPECT_EQ(key->font().pointSize(), 24);
}

TEST_F(CapturePanel, OkWithoutAKeyIsRefusedEvenAfterAnEarlierCapture) {
    test::NotificationLog log(hub, &NotificationHub::SetEventCode);
    openForNewLaunch({file("a")});
    pressKey(test::kEvdevA, Qt::ControlModifier, Qt::Key_A);
    hotKeys().cancelPushButton()->click();
    EXPECT_FALSE(hotKeys().isOpen());

    // The record of that capture is still in the panel; the cleared display is what counts.
    openForNewLaunch({file("b")});
    alerts.answer("Cancel");
    clickOk();
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].title, QStringLiteral("No HotKey set!"));
    EXPECT_EQ(alerts.requests()[0].message, QStringLiteral("Needs to Cancel"));
    EXPECT_EQ(alerts.requests()[0].style, AlertStyle::Critical);
    EXPECT_TRUE(hotKeys().isOpen());
    EXPECT_TRUE(log.entries().empty());

    openForNewLaunch({});
    pressKey(test::kEvdevA, Qt::ControlModifier, Qt::Key_A);
    alerts.answer("Cancel");
    clickOk();
    EXPECT_EQ(alerts.requests().back().title, QStringLiteral("No item choosed!"));
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(CapturePanel, ACombinationBoundOnAnotherTabNamesThatTabAndItemAndKeepsThePanelOpen) {
    // "Get Path" is the seventh function of the catalogue.
    HotKeyFinderFunction& getPath = *store().hotKeyFinderFunction(6);
    getPath.assignHotKeyRec(test::keyRec(kControlBit | kOptionBit, test::kMacG));
    auto snapshot = std::make_unique<HotKeyPbItem>(test::keyRec(kCommandBit, test::kMacG, 'P'));
    snapshot->setPbDataPath("/snapshots/Greeting");
    snapshot->setPbTitle("Greeting");
    store().addHotKeyPbItem(std::move(snapshot));
    QDir().mkpath(store().savePbDataDir());
    addLaunchHotKey({file("first.txt"), file("second.txt")}, test::kMacA, kControlBit);
    test::NotificationLog log(hub, &NotificationHub::SetEventCode);

    openForNewLaunch({file("new")});
    alerts.answer("Cancel");
    pressKey(test::kEvdevG, Qt::ControlModifier | Qt::AltModifier, Qt::Key_G);
    clickOk();
    alerts.answer("Cancel");
    pressKey(test::kEvdevG, Qt::MetaModifier, Qt::Key_G);
    clickOk();
    alerts.answer("Cancel");
    pressKey(test::kEvdevA, Qt::ControlModifier, Qt::Key_A);
    clickOk();

    ASSERT_EQ(alerts.requests().size(), 3u);
    EXPECT_EQ(alerts.requests()[0].title, "This HotKey has been already assigned to the "
                                          "following item on 'Finder Function' tab");
    EXPECT_EQ(alerts.requests()[0].message, QStringLiteral("Get Path"));
    EXPECT_EQ(alerts.requests()[1].title, "This HotKey has been already assigned to the "
                                          "following item on 'Pasteboard Item' tab");
    EXPECT_EQ(alerts.requests()[1].message, QStringLiteral("Greeting"));
    EXPECT_EQ(alerts.requests()[2].title, "This HotKey has been already assigned to the "
                                          "following item on 'Launch Item' tab");
    EXPECT_EQ(alerts.requests()[2].message, QStringLiteral("first.txt"));
    EXPECT_TRUE(hotKeys().isOpen());
    EXPECT_TRUE(log.entries().empty());

    // Another combination still goes through.
    pressKey(test::kEvdevG, Qt::ShiftModifier | Qt::AltModifier, Qt::Key_G);
    clickOk();
    EXPECT_EQ(log.names(), test::signalNames(&NotificationHub::SetEventCode));
    EXPECT_FALSE(hotKeys().isOpen());
}

// Another program's combinations, as a desktop would answer for them.
class HeldElsewhere : public HeldKeyProbe {
public:
    std::vector<HotKeyRec> held;
    bool isHeld(const HotKeyRec& rec) override {
        return std::any_of(held.begin(), held.end(),
                           [&](const HotKeyRec& h) { return isSameHotKey(h, rec); });
    }
};

TEST_F(CapturePanel, WarnsBeforeStoringACombinationAnotherProgramHolds) {
    HeldElsewhere desktop;
    desktop.held = {test::keyRec(kControlBit | kOptionBit, test::kMacA)};
    hotKeys().setHeldKeyProbe(&desktop);
    test::NotificationLog log(hub, &NotificationHub::SetEventCode);

    openForNewLaunch({file("a")});
    pressKey(test::kEvdevA, Qt::ControlModifier | Qt::AltModifier, Qt::Key_A);
    alerts.answer("Choose Another");
    clickOk();
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].title, QStringLiteral("Ctrl+Alt+A is taken by another program"));
    EXPECT_EQ(alerts.requests()[0].buttons,
              QStringList({QStringLiteral("Choose Another"), QStringLiteral("Store Anyway")}));
    EXPECT_EQ(alerts.requests()[0].style, AlertStyle::Warning);
    EXPECT_TRUE(hotKeys().isOpen());
    EXPECT_TRUE(log.entries().empty());

    // Another combination, free everywhere, is stored without a question.
    pressKey(test::kEvdevG, Qt::ControlModifier | Qt::AltModifier, Qt::Key_G);
    clickOk();
    EXPECT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(store().countHotKeyItem(), 1);

    openForNewLaunch({file("b")});
    pressKey(test::kEvdevA, Qt::ControlModifier | Qt::AltModifier, Qt::Key_A);
    alerts.answer("Store Anyway");
    clickOk();
    EXPECT_FALSE(hotKeys().isOpen());
    ASSERT_EQ(store().countHotKeyItem(), 2);
    EXPECT_EQ(store().hotKeyItem(1)->modFlags(), kControlBit | kOptionBit);
    hotKeys().setHeldKeyProbe(nullptr);
}

TEST_F(CapturePanel, ConfirmingAnUnchangedCombinationClosesWithoutAWord) {
    HotKeyItem& item = addLaunchHotKey({file("a")}, test::kMacA, kControlBit);
    test::NotificationLog log(hub, &NotificationHub::SetEventCode,
                              &NotificationHub::ResetEventCode);

    openForChange(0);
    EXPECT_EQ(hotKeys().displayField(HotKeyController::Control)->text(), QStringLiteral("Ctrl"));
    clickOk();
    EXPECT_FALSE(hotKeys().isOpen());

    openForChange(0);
    pressKey(test::kEvdevA, Qt::ControlModifier, Qt::Key_A);
    clickOk();
    EXPECT_FALSE(hotKeys().isOpen());
    EXPECT_TRUE(log.entries().empty());

    // Reset from the menu while changing a launch hot key: posted, closed, nothing changes.
    openForChange(0);
    controller().resetHotKeyMenu()->trigger();
    EXPECT_EQ(log.names(), test::signalNames(&NotificationHub::ResetEventCode));
    EXPECT_FALSE(hotKeys().isOpen());
    EXPECT_EQ(item.hotKeyRec().keyCode, test::kMacA);
    EXPECT_EQ(item.modFlags(), kControlBit);
}

TEST_F(CapturePanel, DraggingARowReordersTheLaunchOrderOfANewHotKey) {
    const QStringList paths{file("one"), file("two"), file("three")};
    openForNewLaunch(paths);
    PathListModel& model = hotKeys().itemModel();
    std::unique_ptr<QMimeData> drag(model.mimeData({model.index(2, 0)}));
    EXPECT_TRUE(model.dropMimeData(drag.get(), Qt::MoveAction, 0, 0, {}));
    EXPECT_EQ(hotKeys().items(), QStringList({paths[2], paths[0], paths[1]}));

    // Text from elsewhere changes nothing.
    QMimeData text;
    text.setText(QStringLiteral("2"));
    model.dropMimeData(&text, Qt::CopyAction, 0, 0, {});
    EXPECT_EQ(hotKeys().items(), QStringList({paths[2], paths[0], paths[1]}));

    pressKey(test::kEvdevG, Qt::ControlModifier, Qt::Key_G);
    clickOk();
    ASSERT_EQ(store().countHotKeyItem(), 1);
    EXPECT_EQ(store().hotKeyItem(0)->itemPaths(), QStringList({paths[2], paths[0], paths[1]}));
}

TEST_F(CapturePanel, CloseHKEndsThePendingRequest) {
    openForNewLaunch({file("a")});
    emit hub.CloseHK();
    EXPECT_FALSE(hotKeys().isOpen());
    EXPECT_FALSE(hotKeys().window()->isVisible());
    EXPECT_EQ(hotKeys().tableKbn(), '0');
}

} // namespace
} // namespace presto

namespace presto {
namespace {

using TypingKeys = test::UiWorld;

TEST_F(TypingKeys, APlainCharacterKeyIsStoredOnlyAfterTheUserAgrees) {
    test::NotificationLog log(hub, &NotificationHub::SetEventCode);
    openForNewLaunch({file("a")});

    pressKey(test::kEvdevA, Qt::NoModifier, Qt::Key_A, QStringLiteral("a"));
    alerts.answer("Cancel");
    clickOk();
    ASSERT_EQ(alerts.requests().size(), 1u);
    const AlertRequest& question = alerts.requests()[0];
    EXPECT_EQ(question.style, AlertStyle::Critical);
    EXPECT_EQ(question.buttons, QStringList({"OK", "Cancel"}));
    EXPECT_TRUE(question.title.contains(QStringLiteral("\"A\"")));
    EXPECT_TRUE(question.title.contains(QStringLiteral("no longer type")));
    // Cancel: back to the panel, nothing stored.
    EXPECT_TRUE(hotKeys().isOpen());
    EXPECT_TRUE(log.entries().empty());

    // Shift alone still types (a capital): asked as well; OK stores it.
    pressKey(test::kEvdevG, Qt::ShiftModifier, Qt::Key_G, QStringLiteral("G"));
    alerts.answer("OK");
    clickOk();
    ASSERT_EQ(alerts.requests().size(), 2u);
    EXPECT_TRUE(alerts.requests()[1].title.contains(QStringLiteral("\"Shift+G\"")));
    EXPECT_EQ(log.names(), test::signalNames(&NotificationHub::SetEventCode));
    EXPECT_FALSE(hotKeys().isOpen());
    ASSERT_EQ(store().hotKeyItems().size(), 1u);
    EXPECT_EQ(store().hotKeyItem(0)->modFlags(), kShiftBit);
}

TEST_F(TypingKeys, FunctionKeypadAndModifiedKeysAreStoredWithoutAQuestion) {
    struct Press {
        quint32 evdev;
        Qt::KeyboardModifiers modifiers;
        int key;
        QString text;
    };
    const Press presses[] = {
        {test::kEvdevF10, Qt::NoModifier, Qt::Key_F10, {}},
        {79, Qt::KeypadModifier, Qt::Key_1, QStringLiteral("1")}, // keypad 1
        {test::kEvdevA, Qt::ControlModifier, Qt::Key_A, QStringLiteral("\x01")},
        {test::kEvdevG, Qt::AltModifier | Qt::ShiftModifier, Qt::Key_G, QStringLiteral("G")},
        {test::kEvdevG, Qt::MetaModifier, Qt::Key_G, QStringLiteral("g")},
    };
    for (const Press& press : presses) {
        openForNewLaunch({file("a")});
        pressKey(press.evdev, press.modifiers, press.key, press.text);
        clickOk();
        EXPECT_FALSE(hotKeys().isOpen()) << press.key;
    }
    EXPECT_TRUE(alerts.requests().empty());
    EXPECT_EQ(store().hotKeyItems().size(), std::size(presses));

    // Keys that edit text count as typing.
    for (auto [code, rec] : {std::pair{0x24, 0}, std::pair{0x31, 0x20}, std::pair{0x30, 9}}) {
        HotKeyRec plain = test::keyRec(0, static_cast<std::uint16_t>(code));
        plain.charCodeIgMod = static_cast<std::uint16_t>(rec);
        EXPECT_TRUE(HotKeyController::takesTypingKey(plain)) << code;
    }
    HotKeyRec escape = test::keyRec(0, 0x35);
    escape.charCodeIgMod = 0x1B;
    EXPECT_FALSE(HotKeyController::takesTypingKey(escape));
}

TEST_F(TypingKeys, EscAloneCancelsTheCaptureAndWithAModifierIsCaptured) {
    test::NotificationLog log(hub, &NotificationHub::SetEventCode);
    openForNewLaunch({file("a")});
    pressKey(test::kEvdevA, Qt::ControlModifier, Qt::Key_A);
    pressKey(1, Qt::NoModifier, Qt::Key_Escape, QStringLiteral("\x1b"));
    EXPECT_FALSE(hotKeys().isOpen());
    EXPECT_TRUE(log.entries().empty());

    openForNewLaunch({file("a")});
    pressKey(1, Qt::ControlModifier, Qt::Key_Escape, QStringLiteral("\x1b"));
    EXPECT_TRUE(hotKeys().isOpen());
    EXPECT_EQ(hotKeys().hotKeyRec().keyCode, 0x35u);
    EXPECT_EQ(hotKeys().displayText(HotKeyController::Key), QStringLiteral("Esc"));
    EXPECT_EQ(hotKeys().keyName(), QStringLiteral("Ctrl+Esc"));
}

} // namespace
} // namespace presto
