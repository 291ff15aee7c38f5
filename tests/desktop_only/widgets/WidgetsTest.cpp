// The Vx widgets: scroller momentum, tabs, push buttons, dialogs, the
// shuttle's time box, render queue rows and the tool panel.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>

#include <cmath>

#include "WidgetTestApp.h"
#include "support/TestTiles.h"
#include "widgets/DialogWindow.h"
#include "widgets/VxPanelItemBigButton.h"
#include "widgets/VxPanelItemListButton.h"
#include "widgets/VxPushButton.h"
#include "widgets/VxRenderQueueWidget.h"
#include "widgets/VxRenderQueueWindow.h"
#include "widgets/VxScroller.h"
#include "widgets/VxShuttleControl.h"
#include "widgets/VxTabBar.h"
#include "widgets/VxTabButton.h"
#include "widgets/VxToolPanel.h"

namespace {
struct WidgetFixture : ::testing::Test {
    void SetUp() override { ensureWidgetTestApp(); }
};
}  // namespace

// A push of 10 pixels moves 10, 9, 8.1, ... per 30 ms tick and stops once
// the decayed speed is below half a pixel (10 x 0.9^29 < 0.5 <= 10 x 0.9^28):
// the same float steps as the scroller's.
TEST_F(WidgetFixture, ScrollerMomentumDecaysByATenthPerTick) {
    VxScroller scroller(nullptr);
    EXPECT_EQ(VxScroller::kMomentumIntervalMs, 30);
    scroller.setLengths(100.0f, 1000.0f);
    QSignalSpy scrolled(&scroller, &VxScroller::scrolled);
    scroller.addMomentum(10.0f);
    EXPECT_TRUE(scroller.isMoving());
    float expected = 0.0f;
    float speed = 10.0f;
    int ticks = 0;
    while (scroller.isMoving() && ticks < 1000) {
        scroller.momentumTimerFired();
        expected += speed;
        speed *= 0.9f;
        ++ticks;
        ASSERT_FLOAT_EQ(scroller.position(), expected);
    }
    EXPECT_EQ(ticks, 29);
    EXPECT_EQ(scrolled.count(), ticks);
    EXPECT_NEAR(scroller.position(), 95.29f, 0.01f);
}

TEST_F(WidgetFixture, ScrollerStopsAtTheEndsAndClampsToNewLengths) {
    VxScroller scroller(nullptr, Qt::Horizontal);
    scroller.setLengths(100.0f, 130.0f);
    scroller.addMomentum(20.0f);
    scroller.momentumTimerFired();
    EXPECT_FLOAT_EQ(scroller.position(), 20.0f);
    scroller.momentumTimerFired();
    EXPECT_FLOAT_EQ(scroller.position(), 30.0f);  // clamped to content - view
    scroller.momentumTimerFired();
    EXPECT_FALSE(scroller.isMoving());
    // A push the other way starts from rest.
    scroller.addMomentum(-5.0f);
    EXPECT_FLOAT_EQ(scroller.velocity(), -5.0f);
    scroller.stopMomentum();
    // Shorter content pulls the position back; hostile lengths are refused.
    scroller.setLengths(100.0f, 110.0f);
    EXPECT_FLOAT_EQ(scroller.position(), 10.0f);
    scroller.setLengths(NAN, INFINITY);
    EXPECT_FLOAT_EQ(scroller.position(), 0.0f);
    scroller.setPosition(NAN, true);
    EXPECT_FLOAT_EQ(scroller.position(), 0.0f);
}

