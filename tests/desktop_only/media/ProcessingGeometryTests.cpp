// The batch worker renders each job through its chain's output geometry: a
// sizing tile decides the saved size, and a size beyond the pixel budget
// fails the job (error flag, nothing written) without stopping the run.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/ProcessingState.h"
#include "foundation/Mutex.h"

#include <chrono>
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
