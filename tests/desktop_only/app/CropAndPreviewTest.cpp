// The crop and straighten tool and the preview chooser on the real window
// offscreen.

#include <gtest/gtest.h>

#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <QTest>
#include <QThread>

#include "app/PanelTestSupport.h"
#include "desktop_only/display/DisplayGeometry.h"
#include "desktop_only/display/VxCropTool.h"
#include "desktop_only/display/VxPreviewChooser.h"
#include "desktop_only/media/ProcessingState.h"
#include "desktop_only/widgets/VxPanelItemBigButton.h"
#include "desktop_only/widgets/VxScroller.h"
#include "framework/CompoundFilter.h"
#include "framework/CropMod.h"
#include "framework/CropRatio.h"
#include "framework/ModListHelpers.h"
#include "framework/ModVar.h"
#include "media/PixelTransfer.h"
#include "render/OutputGeometry.h"
#include "render/RenderContext.h"

namespace {

class CropToolTest : public PanelWindowTest {
protected:
    VxCropTool* openTool() {
        window->runComID(0);
        return qobject_cast<VxCropTool*>(windowState(*window).activeTool);
    }
    int32_t cropTiles() {
        int32_t n = 0;
        for (ImageMod* mod : tray()->preList()->subMods)
            if (asCropMod(mod)) ++n;
        return n;
    }
    // What the view shows, once its display passes are done.
    ImageBuffer shown() {
        EXPECT_TRUE(waitForDisplayIdle(view()));
        return VxMediaWidgetTestAccess::shownBuffer(*view());
    }
};

}  // namespace

// The right half and the middle half of the rows of a 300 x 200 photo:
// 150 x 100, every pixel from the reddish left half, exactly what the
// chain's own geometry draws.
TEST_F(CropToolTest, CropGivesTheExpectedRectangleAndUndoRestoresIt) {
    ASSERT_TRUE(window->openMediaFile(photo));
    VxCropTool* tool = openTool();
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(cropTiles(), 1);
    EXPECT_FALSE(tool->isHidden());
    const float margins[4] = {0.0f, 0.5f, 0.25f, 0.25f};
    tool->setMargins(margins);
    window->toolRequestedExit(tool);
    ASSERT_EQ(windowState(*window).activeTool, nullptr);
    ASSERT_EQ(cropTiles(), 1);
    EXPECT_EQ(view()->outputWidth, 150);
    EXPECT_EQ(view()->outputHeight, 100);
    const ImageBuffer image = shown();
    ASSERT_EQ(image.width, 150);
    ASSERT_EQ(image.height, 100);
    const int32_t channels = image.channelCount();
    int32_t bluish = 0;
    for (int64_t i = 0; i < static_cast<int64_t>(image.width) * image.height; ++i)
        if (image.floats()[i * channels + 2] > image.floats()[i * channels]) ++bluish;
    EXPECT_EQ(bluish, 0);
    GrowArray<ImageMod*> chain = tray()->modChain(true, true);
    const ImageBuffer expected = expectedFitDisplay(view(), chain, view()->width(), view()->height());
    EXPECT_EQ(maxDifference(image, expected), 0.0f);
    chain.destroy();
    EXPECT_EQ(windowState(*window).cropPanelButton->text(), "Crop/Straighten*");

    trigger("Undo");
    EXPECT_EQ(cropTiles(), 0);
    EXPECT_EQ(view()->outputWidth, 300);
    EXPECT_EQ(view()->outputHeight, 200);
    EXPECT_EQ(shown().width, 300);
    EXPECT_EQ(windowState(*window).cropPanelButton->text(), "Crop/Straighten");
}