TEST_F(WidgetFixture, TabBarAddsChoosesAndRemovesTabs) {
    VxTabBar bar(nullptr);
    bar.resize(600, 24);
    QSignalSpy activated(&bar, &VxTabBar::tabActivated);
    QSignalSpy closeRequested(&bar, &VxTabBar::tabRequestedClose);
    bar.addTab(0);
    EXPECT_EQ(bar.currentIndex, 0);
    bar.addTab(1);
    bar.addTab(2);
    ASSERT_EQ(bar.tabButtons.count, 3);
    EXPECT_EQ(bar.currentIndex, 0);  // the first tab stays current
    EXPECT_STREQ(bar.tabButtons[2]->title().c_str(), "Empty Tab");
    EXPECT_TRUE(bar.tabButtons[0]->isActive());
    EXPECT_FALSE(bar.closeButtons[1]->isVisibleTo(&bar));

    bar.tabButtons[2]->click();
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated[0][0].toInt(), 2);
    EXPECT_EQ(bar.currentIndex, 2);
    EXPECT_TRUE(bar.tabButtons[2]->isActive());
    EXPECT_FALSE(bar.tabButtons[0]->isActive());
    EXPECT_TRUE(bar.closeButtons[2]->isVisibleTo(bar.tabButtons[2]));

    emit bar.closeButtons[2]->released();
    ASSERT_EQ(closeRequested.count(), 1);
    EXPECT_EQ(closeRequested[0][0].toInt(), 2);

    bar.removeTab(1);
    ASSERT_EQ(bar.tabButtons.count, 2);
    EXPECT_EQ(bar.tabButtons[1]->tabID(), 2);
    EXPECT_EQ(bar.currentIndex, 1);
    bar.removeTab(7);  // no such tab
    EXPECT_EQ(bar.tabButtons.count, 2);
    // The buttons share the room when they do not fit.
    bar.resize(80, 24);
    bar.layoutTabs();
    EXPECT_LE(bar.tabButtons[1]->geometry().right(), 80 + 1);
}

TEST_F(WidgetFixture, PushButtonFitsHalfTheLargerPixmap) {
    VxPushButton button(nullptr);
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
    QPixmap normal(40, 24);
    QPixmap active(32, 36);
    button.setPixmaps(normal, active, true, true);
    EXPECT_EQ(button.size(), QSize(20, 18));
    EXPECT_TRUE(button.pixmapOnly());
    button.setPixmaps(QPixmap(), QPixmap(), false, false);
    EXPECT_TRUE(button.normalPixmap().isNull());
    EXPECT_EQ(button.size(), QSize(20, 18));  // without fit the size stays
}

TEST_F(WidgetFixture, DialogWindowResultsAndInput) {
    struct Case {
        const char* ok;
        const char* cancel;
        bool accept;
        int expected;
    };
    const Case cases[] = {{"OK", "", true, 1}, {"OK", "", false, 0}, {"Delete", "Cancel", true, 1},
                          {"Delete", "Cancel", false, 0}};
    for (const Case& c : cases) {
        DialogWindow dialog(QStringLiteral("Title"), QStringLiteral("Text"), QString::fromUtf8(c.ok),
                            QString::fromUtf8(c.cancel), nullptr, QString(), nullptr);
        EXPECT_EQ(dialog.cancelButton->isVisibleTo(&dialog), c.cancel[0] != '\0');
        EXPECT_EQ(dialog.inputEdit, nullptr);
        ModalAnswer answer;
        answerNextDialog(&answer, c.accept);
        EXPECT_EQ(dialog.execCentered(), c.expected);
        EXPECT_EQ(answer.title, QStringLiteral("Title"));
    }
    GrowString name("start");
    DialogWindow dialog(QStringLiteral("Name"), QStringLiteral("Text"), QStringLiteral("OK"),
                        QStringLiteral("Cancel"), nullptr, QStringLiteral("Name:"), &name);
    ASSERT_NE(dialog.inputEdit, nullptr);
    EXPECT_EQ(dialog.inputEdit->text(), QStringLiteral("start"));
    ModalAnswer answer;
    const QString typed = QStringLiteral("Grün");
    answerNextDialog(&answer, true, &typed);
    EXPECT_EQ(dialog.exec(), 1);
    EXPECT_STREQ(name.c_str(), "Grün");
}

