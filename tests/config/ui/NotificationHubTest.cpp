#include "config/ui/NotificationHub.h"

#include "UiTestSupport.h"

#include <QMetaMethod>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>

namespace presto {
namespace {

// A hub that can tell which of its signals have an observer.
class ProbedHub : public NotificationHub {
public:
    QStringList signalsWithoutObserver() const {
        QStringList names;
        const QMetaObject& meta = NotificationHub::staticMetaObject;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            if (method.methodType() == QMetaMethod::Signal && !isSignalConnected(method))
                names << QString::fromLatin1(method.name());
        }
        return names;
    }
};

TEST(NotificationHub, DeliversASignalsArgumentsToItsObserversOnlyInConnectionOrder) {
    NotificationHub hub;
    QObject observer;
    QStringList calls;
    QObject::connect(&hub, &NotificationHub::RowValueFromLI, &observer, [&](int row, int drawer) {
        calls << QStringLiteral("first %1 %2").arg(row).arg(drawer);
    });
    QObject::connect(&hub, &NotificationHub::RowValueFromDrawer, &observer,
                     [&](int) { calls << "other signal"; });
    QObject::connect(&hub, &NotificationHub::RowValueFromLI, &observer, [&](int row, int drawer) {
        calls << QStringLiteral("second %1 %2").arg(row).arg(drawer);
    });
    emit hub.RowValueFromLI(3, -1);
    EXPECT_EQ(calls, QStringList({"first 3 -1", "second 3 -1"}));
}

TEST(NotificationHub, AnEmitReturnsOnlyAfterTheEmitsItsObserversMade) {
    NotificationHub hub;
    QObject observer;
    QStringList calls;
    QObject::connect(&hub, &NotificationHub::DelItemByMenu, &observer, [&] {
        calls << "outer begins";
        emit hub.DelHotKeyItem(7);
        calls << "outer ends";
    });
    QObject::connect(&hub, &NotificationHub::DelHotKeyItem, &observer,
                     [&](int row) { calls << "inner " + QString::number(row); });
    emit hub.DelItemByMenu();
    calls << "after emit";
    EXPECT_EQ(calls, QStringList({"outer begins", "inner 7", "outer ends", "after emit"}));
}

TEST(NotificationHub, ObserversGoneDuringAnEmitAreNotCalledAndNewOnesWaitForTheNextEmit) {
    NotificationHub hub;
    QStringList calls;
    auto later = std::make_unique<QObject>();
    QObject first;
    QObject added;
    // The first observer destroys an object that would run after it.
    QObject::connect(&hub, &NotificationHub::CloseHK, &first, [&] {
        calls << "first";
        later.reset();
        QObject::connect(&hub, &NotificationHub::CloseHK, &added, [&] { calls << "added"; });
    });
    QObject::connect(&hub, &NotificationHub::CloseHK, later.get(), [&] { calls << "destroyed"; });
    emit hub.CloseHK();
    EXPECT_EQ(calls, QStringList({"first"}));

    QObject::disconnect(&hub, nullptr, &first, nullptr);
    calls.clear();
    emit hub.CloseHK();
    EXPECT_EQ(calls, QStringList({"added"}));
}

TEST(NotificationHub, EveryNotificationHasItsObserverWhileTheWindowsLiveAndNoneAfter) {
    test::application();
    test::TempWorld world;
    ProbedHub hub;
    test::ScriptedAlerts alerts;
    test::ScriptedChooser chooser;
    {
        AppController controller(hub, alerts,
                                 std::make_unique<DataStore>(world.locations(), alerts));
        MainWindow window(hub, alerts, chooser, controller);
        EXPECT_EQ(hub.signalsWithoutObserver(), QStringList());
    }
    EXPECT_EQ(hub.signalsWithoutObserver().size(),
              NotificationHub::staticMetaObject.methodCount() -
                  NotificationHub::staticMetaObject.methodOffset());
    // Nobody is left to be called.
    emit hub.ShowLaunchItemTable(nullptr);
    emit hub.OpenDrawer(0, {QStringLiteral("/a"), QStringLiteral("/b")}, nullptr);
}

} // namespace
} // namespace presto
