// Writes a data file of sample launch hot keys, every fourth one a group, for screenshots and
// start-up timing: ui_sample_data COUNT FILES_FOLDER. The data file goes where the environment
// (XDG_DATA_HOME) says; the files the hot keys open are made in FILES_FOLDER.
#include "common/DataFile.h"
#include "common/Locations.h"
#include "config/model/DataStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

namespace {

class NoAlerts : public presto::AlertPresenter {
public:
    presto::AlertAnswer ask(const presto::AlertRequest& request) override {
        std::fprintf(stderr, "ui_sample_data: %s\n", qPrintable(request.title));
        return {};
    }
};

void touch(const QString& path) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("sample\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: ui_sample_data COUNT FILES_FOLDER\n");
        return 2;
    }
    const int count = std::min(QByteArray(argv[1]).toInt(), presto::kMaxHotKeys);
    const QDir files(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(files.path());
    const presto::Locations locations = presto::Locations::fromEnvironment();
    QDir().mkpath(QString::fromStdString(locations.dataFolder()));

    // Key codes and the characters they type, as on a Mac ANSI keyboard.
    constexpr std::uint16_t keys[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                                      0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x1F, 0x20, 0x22,
                                      0x23, 0x25, 0x26, 0x28, 0x2D, 0x2E, 0x12, 0x13, 0x14, 0x15,
                                      0x17, 0x16, 0x1A, 0x1C, 0x19, 0x1D, 0x7A, 0x78, 0x63, 0x76,
                                      0x60, 0x61, 0x62, 0x64, 0x65, 0x6D, 0x67, 0x6F, 0x30, 0x31};
    constexpr char typed[] = "asdfhgzxcvbqwerytouipljknm1234567890";
    constexpr std::uint32_t modifiers[] = {
        presto::kCommandBit, presto::kCommandBit | presto::kShiftBit,
        presto::kControlBit | presto::kOptionBit,
        presto::kControlBit | presto::kShiftBit | presto::kCommandBit};
    const char* names[] = {"Report.odt", "Budget.ods", "Notes.txt",  "Photos", "Music",
                           "Projects",   "todo.md",    "slides.pdf", "run.sh", "backup.tar"};

    NoAlerts alerts;
    presto::DataStore store(locations, alerts);
    for (int i = 0; i < count; ++i) {
        const QString name = QString::number(i + 1) + u' ' + QLatin1String(names[i % 10]);
        const QString first = files.filePath(name);
        if (name.contains(u'.'))
            touch(first);
        else
            QDir().mkpath(first);
        QStringList paths{first};
        for (int extra = 1; i % 4 == 1 && extra <= i % 3 + 1; ++extra) {
            paths << files.filePath(name + QStringLiteral(" part %1.txt").arg(extra));
            touch(paths.back());
        }
        presto::HotKeyRec rec;
        rec.eventType = presto::kKeyDownEventType;
        rec.keyCode = keys[i % 50];
        rec.modFlags = modifiers[(i / 50 + i % 2) % 4];
        rec.charCode = rec.charCodeIgMod = i % 50 < 36 ? typed[i % 50] : 0;
        auto item = std::make_unique<presto::HotKeyItem>();
        item->setHotKeyRecItems(rec, paths);
        store.addHotKeyItem(std::move(item));
    }
    store.saveItemData();
    std::printf("%lld hot keys in %s\n", static_cast<long long>(store.countHotKeyItem()),
                qPrintable(store.savePath()));
    return 0;
}
