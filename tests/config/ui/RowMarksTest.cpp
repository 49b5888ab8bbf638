#include "UiTestSupport.h"
#include "config/ui/Cells.h"
#include "config/ui/FFController.h"
#include "config/ui/KeysStatus.h"
#include "config/ui/PbFController.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

// What the tabs' rows tell besides their hot keys: the key's name as the desktops write it, a key
// that does not work (from the key-capture agent's status file), a file that has gone.
namespace presto {
namespace {

using RowMarks = test::UiWorld;

constexpr std::uint16_t kMacT = 0x11;
constexpr int kItemColumn = 1;
constexpr int kHotKeyColumn = 2;

QString text(const QAbstractItemModel& model, int row, int column, int role) {
    return model.index(row, column).data(role).toString();
}

// Whether the model told its views to redraw the column since the last call.
class Redraws {
public:
    Redraws(QAbstractItemModel& model, int column) {
        QObject::connect(&model, &QAbstractItemModel::dataChanged, &context_,
                         [this, column](const QModelIndex& from, const QModelIndex& to) {
                             seen_ = seen_ || (from.column() <= column && column <= to.column());
                         });
    }
    bool take() { return std::exchange(seen_, false); }

private:
    QObject context_;
    bool seen_ = false;
};

TEST_F(RowMarks, HotKeysReadAsTheDesktopsWriteThem) {
    struct Case {
        std::uint32_t modFlags;
        std::uint16_t macKeyCode;
        char16_t typed;
        const char* name;
    };
    const Case cases[] = {
        {kControlBit | kOptionBit, test::kMacG, u'g', "Ctrl+Alt+G"},
        {kCommandBit, 0x60, 0, "Super+F5"},
        {kShiftBit, 0x35, 0x1B, "Shift+Esc"},
        {kCommandBit | kShiftBit, 0x31, u' ', "Super+Shift+Space"},
        {kControlBit | kShiftBit, 0x74, 0, "Ctrl+Shift+Page Up"},
        {kControlBit, 0x53, 0, "Ctrl+Keypad 1"},
        {kCapsLockBit, 0x7B, 0, "Caps Lock+Left"},
        // Typed on a German layout: the letter of the layout, not of the key's US place.
        {kOptionBit, 0x29, u'\u00F6', "Alt+\u00D6"},
        // No character known: the key that stands there on a US keyboard.
        {kControlBit | kOptionBit, kMacT, 0, "Ctrl+Alt+T"},
    };
    for (const Case& c : cases) {
        HotKeyItem& item = addLaunchHotKey({file("a")}, c.macKeyCode, c.modFlags);
        item.setCharCodeIgMod(c.typed);
        item.setHotKey();
    }
    showLaunchTable();
    const LaunchItemModel& model = launchTab().model();
    for (int row = 0; row < int(std::size(cases)); ++row) {
        const QString name = QString::fromUtf8(cases[row].name);
        QStringList parts = model.index(row, kHotKeyColumn).data(kHotKeyPartsRole).toStringList();
        parts.removeAll(QString());
        EXPECT_EQ(parts.join(u'+'), name) << "drawn, row " << row;
        EXPECT_EQ(text(model, row, kHotKeyColumn, Qt::DisplayRole), name);
        EXPECT_EQ(text(model, row, kHotKeyColumn, Qt::ToolTipRole), name);
    }
}

TEST_F(RowMarks, AKeyTheAgentCannotBindIsMarkedInItsTabForAsLongAsTheAgentSaysSo) {
    const QString folder = QString::fromStdString(world.locations().runtimeDir);
    const QString path = folder + QStringLiteral("/keys-status");
    // As the agent writes it: a whole new file renamed over the old one.
    const auto agentWrites = [&](const QByteArray& lines) {
        QFile next(path + QStringLiteral(".new"));
        ASSERT_TRUE(next.open(QIODevice::WriteOnly));
        next.write("source=X11\n" + lines);
        next.close();
        ASSERT_EQ(std::rename(qPrintable(next.fileName()), qPrintable(path)), 0);
    };
    // Made before the agent ever ran: its folder does not exist yet.
    KeysStatus status(path);
    window().setKeysStatus(&status);
    addLaunchHotKey({file("notes")}, kMacT, kControlBit | kOptionBit);
    addLaunchHotKey({file("other")}, test::kMacG, kControlBit | kOptionBit);
    store().hotKeyFinderFunction(6)->assignHotKeyRec(test::keyRec(kCommandBit, test::kMacG));
    showLaunchTable();
    window().finderFunctionTab().setDataStore(&store());
    LaunchItemModel& launch = launchTab().model();
    FinderFunctionModel& finder = window().finderFunctionTab().model();
    Redraws launchRedraws(launch, kHotKeyColumn);
    const auto mark = [](const QAbstractItemModel& model, int row) {
        return text(model, row, kHotKeyColumn, kKeyProblemRole);
    };
    const QString held = QStringLiteral("Ctrl+Alt+T is taken by another program");
    EXPECT_EQ(mark(launch, 0), QString());

    ASSERT_TRUE(QDir().mkpath(folder));
    // Words a reader does not know are passed over: an unknown reason, words after the reason.
    agentWrites("key=17 786432 held\nkey=5 786432 sleeping\nkey=5 1048576 refused later words\n");
    ASSERT_TRUE(test::waitWithEvents([&] { return mark(launch, 0) == held; }));
    EXPECT_TRUE(launchRedraws.take());
    EXPECT_EQ(text(launch, 0, kHotKeyColumn, Qt::ToolTipRole), held);
    EXPECT_EQ(mark(launch, 1), QString());
    EXPECT_EQ(mark(finder, 6), QStringLiteral("Super+G does not work: the desktop refused it"));

    // The agent's record with Num Lock's bit is the same hot key.
    agentWrites("key=17 2883584 held\n");
    ASSERT_TRUE(test::waitWithEvents([&] { return mark(finder, 6).isEmpty(); }));
    EXPECT_EQ(mark(launch, 0), held);

    // No file, no agent: nothing is known of any key.
    QFile::remove(path);
    ASSERT_TRUE(test::waitWithEvents([&] { return mark(launch, 0).isEmpty(); }));
    EXPECT_TRUE(launchRedraws.take());
    EXPECT_EQ(text(launch, 0, kHotKeyColumn, Qt::ToolTipRole), QStringLiteral("Ctrl+Alt+T"));
    window().setKeysStatus(nullptr);
}

TEST_F(RowMarks, AGoneFileIsMarkedWithItsLastPathUntilItComesBack) {
    const QString kept = file("kept.txt");
    const QString gone = file("gone.txt");
    addLaunchHotKey({gone}, test::kMacA);
    addLaunchHotKey({kept, gone}, test::kMacG);
    // A clipboard snapshot's file may go the same way.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(world.locations().pasteboardDir())));
    auto snapshot = std::make_unique<HotKeyPbItem>(test::keyRec(kControlBit, 0, kKindPasteboard));
    snapshot->setPbDataPath(gone);
    store().addHotKeyPbItem(std::move(snapshot));
    showLaunchTable();
    window().pasteboardItemTab().setDataStore(&store());
    controller().saveData();
    const QString notFound = QStringLiteral("Not found: ") + gone;
    const auto marked = [&](const QAbstractItemModel& model, int row, int column) {
        const QImage icon =
            model.index(row, column).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
        return icon == warningIcon().pixmap(16).toImage() &&
               text(model, row, column, Qt::ToolTipRole).split(u'\n').contains(notFound);
    };
    EXPECT_FALSE(marked(launchTab().model(), 0, kItemColumn));

    ASSERT_TRUE(QFile::rename(gone, gone + QStringLiteral(".trashed")));
    constexpr int kTitleColumn = 2;
    ASSERT_TRUE(test::waitWithEvents([&] {
        return marked(launchTab().model(), 0, kItemColumn) &&
               marked(launchTab().model(), 1, kItemColumn) &&
               marked(window().pasteboardItemTab().model(), 0, kTitleColumn);
    }));
    // The group's drawer marks the one path that has gone.
    launchTab().table()->selectRow(1);
    EXPECT_FALSE(marked(drawer().model(), 0, 1));
    EXPECT_TRUE(marked(drawer().model(), 1, 1));

    // Edits save the data file; the next start still shows the hot keys as they were.
    controller().saveData();
    restart();
    showLaunchTable();
    ASSERT_EQ(store().countHotKeyItem(), 2);
    EXPECT_EQ(store().hotKeyItem(1)->itemPaths(), QStringList({kept, gone}));
    EXPECT_TRUE(marked(launchTab().model(), 0, kItemColumn));

    ASSERT_TRUE(QFile::rename(gone + QStringLiteral(".trashed"), gone));
    EXPECT_TRUE(test::waitWithEvents([&] { return !marked(launchTab().model(), 0, kItemColumn); }));
}

} // namespace
} // namespace presto
