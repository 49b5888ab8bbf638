#include "ModelTestSupport.h"
#include "config/model/DataStore.h"
#include "config/model/HotKeyFinderFunctionData.h"
#include "tests/support/ScriptedAlerts.h"

#include <QCoreApplication>
#include <QTranslator>
#include <gtest/gtest.h>

namespace presto {
namespace {

using test::ScriptedAlerts;

// Marks every text it is asked for with its context, so a test sees which texts went through
// translation and under which source text.
class MarkingTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* = nullptr,
                      int = -1) const override {
        return QStringLiteral("<%1:%2>").arg(QString::fromUtf8(context),
                                             QString::fromUtf8(sourceText));
    }
};

class ModelTranslation : public ::testing::Test {
protected:
    ModelTranslation() { QCoreApplication::installTranslator(&translator); }
    ~ModelTranslation() override { QCoreApplication::removeTranslator(&translator); }

    int argc = 1;
    char name[20] = "config_model_tests";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    MarkingTranslator translator;
    ScriptedAlerts alerts;
};

TEST_F(ModelTranslation, DialogTextsAreTranslatedAndFileNamesShownLiterally) {
    HotKeyItem item;
    // File names that are themselves translatable texts or look like formats.
    item.setItemPaths({"/d/OK"});
    alerts.answer("<HotKeyItem:OK>");
    EXPECT_EQ(item.multiEntry({"/d/OK", "/d/Cancel", "/d/%1"}, -1, "Again", alerts), 1);
    ASSERT_EQ(alerts.requests().size(), 1u);
    const AlertRequest& shown = alerts.requests()[0];
    EXPECT_EQ(shown.title, "<HotKeyItem:This item is already on the list>\nOK\n");
    EXPECT_EQ(shown.message, "<HotKeyItem:These items will be added>\nCancel\n%1\n");
    EXPECT_EQ(shown.buttons, QStringList({"<HotKeyItem:OK>", "<HotKeyItem:Cancel>", "Again"}));
}

TEST_F(ModelTranslation, TheTooManyItemsRefusalIsTranslated) {
    alerts.answer("<HotKeyItem:OK>");
    EXPECT_EQ(HotKeyItem::checkItemCount(256, std::nullopt, alerts), 0);
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].title, "<HotKeyItem:Too many items>");
    EXPECT_TRUE(alerts.requests()[0].message.startsWith("<HotKeyItem:"));
}

TEST_F(ModelTranslation, CatalogueNamesAreTranslatedAndNumbersKept) {
    test::FreshStore fresh;
    const DataStore& store = fresh.store;
    EXPECT_EQ(store.hotKeyFinderFunction(0)->finderFunction().functionName(),
              "<HotKeyFinderFunctionData:Sleep>");
    EXPECT_EQ(store.hotKeyFinderFunction(10)->finderFunction().functionName(),
              "<HotKeyFinderFunctionData:Copy to... by new name>");
    EXPECT_EQ(store.hotKeyFinderFunction(10)->finderFunction().functionNo(), 27);
}

TEST_F(ModelTranslation, SaveQuestionsAreTranslatedAndPathsShownLiterally) {
    test::TempWorld world;
    DataStore store(world.locations(), alerts);
    store.setSavePath(QString::fromStdString(world.root()) + "/OK/PrestoData.data");
    store.hotKeyFinderFunction(0)->assignHotKeyRec(test::keyRec(kOptionBit, 1));
    alerts.answer("<DataStore:Cancel>");
    store.saveItemData();
    ASSERT_EQ(alerts.requests().size(), 1u);
    const AlertRequest& shown = alerts.requests()[0];
    EXPECT_EQ(shown.title, "<DataStore:This directory does not exist>");
    EXPECT_EQ(shown.message, QString::fromStdString(world.root()) + "/OK");
    EXPECT_EQ(shown.buttons, QStringList({"<DataStore:OK Make directory>", "<DataStore:Cancel>"}));
}

TEST_F(ModelTranslation, WithoutATranslationTheEnglishTextShows) {
    QCoreApplication::removeTranslator(&translator);
    HotKeyFinderFunctionData catalogue;
    EXPECT_EQ(catalogue.hotKeyFinderFunction(2)->finderFunction().functionName(), "Shut Down");
}

} // namespace
} // namespace presto
