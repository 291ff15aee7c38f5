// The batch worker renders each job through its chain's output geometry: a
// sizing tile decides the saved size, and a size beyond the pixel budget
// fails the job (error flag, nothing written) without stopping the run. The
// road every save, job and the render tool share makes the picture first,
// then runs the chain on it.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/ProcessingState.h"
#include "foundation/Mutex.h"
#include "render/OutputGeometry.h"
#include "render/RenderContext.h"
#include "support/TestTiles.h"

#include <chrono>
#include <memory>
#include <thread>

using namespace mediatest;

TEST(ProcessingGeometry, JobsRenderAtTheOutputSizeAndHugeSizesFail) {
    TempFolder folder;
    DesktopImageLoaderSaver io;
    ImageBuffer picture;
    makePicture(&picture, 24, 16, 3, false);
    ASSERT_TRUE(io.save8(gs(folder.file("a.png")), picture, SaveOptions(), nullptr));

    ProcessingState queue;
    queue.installLoader(std::make_unique<DesktopImageLoaderSaver>());
    GrowArray<RenderJob> batch;
    RenderJob huge;
    huge.sourcePath = gs(folder.file("a.png"));
    huge.outputPath = gs(folder.file("huge.png"));
    huge.mods.append(exactSize(100000.0f, 100000.0f));
    batch.append(huge);
    RenderJob sized;
    sized.sourcePath = gs(folder.file("a.png"));
    sized.outputPath = gs(folder.file("sized.png"));
    sized.mods.append(exactSize(12.0f, 8.0f));
    batch.append(sized);
    queue.addJobs(batch);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (queue.isBusy() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_FALSE(queue.isBusy());

    {
        MutexLocker status(queue.statusLock.get());
        EXPECT_EQ(queue.errorFlag, 1);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("huge.png")));
    ImageBuffer out;
    ASSERT_TRUE(io.loadFloat(gs(folder.file("sized.png")), &out, false, nullptr));
    EXPECT_EQ(out.width, 12);
    EXPECT_EQ(out.height, 8);
}

// The picture's scale is the photo's pixels per picture pixel, whether a
// sizing tile, the caller's limit or both made it smaller, and for a size
// with a fraction too: the view's picture of the same size has that scale.
TEST(ProcessingGeometry, ThePictureIsMadeThenTheChainRunsOnIt) {
    struct Case {
        const char* name;
        int32_t sourceWidth;
        float sizedWidth;  // an exact-size tile's width (height 8), 0 for none
        int32_t maxWidth;  // the caller's limit, 0 for the chain's own size
        bool spend;        // the caller gives up the source
        bool noMemory;     // every allocation fails
        OutputRender outcome;
        int32_t width;     // the picture's width
        float scale;
    } cases[] = {
        {"own size, copied", 24, 0.0f, 0, false, false, OutputRender::kRendered, 24, 1.0f},
        {"own size, spent", 24, 0.0f, 0, true, false, OutputRender::kRendered, 24, 1.0f},
        {"reduced, spent", 24, 0.0f, 6, true, false, OutputRender::kRendered, 6, 4.0f},
        {"reduced, kept", 24, 0.0f, 6, false, false, OutputRender::kRendered, 6, 4.0f},
        {"reduced, no memory", 24, 0.0f, 6, false, true, OutputRender::kNoPicture, 0, 1.0f},
        {"sized to half", 24, 12.0f, 0, false, false, OutputRender::kRendered, 12, 2.0f},
        {"sized to half, then limited to half", 24, 12.0f, 6, false, false, OutputRender::kRendered, 6, 4.0f},
        // 12.5 x 8 is drawn at 12 x 8 from 24 x 16 of the 25 columns.
        {"sized to half an odd width", 25, 12.5f, 0, false, false, OutputRender::kRendered, 12, 2.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBuffer source;
        makePicture(&source, c.sourceWidth, 16, 3, true);
        const float corner = source.floats()[0];
        rendertest::CountingTile plus(10.0f);
        GrowArray<ImageMod*> chain;
        std::unique_ptr<ImageMod> sizing(c.sizedWidth > 0.0f ? exactSize(c.sizedWidth, 8.0f) : nullptr);
        if (sizing) chain.append(sizing.get());
        chain.append(&plus);
        GeometryOptions limits;
        limits.maxWidth = c.maxWidth;
        OutputGeometry geometry;
        ASSERT_TRUE(computeOutputGeometry(chain, c.sourceWidth, 16, limits, geometry));
        RenderContext context(0);
        ImageBuffer picture;
        int32_t readyCalls = 0;
        if (c.noMemory) ImageBuffer::failAllocationsForTesting(0, int64_t(1) << 40);
        const OutputRender outcome = renderAtOutputGeometry(context, chain, source, c.spend ? &source : nullptr,
                                                            geometry, false, picture, [&] { ++readyCalls; });
        ImageBuffer::failAllocationsForTesting(0, 0);
        EXPECT_EQ(outcome, c.outcome);
        // Without a picture the chain never runs.
        const bool ran = c.outcome != OutputRender::kNoPicture;
        EXPECT_EQ(readyCalls, ran ? 1 : 0);
        EXPECT_EQ(plus.callCount() > 0, ran);
        EXPECT_EQ(picture.width, c.width);
        if (!ran) continue;
        EXPECT_EQ(picture.scale, c.scale);
        if (c.width == 24) {
            EXPECT_EQ(picture.floats()[0], corner + 10.0f);
        }
        // A spent source is gone once the picture stands; a kept one is untouched.
        EXPECT_EQ(source.data == nullptr, c.spend);
        if (!c.spend) {
            EXPECT_EQ(source.floats()[0], corner);
        }
    }
}