// Mended fault: the shuttle's floating time box (a sibling) goes with it.
TEST_F(WidgetFixture, ShuttleDeletesItsTimeBox) {
    QWidget parent;
    auto* shuttle = new VxShuttleControl(&parent);
    QPointer<QLabel> box = shuttle->timeBox();
    ASSERT_FALSE(box.isNull());
    EXPECT_EQ(box->parentWidget(), &parent);
    delete shuttle;
    EXPECT_TRUE(box.isNull());
    // With the parent going first, nothing is deleted twice.
    auto* parent2 = new QWidget();
    new VxShuttleControl(parent2);
    delete parent2;

    VxShuttleControl clamp(nullptr);
    QSignalSpy changed(&clamp, &VxShuttleControl::sliderChanged);
    clamp.setPosition(true, 1.5f);
    EXPECT_FLOAT_EQ(clamp.position(), 1.0f);
    clamp.setPosition(false, NAN);
    EXPECT_FLOAT_EQ(clamp.position(), 0.0f);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(WidgetFixture, RenderQueueRowsFollowTheItems) {
    VxRenderQueueWindow window(nullptr, GrowString("Render Queue"));
    VxRenderQueueWidget* rows = window.queueWidget;
    QSignalSpy cancelled(&window, &VxRenderQueueWindow::cancelItemRequested);
    GrowArray<GrowString> names;
    GrowArray<int32_t> ids;
    for (int i = 0; i < 5; ++i) {
        names.append(GrowString("file").concat(std::to_string(i).c_str()));
        ids.append(100 + i);
    }
    rows->setItems(names, ids);
    ASSERT_EQ(rows->rowLabels.count, 5);
    QLabel* firstLabel = rows->rowLabels[0];
    names.count = 3;
    rows->setItems(names, ids);
    ASSERT_EQ(rows->rowLabels.count, 3);
    EXPECT_EQ(rows->rowLabels[0], firstLabel);  // reused
    EXPECT_EQ(rows->rowLabels[2]->text(), QStringLiteral("file2"));
    emit rows->cancelButtons[1]->released();
    ASSERT_EQ(cancelled.count(), 1);
    EXPECT_EQ(cancelled[0][0].toInt(), 101);
    rows->setItems(GrowArray<GrowString>(), GrowArray<int32_t>());
    EXPECT_EQ(rows->rowLabels.count, 0);
    EXPECT_EQ(rows->cancelButtons.count, 0);
}

TEST_F(WidgetFixture, ToolPanelTabsSectionsAndPresets) {
    VxToolPanel panel(nullptr);
    EXPECT_EQ(panel.addCommandButton(0, GrowString("Crop/Straighten"), 5), nullptr);  // no tab yet
    panel.addTab(0, GrowString("Adjustments"));
    VxPanelItemBigButton* crop = panel.addCommandButton(3, GrowString("Crop/Straighten"), 5);
    ASSERT_NE(crop, nullptr);
    EXPECT_EQ(crop->commandID(), 5);
    panel.addSectionHeader(GrowString("Basics"), QStringLiteral(":/img/tools_icon_basics.png"));
    AddConstantTile first(1.0f);
    AddConstantTile second(2.0f);
    VxPanelItemListButton* firstButton = panel.addModButton(&first);
    panel.addSectionHeader(GrowString("Light"), QStringLiteral(":/img/tools_icon_light.png"));
    panel.addModButton(&second);
    ASSERT_EQ(panel.tabs().count, 1);
    EXPECT_EQ(panel.tabs()[0].items.count, 5);
    EXPECT_FALSE(firstButton->ownsMod());

    panel.resize(220, 500);
    panel.setSectionCollapsed(0, GrowString("Light"), true);
    const GrowArray<GrowString> collapsed = panel.collapsedSectionNames(9);  // unknown id: the first tab
    ASSERT_EQ(collapsed.count, 1);
    EXPECT_STREQ(collapsed[0].c_str(), "Light");
    EXPECT_FALSE(panel.tabs()[0].items[4]->isVisibleTo(&panel));
    EXPECT_TRUE(panel.tabs()[0].items[2]->isVisibleTo(&panel));

    // Without a tab of id 1 the presets are the first tab's list buttons.
    const GrowArray<ImageMod*> presets = panel.presetMods();
    ASSERT_EQ(presets.count, 2);
    EXPECT_EQ(presets[0], &first);

    VxPanelItemListButton* clicker = nullptr;
    bool append = true;
    QObject::connect(&panel, &VxToolPanel::modButtonClicked, [&](VxPanelItemListButton* b, bool a) {
        clicker = b;
        append = a;
    });
    emit firstButton->pressed();
    EXPECT_EQ(clicker, firstButton);
    EXPECT_FALSE(append);
}
