#include "UiTestSupport.h"
#include "common/SnapshotFile.h"
#include "config/ui/Cells.h"
#include "config/ui/PBTitleController.h"
#include "config/ui/PasteboardPreview.h"
#include "config/ui/PbFController.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace presto {
namespace {

class PasteboardItemTab : public test::UiWorld {
protected:
    PbFController& tab() { return window().pasteboardItemTab(); }
    PBTitleController& titlePanel() { return tab().titleController(); }

    // A snapshot with its file, stored directly in the data store.
    // `key` is one of a, s, d, f, held with Control.
    HotKeyPbItem& addSnapshot(const QString& title, const std::string& type, const QByteArray& data,
                              char key) {
        QDir().mkpath(store().savePbDataDir());
        const QString path = QDir(store().savePbDataDir()).filePath(title);
        writeSnapshotFile(path.toStdString(),
                          {type, std::vector<std::uint8_t>(data.begin(), data.end())});
        const std::uint16_t macKeyCode =
            static_cast<std::uint16_t>(QByteArray("asdf").indexOf(key));
        HotKeyRec rec = test::keyRec(kControlBit, macKeyCode, kKindPasteboard);
        rec.charCodeIgMod = static_cast<std::uint8_t>(key);
        auto item = std::make_unique<HotKeyPbItem>(rec);
        item->setItemCount(1);
        item->setPbDataPath(path);
        item->setPbTitle(title);
        HotKeyPbItem& stored = *item;
        store().addHotKeyPbItem(std::move(item));
        return stored;
    }

    void showPasteboardTab() { window().tabView()->setCurrentIndex(2); }

    QStringList titles() {
        QStringList titles;
        for (int row = 0; row < tab().model().rowCount(); ++row)
            titles.append(tab().model().index(row, 2).data().toString());
        return titles;
    }

    // Titles of the pasteboard hot keys in the data file as it is now.
    QStringList savedTitles() {
        test::ScriptedAlerts quiet;
        DataStore saved(world.locations(), quiet);
        QStringList titles;
        for (const auto& item : saved.hotKeyPbItems())
            titles.append(item->pbTitle());
        return titles;
    }

    static QImage redPicture() {
        QImage picture(7, 5, QImage::Format_RGB32);
        picture.fill(Qt::red);
        return picture;
    }
};

TEST_F(PasteboardItemTab, TakesTextBeforeAPictureAndAPictureAsTiff) {
    showPasteboardTab();
    test::NotificationLog log(hub, &NotificationHub::ShowPBTitleFromPbF);
    // Where the title panel's request carries what it reads.
    enum { kKbn, kSelectedRow, kPbIndex, kDataStore, kPbType, kPbUTI, kPbData };
    auto* both = new QMimeData;
    both->setText(QStringLiteral("héllo"));
    both->setImageData(redPicture());
    QGuiApplication::clipboard()->setMimeData(both);
    controller().addPbTitleMenu()->trigger();

    ASSERT_EQ(log.entries().size(), 1u);
    const QVariantList text = log.entries()[0].arguments;
    EXPECT_EQ(text.at(kPbIndex).toInt(), 0);
    EXPECT_EQ(text.at(kPbUTI).toString(), QStringLiteral("public.utf8-plain-text"));
    EXPECT_EQ(text.at(kPbData).toByteArray(), QString("héllo").toUtf8());
    EXPECT_EQ(text.at(kKbn).value<char>(), 'P');
    EXPECT_EQ(text.at(kSelectedRow).toInt(), -1);
    ASSERT_TRUE(titlePanel().isOpen());
    EXPECT_EQ(titlePanel().tabView()->currentIndex(), 0);
    EXPECT_EQ(titlePanel().textView()->text(), QStringLiteral("héllo"));
    titlePanel().cancelPushButton()->click();
    EXPECT_FALSE(titlePanel().isOpen());

    QGuiApplication::clipboard()->setImage(redPicture());
    tab().addButton()->click();
    ASSERT_EQ(log.entries().size(), 2u);
    const QVariantList picture = log.entries()[1].arguments;
    EXPECT_EQ(picture.at(kPbIndex).toInt(), 1);
    EXPECT_EQ(picture.at(kPbUTI).toString(), QStringLiteral("public.tiff"));
    const QImage decoded = QImage::fromData(picture.at(kPbData).toByteArray(), "TIFF");
    ASSERT_EQ(decoded.size(), QSize(7, 5));
    EXPECT_EQ(decoded.pixelColor(3, 2), QColor(Qt::red));
    ASSERT_TRUE(titlePanel().isOpen());
    EXPECT_EQ(titlePanel().tabView()->currentIndex(), 1);
    EXPECT_EQ(titlePanel().imageView()->imageSize(), QSize(7, 5));
    // What the previous snapshot left is gone.
    EXPECT_TRUE(titlePanel().textView()->text().isEmpty());
    EXPECT_TRUE(titlePanel().titleField()->text().isEmpty());
    titlePanel().cancelButton();

    QGuiApplication::clipboard()->clear();
    alerts.answer("Cancel");
    tab().addButton()->click();
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].title, QStringLiteral("Pasteboard is empty!"));
    EXPECT_EQ(alerts.requests()[0].message, QStringLiteral("Needs to Cancel"));
    EXPECT_EQ(alerts.requests()[0].buttons, QStringList({"Cancel"}));
    EXPECT_EQ(alerts.requests()[0].style, AlertStyle::Critical);
    EXPECT_EQ(log.entries().size(), 2u);
    EXPECT_FALSE(titlePanel().isOpen());
}

