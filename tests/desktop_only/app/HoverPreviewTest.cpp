// The tool panel's hover preview on the real window offscreen: it shows
// what a click on the button gives, and its base picture's clones are freed
// when the window or the view's tab goes.

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPixmap>
#include <QTest>

#include <memory>

#include "app/PanelTestSupport.h"
#include "desktop_only/widgets/VxToolTipBox.h"
#include "framework/CompoundFilter.h"
#include "desktop_only/media/ProcessingState.h"
#include "framework/ModListHelpers.h"
#include "framework/ModVar.h"
#include "media/PixelTransfer.h"
#include "render/OutputGeometry.h"
#include "render/RenderContext.h"

namespace {

class WindowSlotsHover : public PanelWindowTest {
protected:
    // The pointer enters the button (over its plus sign for append); the
    // first picture the hover box shows (before a preview animation steps)
    // or, with animatedAfterMs, the one shown that long after; then the
    // pointer leaves the panel.
    QImage hoverPicture(VxPanelItemListButton* button, bool append, int animatedAfterMs = 0) {
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(button, &enter);
        if (append) {
            // Sent straight to the button: a cursor moved offscreen reaches
            // no widget, and the event loop it would spin could step the
            // preview's animation first.
            const QPoint plus(button->width() - 3, button->height() / 2);
            QMouseEvent move(QEvent::MouseMove, plus, button->mapToGlobal(plus), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(button, &move);
        }
        if (animatedAfterMs > 0) QTest::qWait(animatedAfterMs);
        const QLabel* label = windowState(*window).toolTipBox->previewLabel;
        const QImage shown = label->isHidden() ? QImage()
                                               : label->pixmap(Qt::ReturnByValue).toImage().convertToFormat(
                                                     QImage::Format_RGB888);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(windowState(*window).toolPanel, &leave);
        return shown;
    }
    // A click on the button (on its plus sign for append).
    void click(VxPanelItemListButton* button, bool append) {
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier,
                          QPoint(append ? button->width() - 3 : 10, button->height() / 2));
    }
    // The tray's chain as a save of the photo within the hover box's size
    // renders it.
    QImage trayAtPreviewSize() {
        GrowArray<ImageMod*> chain = tray()->modChain(true, true);
        const GrowArray<ImageMod*> ordered = orderModsByChainGroup(chain);
        const std::shared_ptr<const ImageBuffer> photo = view()->sharedSource();
        GeometryOptions limits;
        limits.maxWidth = windowState(*window).toolTipBox->previewWidth;
        limits.maxHeight = windowState(*window).toolTipBox->previewHeight;
        OutputGeometry geometry;
        if (!photo || !computeOutputGeometry(ordered, photo->width, photo->height, limits, geometry)) return QImage();
        RenderContext context(0);
        ImageBuffer picture;
        if (renderAtOutputGeometry(context, ordered, *photo, nullptr, geometry, false, picture) !=
            OutputRender::kRendered)
            return QImage();
        return imageFromBuffer(picture, true, false, true).convertToFormat(QImage::Format_RGB888);
    }
    void emptyTray() {
        window->loadFilterSlot(QString(), true);
        tray()->clearPreMods();
    }
};

VxPanelItemListButton* buttonOf(MainWindow& w, const char* name) {
    for (const ToolPanelTab& tab : windowState(w).toolPanel->tabs())
        for (VxPanelItem* item : tab.items)
            if (item->itemKind() == VxPanelItem::kListButtonItem &&
                static_cast<VxPanelItemListButton*>(item)->mod()->name == name)
                return static_cast<VxPanelItemListButton*>(item);
    return nullptr;
}

}  // namespace

