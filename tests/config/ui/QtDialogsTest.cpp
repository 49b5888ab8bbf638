#include "config/ui/QtDialogs.h"

#include "UiTestSupport.h"

#include <QMessageBox>
#include <QTimer>
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

} // namespace
} // namespace presto