TEST_F(CropToolTest, NeutralCropIsDeletedOnExitAndTheViewShowsTheWholePictureWhileOpen) {
    ASSERT_TRUE(window->openMediaFile(photo));
    // An existing crop shows uncut while the tool is open, and cut again after.
    VxCropTool* tool = openTool();
    const float margins[4] = {0.25f, 0.25f, 0.0f, 0.0f};
    tool->setMargins(margins);
    window->refreshView();
    EXPECT_EQ(view()->outputWidth, 300);
    const CropMod* crop = asCropMod(tray()->preList()->subMods[0]);
    float stored[4];
    crop->cropMargins(stored);
    EXPECT_EQ(stored[0], 0.25f);  // the tile keeps its margins outside the view's copy
    window->toolRequestedExit(tool);
    EXPECT_EQ(view()->outputWidth, 150);

    tool = openTool();
    const float none[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    tool->setMargins(none);
    QTest::keyClick(tool, Qt::Key_Escape);  // the tool asks to be closed
    QApplication::processEvents();
    EXPECT_EQ(windowState(*window).activeTool, nullptr);
    EXPECT_EQ(cropTiles(), 0);
    EXPECT_EQ(view()->outputWidth, 300);
}

// Dragging the frame's left edge cuts the dragged share of the picture;
// margins that together leave less than 1% of a side are held back.
TEST_F(CropToolTest, DraggingTheLeftEdgeAndHostileMargins) {
    ASSERT_TRUE(window->openMediaFile(photo));
    VxCropTool* tool = openTool();
    ASSERT_NE(tool, nullptr);
    QApplication::processEvents();
    const QRect image = tool->imageRect;
    ASSERT_GT(image.width(), 100);
    const QPoint start(image.left(), image.center().y());
    const int dx = image.width() / 4;
    QTest::mousePress(tool, Qt::LeftButton, Qt::NoModifier, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(dx, 0)), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(tool, &move);
    QTest::mouseRelease(tool, Qt::LeftButton, Qt::NoModifier, start + QPoint(dx, 0));
    EXPECT_NEAR(tool->margins[0], static_cast<float>(dx) / image.width(), 1e-6);
    EXPECT_EQ(tool->margins[1], 0.0f);

    const float hostile[4] = {0.9f, 0.9f, std::nanf(""), -3.0f};
    tool->setMargins(hostile);
    EXPECT_LE(tool->margins[0] + tool->margins[1], 0.99f + 1e-6f);
    EXPECT_EQ(tool->margins[2], 0.0f);
    EXPECT_EQ(tool->margins[3], 0.0f);
    window->toolRequestedExit(tool);
    EXPECT_GE(view()->outputWidth, 1);
}

// A square proportion chosen through the strip turns the frame square in
// picture pixels.
TEST_F(CropToolTest, AspectChoiceKeepsTheProportion) {
    ASSERT_TRUE(window->openMediaFile(photo));
    VxCropTool* tool = openTool();
    ASSERT_NE(tool, nullptr);
    QApplication::processEvents();
    ModVar* aspect = tool->cropTile->vars[kCropAspect];
    aspect->choiceValue()->selected = 1;  // "Square"
    tool->controlAdjusted(aspect);
    const QRectF frame = tool->frameRect();
    EXPECT_NEAR(frame.width(), frame.height(), 1.0);
    window->toolRequestedExit(tool);
    EXPECT_NEAR(view()->outputWidth, view()->outputHeight, 1);
}

// Every proportion on a landscape and an upright photo, straight and
// straightened, in two window sizes: the crop the chain saves has the
// chosen proportion within a pixel, standing as the photo does, once the
// proportion is chosen, after its left and then its top edge are dragged
// and after the whole frame is moved.
TEST_F(CropToolTest, AspectHoldsInThePhotosOwnPixels) {
    struct Case {
        int width, height;
        float angle;
        QSize window;
    };
    const Case cases[] = {
        {2268, 1512, 0.0f, {1000, 700}}, {2268, 1512, 7.2f, {1000, 700}}, {1512, 2268, 0.0f, {1000, 700}},
        {1512, 2268, 7.2f, {1000, 700}}, {2268, 1512, 0.0f, {1373, 911}}, {2268, 1512, 7.2f, {1373, 911}},
        {1512, 2268, 0.0f, {1373, 911}}, {1512, 2268, 7.2f, {1373, 911}}};
    const QString landscape = folder.path() + "/landscape.png", upright = folder.path() + "/upright.png";
    ASSERT_TRUE(writeTwoColourPhoto(landscape, 2268, 1512));
    ASSERT_TRUE(writeTwoColourPhoto(upright, 1512, 2268));
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << c.angle << " degrees, window "
                                          << c.window.width() << " x " << c.window.height());
        window->resize(c.window);
        ASSERT_TRUE(window->openMediaFile(c.width > c.height ? landscape : upright));
        tray()->clearPreMods();
        VxCropTool* tool = openTool();
        ASSERT_NE(tool, nullptr);
        tool->cropTile->vars[kCropAngle]->floatValue()->value = c.angle;
        window->refreshView();
        QApplication::processEvents();
        ChoiceValue* aspect = tool->cropTile->vars[kCropAspect]->choiceValue();
        for (int32_t option = 1; option < aspect->optionCount(); ++option) {
            SCOPED_TRACE(aspect->lists[0][option].c_str());
            aspect->selected = 0;  // from the whole picture, free
            const float whole[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            tool->setMargins(whole);
            aspect->selected = option;
            tool->controlAdjusted(tool->cropTile->vars[kCropAspect]);
            const float ratio = cropAspectRatio(*tool->cropTile);
            ASSERT_GE(ratio, 1.0f);
            auto expectSavedProportion = [&](const char* step) {
                GrowArray<ImageMod*> chain = tray()->modChain(true, false);
                OutputGeometry saved;
                EXPECT_TRUE(computeOutputGeometry(chain, c.width, c.height, saved)) << step;
                chain.destroy();
                const int32_t longer = std::max(saved.width, saved.height);
                const int32_t shorter = std::min(saved.width, saved.height);
                EXPECT_NEAR(shorter, longer / ratio, 1.0) << step << ": " << saved.width << " x " << saved.height;
                return saved;
            };
            auto drag = [tool](QPoint from, QPoint to) {
                QTest::mousePress(tool, Qt::LeftButton, Qt::NoModifier, from);
                QMouseEvent move(QEvent::MouseMove, QPointF(to), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(tool, &move);
                QTest::mouseRelease(tool, Qt::LeftButton, Qt::NoModifier, to);
            };
            // Chosen on the whole picture, the frame stands as the photo does.
            const OutputGeometry chosen = expectSavedProportion("chosen");
            if (ratio > 1.0f) {
                EXPECT_EQ(chosen.width > chosen.height, c.width > c.height);
            }
            QRect frame = tool->frameRect().toRect();
            drag(QPoint(frame.left(), frame.center().y()), QPoint(frame.left() + frame.width() / 5, frame.center().y()));
            expectSavedProportion("left edge dragged");
            frame = tool->frameRect().toRect();
            drag(QPoint(frame.center().x(), frame.top()), QPoint(frame.center().x(), frame.top() + frame.height() / 5));
            expectSavedProportion("top edge dragged");
            frame = tool->frameRect().toRect();
            drag(frame.center(), frame.center() + QPoint(frame.width() / 7, -frame.height() / 9));
            expectSavedProportion("frame moved");
        }
        window->toolRequestedExit(tool);
    }
}

// With trailing tiles in the tray (a border; a border with a 7.2 degree
// straighten; sizing, watermark and a border nested in a tile) the open
// tool's frame follows the photo's own geometry, not the bordered output,
// and a drag moves it; the trailing tiles come back when the tool closes,
// and one the user switched off stays off.
TEST_F(CropToolTest, FrameFollowsThePhotoWhateverTheTrailingTiles) {
    struct Case {
        const char* what;
        float angle;
        bool more;  // output size, watermark and a nested border too
    };
    const Case cases[] = {{"border", 0.0f, false}, {"border, straightened", 7.2f, false},
                          {"sizing, watermark, nested border", 7.2f, true}};
    ASSERT_TRUE(window->openMediaFile(photo));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        window->loadFilterSlot(QString(), true);
        tray()->clearPreMods();
        window->addModToTray(prototypeNamed(*window, "Exposure"), true, false, false);
        window->addModToTray(prototypeNamed(*window, "Custom Rounded"), true, false, false);
        ImageMod* offByUser = nullptr;
        if (c.more) {
            window->addModToTray(prototypeNamed(*window, "Output Size"), true, false, false);
            window->addModToTray(prototypeNamed(*window, "Watermark"), true, false, false);
            offByUser = tray()->masterList()->subMods[tray()->masterList()->subMods.count - 1];
            ASSERT_STREQ(offByUser->name.c_str(), "Watermark");
            offByUser->enabled = 0;
            tray()->selectOnlyNode(1);  // the border goes into a nested tile
            DialogCatcher name;
            name.arm();
            trigger("Nest Selected Tiles");
            ASSERT_EQ(tray()->masterList()->subMods[1]->kind(), kCompoundMod);
        }
        window->refreshView();
        const int32_t borderedWidth = view()->outputWidth;
        VxCropTool* tool = openTool();
        ASSERT_NE(tool, nullptr);
        tool->cropTile->vars[kCropAngle]->floatValue()->value = c.angle;
        window->refreshView();
        QApplication::processEvents();

        // The photo's own geometry: the crop alone, straightened, uncut.
        GrowArray<ImageMod*> photoOnly;
        photoOnly.append(tool->cropTile);
        int32_t photoWidth = 0, photoHeight = 0;
        ASSERT_TRUE(displayOutputSize(photoOnly, 300, 200, true, true, true, photoWidth, photoHeight));
        photoOnly.destroy();
        EXPECT_NE(borderedWidth, photoWidth);
        EXPECT_EQ(view()->outputWidth, photoWidth);
        EXPECT_EQ(view()->outputHeight, photoHeight);
        EXPECT_EQ(tool->imageRect, view()->imageRect);
        EXPECT_NEAR(static_cast<double>(tool->imageRect.width()) / tool->imageRect.height(),
                    static_cast<double>(photoWidth) / photoHeight, 0.02);
        EXPECT_EQ(tool->frameRect(), QRectF(tool->imageRect.left(), tool->imageRect.top(), tool->imageRect.width(),
                                             tool->imageRect.height()));

        // The bottom edge dragged up by a fifth, then the frame moved down.
        const QRectF frame = tool->frameRect();
        const int dy = tool->imageRect.height() / 5;
        const QPoint edge(static_cast<int>(frame.center().x()), static_cast<int>(frame.bottom()) - 1);
        QTest::mousePress(tool, Qt::LeftButton, Qt::NoModifier, edge);
        QMouseEvent up(QEvent::MouseMove, QPointF(edge - QPoint(0, dy)), Qt::LeftButton, Qt::LeftButton,
                       Qt::NoModifier);
        QApplication::sendEvent(tool, &up);
        QTest::mouseRelease(tool, Qt::LeftButton, Qt::NoModifier, edge - QPoint(0, dy));
        EXPECT_NEAR(tool->margins[kCropBottom], static_cast<float>(dy) / tool->imageRect.height(), 1e-3);
        const QPoint middle = tool->frameRect().center().toPoint();
        QTest::mousePress(tool, Qt::LeftButton, Qt::NoModifier, middle);
        QMouseEvent down(QEvent::MouseMove, QPointF(middle + QPoint(0, dy / 2)), Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(tool, &down);
        QTest::mouseRelease(tool, Qt::LeftButton, Qt::NoModifier, middle + QPoint(0, dy / 2));
        EXPECT_NEAR(tool->margins[kCropTop], static_cast<float>(dy / 2) / tool->imageRect.height(), 1e-3);
        float stored[4];
        tool->cropTile->cropMargins(stored);
        EXPECT_EQ(stored[kCropTop], tool->margins[kCropTop]);
        EXPECT_EQ(stored[kCropBottom], tool->margins[kCropBottom]);

        // Every trailing tile is on again in the tray (the one the user
        // switched off stays off), and the view frames the cropped photo.
        window->refreshView();
        GrowArray<ImageMod*> chain = tray()->modChain(true, false);
        for (ImageMod* mod : chain)
            if (mod != offByUser) {
                EXPECT_EQ(mod->enabled, 1) << mod->name.c_str();
            }
        chain.destroy();
        if (offByUser) {
            EXPECT_EQ(offByUser->enabled, 0);
        }
        window->toolRequestedExit(tool);
        chain = tray()->modChain(true, true);
        int32_t fullWidth = 0, fullHeight = 0;
        ASSERT_TRUE(displayOutputSize(chain, 300, 200, true, true, true, fullWidth, fullHeight));
        chain.destroy();
        EXPECT_NE(fullWidth, photoWidth);
        EXPECT_EQ(view()->outputWidth, fullWidth);
        EXPECT_EQ(view()->outputHeight, fullHeight);
    }
}

// ---- The preview chooser ----

TEST_F(CropToolTest, ThumbnailsRenderOffTheInterfaceThread) {
    ASSERT_TRUE(window->openMediaFile(photo));
    window->openPreviewChooser(false);
    VxPreviewChooser* chooser = windowState(*window).previewChooser;
    ASSERT_TRUE(chooser->isVisible());
    ASSERT_GE(chooser->shownMods.count, 39);
    ASSERT_TRUE(waitUntil([chooser] { return chooser->thumbnailsShown == chooser->shownMods.count; }, 60000));
    EXPECT_FALSE(chooser->job->renderedOnInterfaceThread);
    for (QLabel* label : chooser->thumbnailLabels) EXPECT_FALSE(label->pixmap(Qt::ReturnByValue).isNull());
    // More rows than the window holds: the scroller moves the thumbnails.
    ASSERT_GT(chooser->scroller->contentLength(), chooser->scroller->viewLength());
    chooser->scroller->setPosition(100.0f, true);
    EXPECT_EQ(chooser->content->y(), -100);
}

// Under an output size of half the photo, each thumbnail of a filter that
// leaves the geometry alone is the photo with the filter saved at the
// thumbnail's size: drawn from the photo's pixels and rendered at the scale
// of that drawing. (A border's thumbnail frames the document's picture as
// it stands instead of drawing the photo into the frame.)
TEST_F(CropToolTest, ThumbnailsShowWhatASaveAtTheirSizeGives) {
    const QString large = folder.path() + "/large.png";
    const QString filter = folder.path() + "/half.plf";
    ASSERT_TRUE(writeTwoColourPhoto(large, 1400, 900));
    QFile file(filter);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<filter version=\"4\"><mod name=\"Output Size\" version=\"2\" enabled=\"1\">"
               "<var name=\"Width\" type=\"float\">700</var><var name=\"Height\" type=\"float\">0</var>"
               "</mod></filter>\n");
    file.close();
    ASSERT_TRUE(window->openMediaFile(large));
    // A preset of tiles that measure in the photo's pixels.
    window->loadFilterSlot(QString(), true);
    window->addModToTray(prototypeNamed(*window, "Sharpen"), true, false, true);
    window->addModToTray(prototypeNamed(*window, "Grain"), true, false, true);
    ASSERT_TRUE(window->saveFavoriteFilter("Sharp Grain"));
    window->loadFilterIntoDocument(GrowString(QFile::encodeName(filter).constData()), true);
    window->openPreviewChooser(false);
    VxPreviewChooser* chooser = windowState(*window).previewChooser;
    ASSERT_TRUE(waitUntil([chooser] { return chooser->thumbnailsShown == chooser->shownMods.count; }, 60000));
    bool sawPreset = false;
    for (const ImageMod* mod : chooser->shownMods) sawPreset = sawPreset || mod->name == "Sharp Grain";
    EXPECT_TRUE(sawPreset);

    const std::shared_ptr<const ImageBuffer> photo = view()->sharedSource();
    ASSERT_TRUE(photo);
    for (int32_t i = 0; i < chooser->shownMods.count; ++i) {
        SCOPED_TRACE(chooser->shownMods[i]->name.c_str());
        GrowArray<ImageMod*> alone;
        alone.append(chooser->job->mods[i]);
        if (findModByTag(alone, kTagBorder) || findModByTag(alone, kTagOutputSize)) continue;
        GrowArray<ImageMod*> chain = tray()->modChain(true, false);
        chain.append(chooser->job->mods[i]);
        GeometryOptions limits;
        limits.maxWidth = limits.maxHeight = chooser->thumbnailSize;
        OutputGeometry geometry;
        ASSERT_TRUE(computeOutputGeometry(chain, photo->width, photo->height, limits, geometry));
        RenderContext context(0);
        ImageBuffer picture;
        ASSERT_EQ(renderAtOutputGeometry(context, chain, *photo, nullptr, geometry, false, picture),
                  OutputRender::kRendered);
        chain.destroy();
        const QImage shown =
            chooser->thumbnailLabels[i]->pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_RGB888);
        EXPECT_TRUE(shown == imageFromBuffer(picture, true, false, true).convertToFormat(QImage::Format_RGB888));
    }
}

