#include "config/ui/QtDialogs.h"

#include "UiTestSupport.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace presto {
namespace {

using AlertPlacement = test::UiWorld;

// What the real alert looked like while it was up, then its first button clicked.
struct ShownAlert {
    QWidget* parentWindow = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
    bool staysOnTop = false;
    QString text;
};

ShownAlert runAndLook(QtAlertPresenter& presenter, const AlertRequest& request, int* answer) {
    ShownAlert shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no alert shown";
            return;
        }
        shown.parentWindow = box->parentWidget() ? box->parentWidget()->window() : nullptr;
        shown.modality = box->windowModality();
        shown.staysOnTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        shown.text = box->text();
        box->buttons().constFirst()->click();
    });
    *answer = presenter.run(request);
    return shown;
}

TEST_F(AlertPlacement, AnAlertStandsOverTheCapturePanelEvenWhenTheMainWindowIsActive) {
    window().show();
    openForNewLaunch({file("a")});
    ASSERT_TRUE(hotKeys().window()->isVisible());
    // A desktop that refused to hand the panel the focus leaves the main window active.
    window().activateWindow();
    QApplication::processEvents();

    QtAlertPresenter presenter;
    int answer = -1;
    const ShownAlert shown = runAndLook(presenter,
                                        {QStringLiteral("This directory and file has been created"),
                                         QStringLiteral("x"),
                                         {QStringLiteral("OK")},
                                         AlertStyle::Informational},
                                        &answer);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(shown.text, QStringLiteral("This directory and file has been created"));
    EXPECT_EQ(shown.parentWindow, hotKeys().window());
    EXPECT_EQ(shown.modality, Qt::ApplicationModal);
    EXPECT_TRUE(shown.staysOnTop);
    hotKeys().cancelPushButton()->click();

    // With the panel closed, the main window is the front window.
    const ShownAlert later =
        runAndLook(presenter, {QStringLiteral("Sorry"), {}, {QStringLiteral("OK")}}, &answer);
    EXPECT_EQ(later.parentWindow, &window());
    EXPECT_FALSE(later.staysOnTop);
    window().hide();
}

TEST_F(AlertPlacement, AnAlertRaisedByAnotherAlertStandsOverThatOne) {
    window().show();
    QtAlertPresenter presenter;
    int inner = -1;
    ShownAlert nested;
    QTimer::singleShot(0, [&] {
        auto* outer = QApplication::activeModalWidget();
        nested =
            runAndLook(presenter, {QStringLiteral("inner"), {}, {QStringLiteral("OK")}}, &inner);
        EXPECT_EQ(nested.parentWindow, outer);
        qobject_cast<QMessageBox*>(outer)->buttons().constFirst()->click();
    });
    EXPECT_EQ(presenter.run({QStringLiteral("outer"), {}, {QStringLiteral("OK")}}), 0);
    EXPECT_EQ(inner, 0);
    window().hide();
}

// Once the next alert is up: looks at it, then presses Return on it.
void pressReturnOnNextAlert(const std::function<void(QMessageBox&)>& look) {
    QTimer::singleShot(0, [look] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no alert shown";
            return;
        }
        look(*box);
        QTest::keyClick(box, Qt::Key_Return);
    });
}

TEST(RealAlerts, ShowTheRequestsIconDefaultButtonAndCheckBox) {
    test::application();
    const struct {
        AlertStyle style;
        QMessageBox::Icon icon;
        int defaultButton;
        QString checkBox;
    } cases[] = {
        {AlertStyle::Critical, QMessageBox::Critical, 0, {}},
        {AlertStyle::Informational, QMessageBox::Information, 0, {}},
        {AlertStyle::Question, QMessageBox::Question, 1, QStringLiteral("Do not ask again")},
    };
    QtAlertPresenter presenter;
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.style));
        AlertRequest request{QStringLiteral("title"),
                             QStringLiteral("message"),
                             {QStringLiteral("OK"), QStringLiteral("Cancel")},
                             c.style};
        request.defaultButton = c.defaultButton;
        request.checkBox = c.checkBox;
        pressReturnOnNextAlert([&](QMessageBox& box) {
            EXPECT_EQ(box.icon(), c.icon);
            EXPECT_EQ(box.checkBox() ? box.checkBox()->text() : QString(), c.checkBox);
            if (box.checkBox())
                box.checkBox()->setChecked(true);
        });
        const AlertAnswer answer = presenter.ask(request);
        EXPECT_EQ(answer.button, c.defaultButton) << "Return chose another button";
        EXPECT_EQ(answer.checked, !c.checkBox.isEmpty());
    }
}

TEST(RealAlerts, ReturnOnTheTypingKeyQuestionStoresNothing) {
    test::application();
    test::TempWorld world;
    NotificationHub hub;
    QtAlertPresenter presenter;
    HotKeyController panel(hub, presenter);
    test::NotificationLog stored(hub, &NotificationHub::SetEventCode);
    const QString file = QString::fromStdString(world.writeFile("a.txt", "a"));
    emit hub.ShowHKFromLI(note::kKbnNewLaunch, -1, nullptr, QStringList{file});
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, test::kEvdevA + 8, 0, 0,
                QStringLiteral("a"));
    QApplication::sendEvent(panel.window(), &a);

    QString asked;
    pressReturnOnNextAlert([&](QMessageBox& box) { asked = box.text(); });
    panel.okButton();
    EXPECT_TRUE(asked.contains(QStringLiteral("no longer type"))) << asked.toStdString();
    EXPECT_TRUE(stored.entries().empty()) << "Return stored a plain letter as a hot key";
    panel.cancelButton();
}

} // namespace
} // namespace presto
