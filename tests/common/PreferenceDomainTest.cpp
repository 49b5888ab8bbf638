#include "common/PreferenceDomain.h"

#include "tests/support/NestedPlist.h"
#include "tests/support/TempWorld.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace presto {
namespace {

namespace fs = std::filesystem;
using test::TempWorld;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> folderEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

class PreferenceDomainTest : public ::testing::Test {
protected:
    TempWorld world;
    std::string path = world.locations().preferenceFile(kPrestoDomain);
};

TEST_F(PreferenceDomainTest, EveryTypeSurvivesTheTripThroughTheFile) {
    const std::string text = "/Applications/Presto \"1\" <&> \xC3\xA9\xE2\x8C\x98";
    {
        PreferenceDomain writer(path);
        writer.setBool(kFlagShowIcon, false);
        writer.setBool(kFlagRecomended, true);
        writer.setInteger(kKindIntervalHotKey, 3);
        writer.setInteger("Negative", -42);
        writer.setInteger("Large", std::int64_t{1} << 40);
        writer.setReal(kValueIntervalHotKey, 0.35);
        writer.setReal("Whole", 2.0);
        writer.setString(kPrstAppPath, text);
        writer.setString("Empty", "");
        writer.setInteger("Gone", 1);
        writer.remove("Gone");
        EXPECT_TRUE(writer.synchronize());
    }
    PreferenceDomain reader(path);
    EXPECT_EQ(reader.getBool(kFlagShowIcon), false);
    EXPECT_EQ(reader.getBool(kFlagRecomended), true);
    EXPECT_EQ(reader.getInteger(kKindIntervalHotKey), 3);
    EXPECT_EQ(reader.getInteger("Negative"), -42);
    EXPECT_EQ(reader.getInteger("Large"), std::int64_t{1} << 40);
    EXPECT_EQ(reader.getReal(kValueIntervalHotKey), 0.35);
    EXPECT_EQ(reader.getReal("Whole"), 2.0);
    EXPECT_EQ(reader.getString(kPrstAppPath), text);
    EXPECT_EQ(reader.getString("Empty"), "");
    EXPECT_EQ(reader.getInteger("Gone"), std::nullopt);
    EXPECT_EQ(reader.getBool("NeverSet"), std::nullopt);
}

TEST_F(PreferenceDomainTest, ChangesShowAtOnceAndAreSavedWhenTheDomainGoes) {
    {
        PreferenceDomain domain(path);
        domain.setInteger(kValueIntervalKEXT, 9);
        EXPECT_EQ(domain.getInteger(kValueIntervalKEXT), 9);
        domain.setInteger(kValueIntervalKEXT, 7);
        EXPECT_EQ(domain.getInteger(kValueIntervalKEXT), 7);
        domain.setBool(kFlagShowIcon, true);
        domain.remove(kFlagShowIcon);
        EXPECT_EQ(domain.getBool(kFlagShowIcon), std::nullopt);
    }
    PreferenceDomain reader(path);
    EXPECT_EQ(reader.getInteger(kValueIntervalKEXT), 7);
    EXPECT_EQ(reader.getBool(kFlagShowIcon), std::nullopt);
}

TEST_F(PreferenceDomainTest, ValueOfAnotherTypeReadsAsMissing) {
    {
        PreferenceDomain writer(path);
        writer.setBool("Bool", true);
        writer.setInteger("Integer", 1);
        writer.setReal("Real", 1.0);
        writer.setString("String", "1");
        ASSERT_TRUE(writer.synchronize());
    }
    PreferenceDomain reader(path);
    EXPECT_EQ(reader.getInteger("Bool"), std::nullopt);
    EXPECT_EQ(reader.getString("Bool"), std::nullopt);
    EXPECT_EQ(reader.getReal("Integer"), std::nullopt);
    EXPECT_EQ(reader.getBool("Integer"), std::nullopt);
    EXPECT_EQ(reader.getInteger("Real"), std::nullopt);
    EXPECT_EQ(reader.getBool("Real"), std::nullopt);
    EXPECT_EQ(reader.getInteger("String"), std::nullopt);
    EXPECT_EQ(reader.getBool("String"), std::nullopt);
}

TEST_F(PreferenceDomainTest, ReadsAPropertyListWrittenByHand) {
    world.writeFile("config/Presto/com.nimbo.Presto.plist",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                    "<plist version=\"1.0\">\n<dict>\n"
                    "\t<key>FlagShowIcon</key>\n\t<false/>\n"
                    "\t<key>KindIntervalHotKey</key>\n\t<integer>0</integer>\n"
                    "\t<key>ValueIntervalHotKey</key>\n\t<real>1</real>\n"
                    "\t<key>ValueIntervalKEXT</key>\n\t<real>5.5</real>\n"
                    "\t<key>PrstAppPath</key>\n\t<string>/opt/Presto</string>\n"
                    "</dict>\n</plist>\n");
    PreferenceDomain domain(path);
    EXPECT_EQ(domain.getBool(kFlagShowIcon), false);
    EXPECT_EQ(domain.getInteger(kKindIntervalHotKey), 0);
    EXPECT_EQ(domain.getReal(kValueIntervalHotKey), 1.0);
    EXPECT_EQ(domain.getInteger(kValueIntervalKEXT), std::nullopt);
    EXPECT_EQ(domain.getString(kPrstAppPath), "/opt/Presto");
}

TEST_F(PreferenceDomainTest, MissingOrDamagedFileIsAnEmptyDomainThatCanBeWrittenAgain) {
    {
        PreferenceDomain missing(path);
        EXPECT_EQ(missing.getBool(kFlagShowIcon), std::nullopt);
        EXPECT_TRUE(missing.synchronize());
    }
    EXPECT_FALSE(fs::exists(path)) << "a domain without changes wrote a file";

    const std::string damaged[] = {
        "",
        "not a property list",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>FlagShowIcon</key><tr",
        "<plist version=\"1.0\"><array><true/></array></plist>",
        "<plist version=\"1.0\"><string>alone</string></plist>",
        std::string("bplist00\xFF\x00\x13\x37garbage", 19),
        std::string(4096, '\0'),
    };
    for (const std::string& content : damaged) {
        SCOPED_TRACE(content.substr(0, 40));
        world.writeFile("config/Presto/com.nimbo.Presto.plist", content);
        PreferenceDomain domain(path);
        EXPECT_EQ(domain.getBool(kFlagShowIcon), std::nullopt);
        EXPECT_EQ(domain.getString("alone"), std::nullopt);
        domain.setInteger(kKindIntervalHotKey, 1);
        EXPECT_TRUE(domain.synchronize());
        EXPECT_EQ(PreferenceDomain(path).getInteger(kKindIntervalHotKey), 1);
    }
}

TEST_F(PreferenceDomainTest, AFileNestedTooDeepIsDamagedNotACrash) {
    world.writeFile("config/Presto/com.nimbo.Presto.plist", test::nestedPlist(175'000));
    {
        PreferenceDomain domain(path);
        EXPECT_EQ(domain.getBool(kFlagShowIcon), std::nullopt);
        EXPECT_EQ(domain.getInteger(kValueIntervalKEXT), std::nullopt);
        domain.setBool(kFlagShowIcon, true);
        EXPECT_TRUE(domain.synchronize()) << "the domain can be written again";
    }
    EXPECT_EQ(PreferenceDomain(path).getBool(kFlagShowIcon), true);

    // Nesting a real preference file could have is read as ever.
    world.writeFile("config/Presto/com.nimbo.Presto.plist", test::nestedPlist(50));
    EXPECT_EQ(PreferenceDomain(path).getInteger(kValueIntervalKEXT), 9);
    world.writeFile("config/Presto/com.nimbo.Presto.plist", test::nestedPlist(100));
    EXPECT_EQ(PreferenceDomain(path).getInteger(kValueIntervalKEXT), std::nullopt);
}

TEST_F(PreferenceDomainTest, NestingHiddenInMarkupIsStillCounted) {
    const std::string head = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                             "<key>ValueIntervalKEXT</key><integer>9</integer>";
    std::string quoted, commented;
    for (int i = 0; i < 200; ++i) {
        // A '/>' inside a quoted value does not close the element.
        quoted.insert(0, "<array a=\"/>\">");
        quoted += "</array>";
        commented += "<!-- </array> -->";
    }
    world.writeFile("config/Presto/com.nimbo.Presto.plist",
                    head + "<key>Nested</key>" + quoted + "</dict></plist>");
    EXPECT_EQ(PreferenceDomain(path).getInteger(kValueIntervalKEXT), std::nullopt);
    world.writeFile("config/Presto/com.nimbo.Presto.plist", head + commented + "</dict></plist>");
    EXPECT_EQ(PreferenceDomain(path).getInteger(kValueIntervalKEXT), 9) << "comments nest nothing";
}

TEST_F(PreferenceDomainTest, WrittenFileIsAnXmlPropertyList) {
    PreferenceDomain domain(path);
    domain.setBool(kFlagShowIcon, true);
    domain.setBool(kFlagRecomended, false);
    domain.setInteger(kValueIntervalKEXT, 5);
    domain.setReal(kValueIntervalHotKey, 1.5);
    domain.setString(kPrstAppPath, "a&b");
    ASSERT_TRUE(domain.synchronize());

    const std::string text = readText(path);
    EXPECT_EQ(text.rfind("<?xml", 0), 0u);
    for (const char* expected :
         {"<plist version=\"1.0\">", "<dict>", "<key>FlagShowIcon</key>", "<true/>", "<false/>",
          "<key>ValueIntervalKEXT</key>", "<integer>5</integer>", "<real>1.5</real>",
          "<string>a&amp;b</string>"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
}

TEST_F(PreferenceDomainTest, WritingCreatesAPrivateFolderAndLeavesOnlyTheFinalFile) {
    const std::string dir = world.locations().preferencesDir;
    ASSERT_FALSE(fs::exists(dir));
    PreferenceDomain domain(path);
    for (int i = 0; i < 3; ++i) {
        domain.setInteger(kKindIntervalHotKey, i);
        ASSERT_TRUE(domain.synchronize());
    }
    struct stat info;
    ASSERT_EQ(::stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"com.nimbo.Presto.plist"});
}

TEST_F(PreferenceDomainTest, ReaderSeesTheOldOrTheNewFileNeverAPart) {
    {
        PreferenceDomain first(path);
        first.setInteger("A", 0);
        first.setInteger("B", 0);
        // Padding makes the file long enough that a write in pieces would show.
        first.setString("Padding", std::string(64 * 1024, 'x'));
        ASSERT_TRUE(first.synchronize());
    }
    std::atomic<bool> done{false};
    std::thread writer([&] {
        PreferenceDomain domain(path);
        for (int i = 1; i <= 60; ++i) {
            domain.setInteger("A", i);
            domain.setInteger("B", i);
            domain.synchronize();
        }
        done = true;
    });
    int reads = 0;
    int torn = 0;
    PreferenceDomain reader(path);
    while (!done) {
        reader.synchronize();
        auto a = reader.getInteger("A");
        auto b = reader.getInteger("B");
        if (!a || !b || *a != *b || !reader.getString("Padding"))
            ++torn;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    reader.synchronize();
    EXPECT_EQ(reader.getInteger("A"), 60);
}

TEST_F(PreferenceDomainTest, SynchronizeSeesAnotherWriterAndKeepsItsKeys) {
    PreferenceDomain assistant(path);
    PreferenceDomain app(path);
    assistant.setBool(kFlagServiceStatus, false);
    app.setInteger(kKindIntervalHotKey, 0);
    ASSERT_TRUE(app.synchronize());

    ASSERT_TRUE(assistant.synchronize());
    EXPECT_EQ(assistant.getInteger(kKindIntervalHotKey), 0);
    EXPECT_EQ(assistant.getBool(kFlagServiceStatus), false);

    ASSERT_TRUE(app.synchronize());
    EXPECT_EQ(app.getBool(kFlagServiceStatus), false);

    app.remove(kKindIntervalHotKey);
    ASSERT_TRUE(app.synchronize());
    ASSERT_TRUE(assistant.synchronize());
    EXPECT_EQ(assistant.getInteger(kKindIntervalHotKey), std::nullopt);
    EXPECT_EQ(assistant.getBool(kFlagServiceStatus), false);
}

TEST_F(PreferenceDomainTest, FailedWriteIsReportedAndKeepsTheChange) {
    // A file where the folder should be: the folder cannot be made.
    world.writeFile("config/Presto", "in the way");
    PreferenceDomain domain(path);
    domain.setBool(kFlagShowIcon, false);
    EXPECT_FALSE(domain.synchronize());
    EXPECT_EQ(domain.getBool(kFlagShowIcon), false);

    fs::remove(world.locations().preferencesDir);
    EXPECT_TRUE(domain.synchronize());
    EXPECT_EQ(PreferenceDomain(path).getBool(kFlagShowIcon), false);
}

} // namespace
} // namespace presto