TEST_F(PasteboardItemTab, TheTitlePanelRefusesEmptyTakenAndPathTitles) {
    addSnapshot("Greeting", kUtf8PlainTextType, "hi", 'a');
    showPasteboardTab();
    test::NotificationLog log(hub, &NotificationHub::ShowHKFromPbF);
    QGuiApplication::clipboard()->setText(QStringLiteral("new text"));
    tab().addButton()->click();

    for (const QString& title :
         {QString(), QStringLiteral("Greeting"), QStringLiteral("a/b"), QStringLiteral("..")}) {
        alerts.answer("Retry");
        titlePanel().setPbTitle(title);
        titlePanel().okPushButton()->click();
        EXPECT_TRUE(titlePanel().isOpen()) << title.toStdString();
    }
    ASSERT_EQ(alerts.requests().size(), 4u);
    EXPECT_EQ(alerts.requests()[0].title, QStringLiteral("Title is empty"));
    EXPECT_EQ(alerts.requests()[0].message, QStringLiteral("Entry the title"));
    EXPECT_EQ(alerts.requests()[0].buttons, QStringList({"Retry", "Cancel"}));
    EXPECT_EQ(alerts.requests()[1].title, QStringLiteral("This item is already on the list"));
    EXPECT_EQ(alerts.requests()[1].message, QStringLiteral("Greeting"));
    EXPECT_EQ(alerts.requests()[2].message, QStringLiteral("a/b"));

    alerts.answer("Cancel");
    titlePanel().setPbTitle(QString());
    titlePanel().okPushButton()->click();
    EXPECT_FALSE(titlePanel().isOpen());
    EXPECT_TRUE(log.entries().empty());
    EXPECT_FALSE(hotKeys().isOpen());
}

