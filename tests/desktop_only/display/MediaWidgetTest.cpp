// The document view: turning the source, its display passes (exact pixels,
// one thread for many edits, no lost edit, zoom and pan), and deleting it
// in the middle of a pass.

#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>

#include <algorithm>
#include <cmath>

#include <atomic>
#include <memory>
#include <thread>

#include "desktop_only/display/DisplayGeometry.h"
#include "framework/ModListHelpers.h"
#include "desktop_only/display/VxHistogramWidget.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "framework/CropMod.h"
#include "framework/ImageLoaderSaver.h"
#include "framework/ImageMod.h"
#include "render/RenderContext.h"
#include "render/TransformedBitmap.h"
#include "support/DesktopTestAccess.h"
#include "support/DesktopTestHelpers.h"
#include "support/ImageBuilders.h"
#include "support/TestTiles.h"

using namespace testimages;

namespace {

// A view of the given size showing a generated picture.
std::unique_ptr<VxMediaWidget> makeView(int viewW, int viewH, int imageW, int imageH) {
    ensureTestApplication();
    auto view = std::make_unique<VxMediaWidget>(nullptr);
    view->resize(viewW, viewH);
    view->show();
    QApplication::processEvents();
    auto* source = new ImageBuffer(makeFloatImage(imageW, imageH, 3, 11));
    view->setSource(source, nullptr);
    view->setHasMedia(true);
    return view;
}

using Access = VxMediaWidgetTestAccess;

ImageBuffer shownBuffer(VxMediaWidget* view) { return Access::shownBuffer(*view); }

}  // namespace

TEST(MediaWidget, RotateSourceTurnsAThreeByTwoPicture) {
    ensureTestApplication();
    struct Case {
        bool clockwise;
        int x, y;  // where the source's top-left pixel lands in the 2 x 3 result
    };
    for (const Case& c : {Case{true, 1, 0}, Case{false, 0, 2}}) {
        VxMediaWidget view(nullptr);
        auto* source = new ImageBuffer();
        source->allocateFloat(3, 2, 3);
        for (int i = 0; i < 18; ++i) source->floats()[i] = static_cast<float>(i);
        view.setSource(source, nullptr);
        view.rotateSource(c.clockwise);
        const std::shared_ptr<const ImageBuffer> turned = view.sharedSource();
        ASSERT_EQ(turned->width, 2);
        ASSERT_EQ(turned->height, 3);
        EXPECT_EQ(view.sourceWidth, 2);
        EXPECT_EQ(view.sourceHeight, 3);
        for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(floatAt(*turned, c.x, c.y, ch), static_cast<float>(ch));
        EXPECT_TRUE(Access::geometryChanged(view));
    }
    VxMediaWidget empty(nullptr);
    empty.rotateSource(true);  // no picture: only the stale flag
    EXPECT_EQ(empty.sharedSource(), nullptr);
    EXPECT_TRUE(empty.takePreviewSourceStale());
}

TEST(MediaWidget, PassShowsTheChainOverTheDrawnSourceExactly) {
    auto view = makeView(320, 200, 700, 500);
    AddConstantTile plus(12.5f);
    GrowArray<ImageMod*> chain;
    chain.append(&plus);
    view->displayChain(chain);
    ASSERT_TRUE(waitForDisplayIdle(view.get()));
    const ImageBuffer expected = expectedFitDisplay(view.get(), chain, 320, 200);
    ASSERT_EQ(expected.width, 280);
    EXPECT_EQ(maxDifference(shownBuffer(view.get()), expected), 0.0f);
    const QImage shown = Access::shownImage(*view);
    EXPECT_EQ(shown.width(), 280);
    EXPECT_EQ(Access::shownImageRect(*view), QRect(20, 0, 280, 200));
    // The shown image holds the buffer's samples as bytes are stored.
    int differing = 0;
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x)
            if (shown.pixel(x, y) != qRgb(storeByte(floatAt(expected, x, y, 0)), storeByte(floatAt(expected, x, y, 1)),
                                          storeByte(floatAt(expected, x, y, 2))))
                ++differing;
    EXPECT_EQ(differing, 0);
}

TEST(MediaWidget, TenEditsDuringAHeldPassStartOneThreadAndShowTheLast) {
    auto view = makeView(200, 150, 400, 300);
    AddConstantTile plus(0.0f);
    GrowArray<ImageMod*> chain;
    chain.append(&plus);
    Access::holdPasses(*view, true);
    view->displayChain(chain);
    ASSERT_TRUE(waitUntil([&] { return Access::passIsHeld(*view); }));
    for (int i = 1; i <= 10; ++i) {
        plus.var(0)->floatValue()->value = static_cast<float>(i);
        view->displayChain(chain);
    }
    EXPECT_EQ(Access::displayThreadsStarted(*view), 1);
    Access::holdPasses(*view, false);
    ASSERT_TRUE(waitForDisplayIdle(view.get()));
    EXPECT_EQ(Access::displayThreadsStarted(*view), 1);
    EXPECT_EQ(Access::passesCompleted(*view), 2);  // the held pass and one more with the last chain
    EXPECT_EQ(maxDifference(shownBuffer(view.get()), expectedFitDisplay(view.get(), chain, 200, 150)), 0.0f);
}