TEST_F(CropToolTest, ClosingCancelsTheThumbnails) {
    ASSERT_TRUE(window->openMediaFile(photo));
    VxPreviewChooser::holdRendering = true;
    window->openPreviewChooser(false);
    VxPreviewChooser* chooser = windowState(*window).previewChooser;
    std::shared_ptr<ThumbnailJob> job = chooser->job;
    ASSERT_TRUE(job);
    chooser->closeButtonPressed();
    VxPreviewChooser::holdRendering = false;
    ASSERT_TRUE(waitUntil([&job] { return job->finished.load(); }));
    EXPECT_EQ(job->rendered, 0);
    EXPECT_EQ(chooser->thumbnailsShown, 0);
    EXPECT_FALSE(chooser->isVisible());
}

TEST_F(CropToolTest, ChoosingAddsTheFilterAppendingWithTheFlag) {
    ASSERT_TRUE(window->openMediaFile(photo));
    VxPreviewChooser* chooser = windowState(*window).previewChooser;
    auto indexOf = [chooser](const char* name) {
        for (int32_t i = 0; i < chooser->shownMods.count; ++i)
            if (chooser->shownMods[i]->name == name) return i;
        return -1;
    };
    window->openPreviewChooser(false);
    chooser->chooseThumbnail(indexOf("Exposure"));
    EXPECT_FALSE(chooser->isVisible());
    ASSERT_EQ(tray()->masterList()->subMods.count, 1);
    trigger("Quicklook Presets (Append)");
    EXPECT_TRUE(chooser->appendChoice);
    chooser->chooseThumbnail(indexOf("Brightness"));
    ASSERT_EQ(tray()->masterList()->subMods.count, 2);
    EXPECT_STREQ(tray()->masterList()->subMods[1]->name.c_str(), "Brightness");
}