TEST_F(PasteboardItemTab, NewSnapshotsAreWrittenListedAtTheSelectedRowAndPreviewed) {
    showPasteboardTab();
    QGuiApplication::clipboard()->setText(QStringLiteral("hello world"));
    controller().addPbTitleMenu()->trigger();
    titlePanel().setPbTitle(QStringLiteral("Greeting"));
    titlePanel().okPushButton()->click();
    EXPECT_FALSE(titlePanel().isOpen());
    ASSERT_TRUE(hotKeys().isOpen());
    EXPECT_EQ(hotKeys().tableKbn(), 'P');
    EXPECT_EQ(hotKeys().items(), QStringList({QDir(store().savePbDataDir()).filePath("Greeting")}));
    pressKey(test::kEvdevG, Qt::ControlModifier, Qt::Key_G);
    alerts.answer("OK Make directory");
    alerts.answer("OK");
    clickOk();

    ASSERT_EQ(store().countHotKeyPbItem(), 1);
    const auto text = readSnapshotFile(store().hotKeyPbItem(0)->pbDataPath().toStdString());
    ASSERT_TRUE(text);
    EXPECT_EQ(text->type, "public.utf8-plain-text");
    EXPECT_EQ(std::string(text->data.begin(), text->data.end()), "hello world");
    EXPECT_EQ(savedTitles(), QStringList({"Greeting"}));
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTDATA"}));
    EXPECT_EQ(titles(), QStringList({"Greeting"}));
    EXPECT_EQ(tab().model().index(0, 1).data(kHotKeyPartsRole).toStringList().last(), "G");

    tab().table()->selectRow(0);
    EXPECT_TRUE(tab().isDrawerOpen());
    EXPECT_TRUE(tab().drawer()->showsText());
    EXPECT_FALSE(tab().drawer()->showsImage());
    EXPECT_EQ(tab().drawer()->text(), QStringLiteral("hello world"));
    EXPECT_TRUE(tab().deleteButton()->isEnabled());
    EXPECT_TRUE(controller().delPbTitleMenu()->isEnabled());

    // With row 0 selected, the next snapshot goes before it.
    QGuiApplication::clipboard()->setImage(redPicture());
    tab().addButton()->click();
    titlePanel().setPbTitle(QStringLiteral("Red"));
    titlePanel().okPushButton()->click();
    EXPECT_EQ(hotKeys().selectedRow(), 0);
    pressKey(test::kEvdevA, Qt::ControlModifier, Qt::Key_A);
    clickOk();
    EXPECT_EQ(titles(), QStringList({"Red", "Greeting"}));
    EXPECT_EQ(savedTitles(), QStringList({"Red", "Greeting"}));
    EXPECT_EQ(readSnapshotFile(store().hotKeyPbItem(0)->pbDataPath().toStdString())->type,
              "public.tiff");

    tab().table()->selectRow(1);
    tab().table()->selectRow(0);
    EXPECT_TRUE(tab().drawer()->showsImage());
    EXPECT_FALSE(tab().drawer()->showsText());
    EXPECT_EQ(tab().drawer()->imageSize(), QSize(7, 5));

    tab().table()->clearSelection();
    EXPECT_FALSE(tab().isDrawerOpen());
    EXPECT_FALSE(tab().deleteButton()->isEnabled());
    EXPECT_FALSE(controller().delPbTitleMenu()->isEnabled());

    // Another tab closes the preview; coming back shows nothing selected.
    tab().table()->selectRow(1);
    window().tabView()->setCurrentIndex(0);
    EXPECT_FALSE(tab().isDrawerOpen());
    showPasteboardTab();
    EXPECT_EQ(tab().table()->selectedRow(), -1);
    EXPECT_FALSE(tab().deleteButton()->isEnabled());
    EXPECT_TRUE(alerts.allAnswered());
}

TEST_F(PasteboardItemTab, DeletingRemovesTheSnapshotFileAndTheSavedEntry) {
    const QString firstPath = addSnapshot("First", kUtf8PlainTextType, "one", 'a').pbDataPath();
    addSnapshot("Second", kUtf8PlainTextType, "two", 's');
    const QString lostPath = addSnapshot("Lost", kUtf8PlainTextType, "three", 'd').pbDataPath();
    QFile::remove(lostPath);
    showPasteboardTab();

    // A snapshot whose file went leaves the preview empty.
    tab().table()->selectRow(2);
    EXPECT_TRUE(tab().isDrawerOpen());
    EXPECT_FALSE(tab().drawer()->showsText());
    EXPECT_FALSE(tab().drawer()->showsImage());

    tab().table()->selectRow(0);
    tab().deleteButton()->click();
    EXPECT_FALSE(QFile::exists(firstPath));
    EXPECT_EQ(titles(), QStringList({"Second", "Lost"}));
    EXPECT_EQ(savedTitles(), QStringList({"Second"}));
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTDATA"}));
    // The row that moved up is the selected one now, and the preview follows.
    EXPECT_EQ(tab().table()->selectedRow(), 0);
    EXPECT_EQ(tab().drawer()->text(), QStringLiteral("two"));

    tab().table()->selectRow(1);
    controller().delPbTitleMenu()->trigger();
    EXPECT_EQ(titles(), QStringList({"Second"}));
    EXPECT_EQ(tab().table()->selectedRow(), -1);
    EXPECT_FALSE(tab().isDrawerOpen());
    EXPECT_FALSE(tab().deleteButton()->isEnabled());
    // Without a selection the command deletes nothing.
    controller().delPbTitle();
    EXPECT_EQ(store().countHotKeyPbItem(), 1);
}