// Hovering a list button over an empty tray first previews exactly what
// clicking it gives, at the box's size: the tile's own state (Split Tone's
// blue and yellow), its geometry (borders, sizing) and its scale. A tile
// without a hover preview shows no picture.
TEST_F(WindowSlotsHover, EveryListButtonPreviewsWhatAddingItGives) {
    ASSERT_TRUE(window->openMediaFile(photo));
    ASSERT_TRUE(waitForDisplayIdle(view()));
    // A saved preset's button too.
    click(buttonOf(*window, "Custom Rounded"), false);
    click(buttonOf(*window, "Split Tone"), false);
    ASSERT_TRUE(window->saveFavoriteFilter("Toned Frame"));
    int32_t compared = 0;
    for (const ToolPanelTab& panelTab : windowState(*window).toolPanel->tabs()) {
        for (VxPanelItem* item : panelTab.items) {
            if (item->itemKind() != VxPanelItem::kListButtonItem) continue;
            VxPanelItemListButton* button = static_cast<VxPanelItemListButton*>(item);
            SCOPED_TRACE(button->mod()->name.c_str());
            emptyTray();
            const QImage hovered = hoverPicture(button, false);
            EXPECT_FALSE(windowState(*window).toolTipBox->isVisible());
            if (!button->mod()->hasHoverPreview()) {
                EXPECT_TRUE(hovered.isNull());
                continue;
            }
            ASSERT_FALSE(hovered.isNull());
            click(button, false);
            const QImage added = trayAtPreviewSize();
            ASSERT_EQ(hovered.size(), added.size());
            EXPECT_TRUE(hovered == added) << "first pixel " << std::hex << hovered.pixel(0, 0) << " against "
                                          << added.pixel(0, 0);
            ++compared;
        }
    }
    EXPECT_GE(compared, 29);  // borders, sizing, watermark, dead pixel and masks have none
}

// A tile with preview tracks then loops its effect (Split Tone sweeps its
// two colours round the hue circle) on the box's own clone: the panel's tile
// keeps its values, so a click still adds it as it was.
TEST_F(WindowSlotsHover, PreviewAnimationSweepsAClone) {
    ASSERT_TRUE(window->openMediaFile(photo));
    ASSERT_TRUE(waitForDisplayIdle(view()));
    emptyTray();
    VxPanelItemListButton* button = buttonOf(*window, "Split Tone");
    ASSERT_TRUE(button && button->mod()->hasAnimTracks());
    std::unique_ptr<ImageMod> before(duplicateMod(*button->mod()));
    const QImage first = hoverPicture(button, false);
    const QImage later = hoverPicture(button, false, 400);
    ASSERT_FALSE(first.isNull());
    ASSERT_EQ(first.size(), later.size());
    EXPECT_FALSE(first == later);
    EXPECT_TRUE(button->mod()->equals(*before));
    click(button, false);
    EXPECT_TRUE(first == trayAtPreviewSize());
}