TEST(MediaWidget, NoEditIsLostWhenEditsMeetTheEndOfAPass) {
    auto view = makeView(160, 120, 320, 240);
    AddConstantTile plus(0.0f);
    GrowArray<ImageMod*> chain;
    chain.append(&plus);
    for (int i = 0; i < 300; ++i) {
        plus.var(0)->floatValue()->value = static_cast<float>(i % 37);
        view->displayChain(chain);
        if (i % 3 == 0) QThread::usleep(200);
    }
    ASSERT_TRUE(waitForDisplayIdle(view.get()));
    EXPECT_EQ(maxDifference(shownBuffer(view.get()), expectedFitDisplay(view.get(), chain, 160, 120)), 0.0f);
}

// A pass whose render runs out of memory shows nothing new: the last good
// picture stays, and the next change renders again.
TEST(MediaWidget, AFailedPassKeepsTheLastGoodPicture) {
    auto view = makeView(200, 150, 400, 300);
    AddConstantTile plus(5.0f);
    rendertest::BoxBlurTile blur(2);
    GrowArray<ImageMod*> chain;
    chain.append(&plus);
    chain.append(&blur);
    view->displayChain(chain);
    ASSERT_TRUE(waitForDisplayIdle(view.get()));
    const ImageBuffer before = shownBuffer(view.get());
    ASSERT_GT(before.width, 0);

    plus.var(0)->floatValue()->value = 60.0f;
    ImageBuffer::failAllocationsForTesting(0, int64_t(1) << 40);  // every allocation from here on fails
    view->displayChain(chain);
    const bool idle = waitForDisplayIdle(view.get());
    ImageBuffer::failAllocationsForTesting(0, 0);
    ASSERT_TRUE(idle);
    EXPECT_EQ(maxDifference(shownBuffer(view.get()), before), 0.0f);

    view->displayChain(chain);
    ASSERT_TRUE(waitForDisplayIdle(view.get()));
    EXPECT_EQ(maxDifference(shownBuffer(view.get()), expectedFitDisplay(view.get(), chain, 200, 150)), 0.0f);
}

TEST(MediaWidget, ZoomAndPanShowTheRightWindowOfTheFullPicture) {
    auto view = makeView(200, 100, 600, 400);
    AddConstantTile plus(3.0f);
    GrowArray<ImageMod*> chain;
    chain.append(&plus);
    view->displayChain(chain);
    ASSERT_TRUE(waitForDisplayIdle(view.get()));
    EXPECT_FALSE(view->atFullSize());    // a new picture is fitted
    view->setZoom(1.0f, 100.0f, 50.0f);  // full size about the centre
    EXPECT_TRUE(view->atFullSize());
    ASSERT_TRUE(waitForDisplayIdle(view.get()));

    // The whole picture at full size, rendered, then the windows cut out.
    ImageBuffer full;
    drawTransformedBitmap(view->sharedSource().get(), 600, 400, nullptr, nullptr, &full, 0.0f);
    RenderContext context(0);
    ASSERT_TRUE(context.render(chain, &full, nullptr, -1, 0, nullptr));
    auto expectWindow = [&](int ox, int oy) {
        const ImageBuffer shown = shownBuffer(view.get());
        ASSERT_EQ(shown.width, 200);
        ASSERT_EQ(shown.height, 100);
        float worst = 0.0f;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x)
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::fabs(floatAt(shown, x, y, c) - floatAt(full, x + ox, y + oy, c)));
        EXPECT_EQ(worst, 0.0f) << "window at " << ox << ", " << oy;
    };
    expectWindow(200, 150);
    // A pan keeps the buffer size: the cache of the old window must not serve.
    view->setPanOffset(-40.0f, 30.0f);
    view->requestDisplayPass();
    ASSERT_TRUE(waitForDisplayIdle(view.get()));
    expectWindow(240, 120);
    // Beyond the edge the pan is held at the edge.
    view->setPanOffset(-5000.0f, 5000.0f);
    view->requestDisplayPass();
    ASSERT_TRUE(waitForDisplayIdle(view.get()));
    expectWindow(400, 0);
}

TEST(MediaWidget, ClearMediaEmptiesTheDisplayAndKeepsTheChain) {
    auto view = makeView(100, 100, 50, 50);
    AddConstantTile plus(1.0f);
    GrowArray<ImageMod*> chain;
    chain.append(&plus);
    view->displayChain(chain);
    ASSERT_TRUE(waitForDisplayIdle(view.get()));
    EXPECT_TRUE(view->histogramWindow->histogram->hasData());
    view->clearMedia();
    EXPECT_FALSE(view->hasMedia());
    EXPECT_EQ(view->sharedSource(), nullptr);
    EXPECT_FALSE(view->histogramWindow->histogram->hasData());
    const QImage shown = Access::shownImage(*view);
    EXPECT_TRUE(shown.isNull() || shown.width() == 0);
    EXPECT_EQ(Access::shownBuffer(*view).data, nullptr);
    EXPECT_EQ(Access::chainCount(*view), 1);
}

TEST(MediaWidget, DeletingTheViewInTheMiddleOfAPassWaitsForItsThread) {
    auto view = makeView(300, 200, 900, 600);
    AddConstantTile plus(1.0f);
    GrowArray<ImageMod*> chain;
    chain.append(&plus);
    Access::holdPasses(*view, true);
    view->displayChain(chain);
    ASSERT_TRUE(waitUntil([&] { return Access::passIsHeld(*view); }));
    VxMediaWidget* raw = view.get();
    std::thread releaser([raw] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Access::holdPasses(*raw, false);
    });
    view.reset();  // must not free what the running pass uses (AddressSanitizer checks)
    releaser.join();
}