TEST_F(PasteboardItemTab, RowDragsAndHeaderClicksReorderTheList) {
    addSnapshot("c", kUtf8PlainTextType, "c", 'f');
    addSnapshot("a", kUtf8PlainTextType, "a", 's');
    addSnapshot("d", kUtf8PlainTextType, "d", 'd');
    addSnapshot("b", kUtf8PlainTextType, "b", 'a');
    showPasteboardTab();
    PbItemModel& model = tab().model();

    std::unique_ptr<QMimeData> drag(model.mimeData({model.index(3, 2)}));
    EXPECT_TRUE(model.dropMimeData(drag.get(), Qt::MoveAction, 0, 0, {}));
    EXPECT_EQ(titles(), QStringList({"b", "c", "a", "d"}));
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("1"));

    QMimeData foreign;
    foreign.setText(QStringLiteral("not a row"));
    EXPECT_TRUE(model.dropMimeData(&foreign, Qt::CopyAction, 1, 0, {}));
    EXPECT_EQ(titles(), QStringList({"b", "c", "a", "d"}));

    tab().table()->selectRow(1);
    QHeaderView* header = tab().table()->horizontalHeader();
    header->setSortIndicator(2, Qt::AscendingOrder);
    EXPECT_EQ(titles(), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(tab().table()->selectedRow(), -1);
    EXPECT_FALSE(tab().isDrawerOpen());
    header->setSortIndicator(2, Qt::DescendingOrder);
    EXPECT_EQ(titles(), QStringList({"d", "c", "b", "a"}));
    header->setSortIndicator(1, Qt::AscendingOrder);
    EXPECT_EQ(titles(), QStringList({"b", "d", "c", "a"}));
    // The order reaches the data file with the next save.
    controller().saveData();
    EXPECT_EQ(savedTitles(), QStringList({"b", "d", "c", "a"}));
}

TEST_F(PasteboardItemTab, ChangingASnapshotsKeyKeepsItsFile) {
    const HotKeyPbItem& item = addSnapshot("Note", kUtf8PlainTextType, "kept", 'a');
    showPasteboardTab();
    controller().modHotKey();
    EXPECT_FALSE(hotKeys().isOpen());

    tab().table()->selectRow(0);
    controller().modHotKeyMenu()->trigger();
    ASSERT_TRUE(hotKeys().isOpen());
    EXPECT_EQ(hotKeys().tableKbn(), 'p');
    EXPECT_EQ(hotKeys().selectedRow(), 0);
    EXPECT_EQ(hotKeys().items(), QStringList({item.pbDataPath()}));
    EXPECT_EQ(hotKeys().itemModel().index(0, 0).data().toString(), QStringLiteral("Note"));
    pressKey(test::kEvdevG, Qt::AltModifier, Qt::Key_G);
    clickOk();
    EXPECT_EQ(store().hotKeyPbItem(0)->keyCode(), test::kMacG);
    EXPECT_EQ(store().hotKeyPbItem(0)->kind(), kKindPasteboard);
    EXPECT_EQ(savedTitles(), QStringList({"Note"}));
    const auto snapshot = readSnapshotFile(item.pbDataPath().toStdString());
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(std::string(snapshot->data.begin(), snapshot->data.end()), "kept");
}

} // namespace
} // namespace presto