// With a pinned border in the tray, Split Tone's preview is the one of the
// tray after the click: the toning runs before the border, which stays
// white; with append the other tiles join (a brightened photo), and a blur
// over a framed picture has the view's radius at that size.
TEST_F(WindowSlotsHover, PinnedAndAppendedTilesAsTheTrayRendersThem) {
    ASSERT_TRUE(window->openMediaFile(photo));
    ASSERT_TRUE(waitForDisplayIdle(view()));
    struct Case {
        const char* what;
        const char* hovered;
        bool append;
    };
    const Case cases[] = {{"split tone over a pinned border", "Split Tone", false},
                          {"split tone appended", "Split Tone", true},
                          {"blur appended", "Blur", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyTray();
        click(buttonOf(*window, "Exposure"), false);
        tray()->masterList()->subMods[0]->findVar("Amount")->floatValue()->value = 1.8f;
        click(buttonOf(*window, "Custom Rounded"), false);
        ImageMod* border = tray()->masterList()->subMods[1];
        border->pinned = 1;
        const QImage hovered = hoverPicture(buttonOf(*window, c.hovered), c.append);
        ASSERT_FALSE(hovered.isNull());
        // Over the plus sign the tray's other tiles join: the picture is not
        // the one over the rest of the button.
        if (c.append) EXPECT_FALSE(hovered == hoverPicture(buttonOf(*window, c.hovered), false));
        if (!c.append) tray()->deleteTiles(true);  // the hover shows the pinned tiles only
        click(buttonOf(*window, c.hovered), true);
        const QImage added = trayAtPreviewSize();
        ASSERT_EQ(hovered.size(), added.size());
        EXPECT_TRUE(hovered == added);
        if (c.hovered == std::string("Split Tone")) {
            EXPECT_EQ(hovered.pixel(0, 0), qRgb(255, 255, 255));
        }
    }
}

// A photo larger than the box: tiles whose reach depends on the picture's
// size or on the photo's pixels (radii, sharpening, grain, the vignette)
// preview as the photo saved at the box's size shows them. An output size
// of half the photo, pinned in the tray, changes nothing at that size: the
// picture is drawn from the same photo pixels at the same scale.
TEST_F(WindowSlotsHover, ScaleDependentTilesOfALargePhoto) {
    const QString large = folder.path() + "/large.png";
    ASSERT_TRUE(writeTwoColourPhoto(large, 1400, 900));
    ASSERT_TRUE(window->openMediaFile(large));
    ASSERT_TRUE(waitForDisplayIdle(view()));
    for (const char* name : {"Blur", "Sharpen", "Grain", "Vignette", "Radial Blur"}) {
        SCOPED_TRACE(name);
        QImage whole;
        for (bool halved : {false, true}) {
            SCOPED_TRACE(halved ? "under an output size of half" : "at the photo's size");
            emptyTray();
            if (halved) {
                click(buttonOf(*window, "Output Size"), false);
                ImageMod* sizing = tray()->masterList()->subMods[0];
                sizing->findVar("Width")->floatValue()->value = 700.0f;
                sizing->findVar("Height")->floatValue()->value = 0.0f;
                sizing->pinned = 1;
                window->refreshView();  // as an edit through its controls does
            }
            const QImage hovered = hoverPicture(buttonOf(*window, name), false);
            ASSERT_FALSE(hovered.isNull());
            click(buttonOf(*window, name), false);
            const QImage added = trayAtPreviewSize();
            ASSERT_EQ(hovered.size(), added.size());
            EXPECT_TRUE(hovered == added);
            if (halved) {
                EXPECT_TRUE(hovered == whole);
            }
            whole = hovered;
        }
    }
}

// The hover preview's clones of the geometric tiles (an Output Size tile
// here) are freed when the view's tab closes and when the window goes; the
// sanitizer run of this test reports any that stay.
TEST_F(WindowSlotsHover, BaseTilesAreFreedWithTheTabAndTheWindow) {
    ASSERT_TRUE(window->openMediaFile(photo));
    click(buttonOf(*window, "Output Size"), false);
    ImageMod* exposure = prototypeNamed(*window, "Exposure");
    window->imageModHovered(exposure, false);
    auto& s = windowState(*window);
    ASSERT_GT(s.previewSourceTiles.count, 0);
    ASSERT_EQ(s.previewSourceView, view());

    trigger("New Tab");
    ASSERT_TRUE(window->openMediaFile(photo));
    click(buttonOf(*window, "Output Size"), false);
    window->imageModHovered(exposure, false);
    const VxMediaWidget* second = view();
    ASSERT_EQ(s.previewSourceView, second);
    window->imageModHovered(nullptr, false);
    window->documentTabWantsClosing(window->current()->tabID);
    EXPECT_EQ(s.previewSourceView, nullptr);
    EXPECT_EQ(s.previewSourceTiles.count, 0);

    // Hovering again draws the base from the remaining tab; the window goes
    // with the clones held.
    window->imageModHovered(exposure, false);
    EXPECT_EQ(s.previewSourceView, view());
    EXPECT_GT(s.previewSourceTiles.count, 0);
    window->imageModHovered(nullptr, false);
}
