// The processing queue and its worker, on small real images: jobs are
// loaded, rendered and saved in order; failures set the error flag without
// stopping the run; cancelling, stopping and removing hit exactly the job
// they name; a batch never writes over one of its own inputs.
#include "MediaTestHelpers.h"
#include "QueueTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/MediaFileIo.h"
#include "desktop_only/media/ProcessingState.h"
#include "foundation/Mutex.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

using namespace mediatest;

namespace {

class ProcessingQueue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path().empty());
        queue.installLoader(std::make_unique<DesktopImageLoaderSaver>());
        for (const char* name : {"a.png", "b.png", "c.png", "d.png"}) writePicture(name, 3);
    }

    void writePicture(const std::string& name, int32_t channels) {
        ImageBuffer picture;
        makePicture(&picture, 24, 16, channels, false);
        ASSERT_TRUE(io.save8(gs(folder.file(name)), picture, SaveOptions(), nullptr));
    }

    // A job from the folder's source to the folder's output whose chain
    // adds `amount` to every sample (or waits at the gate first).
    RenderJob job(const std::string& source, const std::string& output, float amount = 10.0f,
                  const std::shared_ptr<Gate>& gate = nullptr) {
        RenderJob j;
        j.sourcePath = gs(folder.file(source));
        j.outputPath = gs(folder.file(output));
        if (gate) j.mods.append(gateTile(gate));
        j.mods.append(new AddConstantTile(amount));
        return j;
    }

    bool exists(const std::string& name) const { return std::filesystem::exists(folder.file(name)); }

    // Whether output holds source's picture with `amount` added (alpha too
    // when channels is 4).
    void expectRendered(const std::string& source, const std::string& output, float amount, int32_t channels = 3) {
        ImageBuffer in, out;
        in.channels = out.channels = channels;
        ASSERT_TRUE(io.loadFloat(gs(folder.file(source)), &in, false, nullptr));
        ASSERT_TRUE(io.loadFloat(gs(folder.file(output)), &out, false, nullptr));
        ASSERT_EQ(out.width, in.width);
        ASSERT_EQ(out.height, in.height);
        for (int64_t i = 0; i < in.sampleCount(); ++i)
            ASSERT_EQ(out.floats()[i], std::min(255.0f, in.floats()[i] + amount)) << "sample " << i;
    }

    TempFolder folder;
    DesktopImageLoaderSaver io;
    ProcessingState queue;
};

}  // namespace

TEST_F(ProcessingQueue, RendersEveryJobAndEndsIdle) {
    GrowArray<RenderJob> batch;
    batch.append(job("a.png", "a-out.png", 10.0f));
    batch.append(job("b.png", "b-out.jpg", 20.0f));
    writePicture("alpha.png", 4);
    batch.append(job("alpha.png", "alpha-out.png", 5.0f));
    const int32_t first = queue.addJobs(batch);
    EXPECT_EQ(batch[1].id, first + 1);
    EXPECT_EQ(batch[0].batch, batch[2].batch);
    ASSERT_TRUE(waitUntilIdle(queue));

    expectRendered("a.png", "a-out.png", 10.0f);
    expectRendered("alpha.png", "alpha-out.png", 5.0f, 4);  // alpha kept (with 5 added)
    ImageBuffer jpeg;
    EXPECT_TRUE(io.loadFloat(gs(folder.file("b-out.jpg")), &jpeg, false, nullptr));
    EXPECT_EQ(errorFlagOf(queue), 0);
    MutexLocker queueGuard(queue.queueLock.get());
    MutexLocker status(queue.statusLock.get());
    EXPECT_EQ(queue.jobs.count, 0);
    EXPECT_EQ(queue.currentJobIndex, 0);
    EXPECT_TRUE(queue.currentFileName.isEmpty());
}

TEST_F(ProcessingQueue, FailedJobsSetTheErrorFlagAndTheRunGoesOn) {
    std::vector<char> cut = readFile(folder.file("a.png"));
    cut.resize(60);
    writeFile(folder.file("truncated.png"), cut);
    writeFile(folder.file("misnamed.jpg"), readFile(folder.file("a.png")));
    GrowArray<RenderJob> batch;
    batch.append(job("missing.png", "1.png"));
    batch.append(job("truncated.png", "2.png"));
    batch.append(job("misnamed.jpg", "2b.png"));
    batch.append(job("a.png", "no-such-folder/3.png"));  // cannot be saved
    batch.append(job("b.png", "4.png"));
    queue.addJobs(batch);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_EQ(errorFlagOf(queue), 1);
    EXPECT_FALSE(exists("1.png"));
    EXPECT_FALSE(exists("2.png"));
    EXPECT_FALSE(exists("2b.png"));
    expectRendered("b.png", "4.png", 10.0f);

    // The next run starts with the flag cleared.
    RenderJob good = job("c.png", "5.png");
    queue.addJob(good);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_EQ(errorFlagOf(queue), 0);
    EXPECT_TRUE(exists("5.png"));
}

TEST_F(ProcessingQueue, TransparentPaletteEntriesKeepTheirAlpha) {
    writePalettePng(folder.file("palette.png"));
    GrowArray<RenderJob> batch;
    batch.append(job("palette.png", "kept.png", 0.0f));  // channels 0: as the file has
    batch.append(job("palette.png", "opaque.png", 0.0f));
    batch[1].channels = 3;
    queue.addJobs(batch);
    ASSERT_TRUE(waitUntilIdle(queue));
    ASSERT_EQ(errorFlagOf(queue), 0);
    for (const char* name : {"kept.png", "opaque.png"}) {
        SCOPED_TRACE(name);
        const bool kept = std::string(name) == "kept.png";
        ImageBuffer out;
        ASSERT_TRUE(io.loadFloatKeepingAlpha(gs(folder.file(name)), &out, false, nullptr));
        ASSERT_EQ(out.channels, kept ? 4 : 3);
        if (!kept) continue;
        for (int32_t p = 0; p < 8; ++p) {
            const bool transparent = (p % 4 + p / 4) % 2 == 0;
            EXPECT_EQ(out.floats()[p * 4 + 3], transparent ? 0.0f : 255.0f) << "pixel " << p;
        }
    }
}

TEST_F(ProcessingQueue, WithoutALoaderEveryJobFails) {
    ProcessingState bare;
    RenderJob j = job("a.png", "out.png");
    bare.addJob(j);
    ASSERT_TRUE(waitUntilIdle(bare));
    MutexLocker status(bare.statusLock.get());
    EXPECT_EQ(bare.errorFlag, 1);
    EXPECT_FALSE(exists("out.png"));
}

TEST_F(ProcessingQueue, CancellingTheJobInProgressAbandonsOnlyThatJob) {
    auto gate = std::make_shared<Gate>();
    GrowArray<RenderJob> batch;
    batch.append(job("a.png", "a-out.png", 10.0f, gate));
    batch.append(job("b.png", "b-out.png"));
    queue.addJobs(batch);
    ASSERT_TRUE(gate->waitUntilEntered());

    queue.refreshProgress();
    EXPECT_EQ(std::string(queue.statusText().c_str()), "File 1 of 2: a.png");
    {
        MutexLocker status(queue.statusLock.get());
        ASSERT_EQ(queue.waitingIds.count, 2);
        EXPECT_EQ(queue.waitingIds[0], batch[0].id);
        EXPECT_EQ(std::string(queue.waitingNames[1].c_str()), folder.file("b.png"));
    }

    EXPECT_TRUE(queue.cancelJob(batch[0].id));
    {
        MutexLocker status(queue.statusLock.get());
        EXPECT_EQ(queue.cancelFlag, kCancelCurrentJob);
    }
    gate->open();
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_FALSE(exists("a-out.png"));
    expectRendered("b.png", "b-out.png", 10.0f);
    EXPECT_EQ(errorFlagOf(queue), 0);  // a cancelled job is no failure
}

TEST_F(ProcessingQueue, StopAfterCurrentJobFinishesItAndDropsTheRest) {
    auto gate = std::make_shared<Gate>();
    GrowArray<RenderJob> batch;
    batch.append(job("a.png", "a-out.png", 10.0f, gate));
    batch.append(job("b.png", "b-out.png"));
    batch.append(job("c.png", "c-out.png"));
    queue.addJobs(batch);
    ASSERT_TRUE(gate->waitUntilEntered());
    queue.stopAfterCurrentJob();
    {
        MutexLocker queueGuard(queue.queueLock.get());
        MutexLocker status(queue.statusLock.get());
        EXPECT_EQ(queue.cancelFlag, kCancelAfterCurrentJob);
        EXPECT_EQ(queue.jobs.count, 1);
    }
    EXPECT_FALSE(queue.cancelJob(batch[1].id));  // already dropped
    gate->open();
    ASSERT_TRUE(waitUntilIdle(queue));
    expectRendered("a.png", "a-out.png", 10.0f);
    EXPECT_FALSE(exists("b-out.png"));
    EXPECT_FALSE(exists("c-out.png"));
}

TEST_F(ProcessingQueue, ACancelledJobStaysCancelledWhenTheQueueStops) {
    auto gate = std::make_shared<Gate>();
    GrowArray<RenderJob> batch;
    batch.append(job("a.png", "a-out.png", 10.0f, gate));
    batch.append(job("b.png", "b-out.png"));
    queue.addJobs(batch);
    ASSERT_TRUE(gate->waitUntilEntered());
    EXPECT_TRUE(queue.cancelJob(batch[0].id));
    queue.stopAfterCurrentJob();
    gate->open();
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_FALSE(exists("a-out.png"));
    EXPECT_FALSE(exists("b-out.png"));
    EXPECT_EQ(errorFlagOf(queue), 0);  // abandoned, not failed
}

TEST_F(ProcessingQueue, JobsQueuedAfterAStopStillRun) {
    auto gate = std::make_shared<Gate>();
    RenderJob first = job("a.png", "a-out.png", 10.0f, gate);
    queue.addJob(first);
    ASSERT_TRUE(gate->waitUntilEntered());
    RenderJob dropped = job("b.png", "b-out.png");
    queue.addJob(dropped);
    queue.stopAfterCurrentJob();
    RenderJob later = job("c.png", "c-out.png");
    queue.addJob(later);
    gate->open();
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_TRUE(exists("a-out.png"));
    EXPECT_FALSE(exists("b-out.png"));
    expectRendered("c.png", "c-out.png", 10.0f);
}

TEST_F(ProcessingQueue, RemovingAWaitingJobNeverTouchesAnother) {
    auto gate = std::make_shared<Gate>();
    GrowArray<RenderJob> batch;
    batch.append(job("a.png", "a-out.png", 10.0f, gate));
    batch.append(job("b.png", "b-out.png"));
    batch.append(job("c.png", "c-out.png"));
    batch.append(job("d.png", "d-out.png"));
    queue.addJobs(batch);
    ASSERT_TRUE(gate->waitUntilEntered());

    // Removing b shifts c and d down; the ids still name them.
    EXPECT_TRUE(queue.cancelJob(batch[1].id));
    EXPECT_FALSE(queue.cancelJob(batch[1].id));
    EXPECT_TRUE(queue.cancelJob(batch[3].id));
    EXPECT_FALSE(queue.cancelJob(12345));
    {
        MutexLocker queueGuard(queue.queueLock.get());
        MutexLocker status(queue.statusLock.get());
        EXPECT_EQ(queue.cancelFlag, kCancelNone);  // the job in progress goes on
        ASSERT_EQ(queue.jobs.count, 2);
        EXPECT_EQ(queue.jobs[1].id, batch[2].id);
    }
    gate->open();
    ASSERT_TRUE(waitUntilIdle(queue));
    expectRendered("a.png", "a-out.png", 10.0f);
    EXPECT_FALSE(exists("b-out.png"));
    expectRendered("c.png", "c-out.png", 10.0f);
    EXPECT_FALSE(exists("d-out.png"));
    EXPECT_FALSE(queue.cancelJob(batch[0].id));  // done
    EXPECT_EQ(errorFlagOf(queue), 0);
}

TEST_F(ProcessingQueue, ABatchNeverWritesOverItsOwnInputs) {
    std::filesystem::create_directory(folder.file("sub"));
    std::filesystem::create_symlink(folder.file("c.png"), folder.file("link-to-c.png"));
    struct Case {
        const char* what;
        const char* source;
        const char* output;
        bool replacesSource;
        bool refused;
    };
    // Every batch also reads b.png, as its second job.
    const Case cases[] = {
        {"own input", "a.png", "a.png", false, true},
        {"own input, other spelling", "a.png", "sub/../a.png", false, true},
        {"another input of the batch", "a.png", "b.png", false, true},
        {"through a link", "link-to-c.png", "c.png", false, true},
        {"save over original", "a.png", "a.png", true, false},
        {"save over original, not over another input", "a.png", "b.png", true, true},
        {"a new file", "a.png", "new.png", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* name : {"a.png", "b.png", "c.png"}) writePicture(name, 3);
        const std::vector<char> before = readFile(folder.file(c.output));
        GrowArray<RenderJob> batch;
        batch.append(job(c.source, c.output, 30.0f));
        batch[0].replacesSource = c.replacesSource;
        batch.append(job("b.png", "b-out.png", 10.0f));
        queue.addJobs(batch);
        ASSERT_TRUE(waitUntilIdle(queue));
        EXPECT_EQ(errorFlagOf(queue), c.refused ? 1 : 0);
        if (c.refused) EXPECT_EQ(readFile(folder.file(c.output)), before);
        else EXPECT_NE(readFile(folder.file(c.output)), before);
        // The batch's other job ran on the untouched input.
        expectRendered("b.png", "b-out.png", 10.0f);
        std::filesystem::remove(folder.file("b-out.png"));
    }
}

TEST_F(ProcessingQueue, DestroyingTheQueueWaitsForTheJobInProgress) {
    auto gate = std::make_shared<Gate>();
    auto doomed = std::make_unique<ProcessingState>();
    doomed->installLoader(std::make_unique<DesktopImageLoaderSaver>());
    GrowArray<RenderJob> batch;
    batch.append(job("a.png", "a-out.png", 10.0f, gate));
    batch.append(job("b.png", "b-out.png"));
    doomed->addJobs(batch);
    ASSERT_TRUE(gate->waitUntilEntered());
    std::thread opener([gate] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        gate->open();
    });
    doomed.reset();
    opener.join();
    expectRendered("a.png", "a-out.png", 10.0f);
    EXPECT_FALSE(exists("b-out.png"));
}

TEST_F(ProcessingQueue, StatusTextOfAnIdleQueueIsEmpty) {
    queue.refreshProgress();
    EXPECT_TRUE(queue.statusText().isEmpty());
    RenderJob single = job("a.png", "a-out.png");
    auto gate = std::make_shared<Gate>();
    single.mods.insertAt(0, gateTile(gate));
    queue.addJob(single);
    ASSERT_TRUE(gate->waitUntilEntered());
    queue.refreshProgress();
    EXPECT_EQ(std::string(queue.statusText().c_str()), "a.png");  // one job: the name alone
    gate->open();
    ASSERT_TRUE(waitUntilIdle(queue));
}

// A render that runs out of memory for its scratch bands leaves rows
// unrendered: the job fails (error flag), nothing is saved, and the next
// job runs as usual.
TEST_F(ProcessingQueue, ARenderThatRunsOutOfMemoryFailsTheJob) {
    auto gate = std::make_shared<Gate>();
    RenderJob starved = job("a.png", "starved.png", 10.0f, gate);
    starved.mods.append(new rendertest::BoxBlurTile(2));  // banded through scratch buffers
    queue.addJob(starved);
    ASSERT_TRUE(gate->waitUntilEntered());
    ImageBuffer::failAllocationsForTesting(0, 1000000);  // the source is loaded; every later allocation fails
    gate->open();
    const bool idle = waitUntilIdle(queue);
    ImageBuffer::failAllocationsForTesting(0, 0);
    ASSERT_TRUE(idle);
    EXPECT_EQ(errorFlagOf(queue), 1);
    EXPECT_FALSE(exists("starved.png"));

    RenderJob good = job("b.png", "fed.png");
    queue.addJob(good);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_EQ(errorFlagOf(queue), 0);
    expectRendered("b.png", "fed.png", 10.0f);
}

// A photo whose orientation is stored as a LONG, in either byte order,
// comes out upright: the batch reads it as every path does.
TEST_F(ProcessingQueue, AnOrientationStoredAsLongTurnsTheOutput) {
    ImageBuffer picture;
    makePicture(&picture, 24, 16, 3, false);
    ASSERT_TRUE(io.save8(gs(folder.file("plain.jpg")), picture, SaveOptions(), nullptr));
    const std::vector<char> plain = readFile(folder.file("plain.jpg"));
    GrowArray<RenderJob> batch;
    for (bool little : {true, false}) {
        const std::string name = little ? "little.jpg" : "big.jpg";
        const std::vector<uint8_t> exif = exifSegment(little, 0x0112, 4, 6);
        writeBytes(folder.file(name), withExifSegment(QByteArray(plain.data(), int(plain.size())), exif));
        batch.append(job(name, name + ".png"));
    }
    queue.addJobs(batch);
    ASSERT_TRUE(waitUntilIdle(queue));
    ASSERT_EQ(errorFlagOf(queue), 0);
    for (const char* output : {"little.jpg.png", "big.jpg.png"})
        EXPECT_EQ(QImage(QString::fromStdString(folder.file(output))).size(), QSize(16, 24)) << output;
}

// Every failed job keeps the file it concerns and why; the next run starts
// with an empty list.
TEST_F(ProcessingQueue, EachFailureKeepsItsFileAndReason) {
    std::vector<char> cut = readFile(folder.file("a.png"));
    cut.resize(60);
    writeFile(folder.file("truncated.png"), cut);
    // Within the pixel budget, beyond the working memory (when the machine
    // is not so large that the budget runs out first).
    const int64_t side = static_cast<int64_t>(std::sqrt(double(workingMemoryBudget()) / kWorkingBytesPerPixel)) + 1;
    const bool memoryFirst = side * side <= kMaxImagePixels;
    struct Case {
        RenderJob job;
        std::string file;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({job("missing.png", "1.png"), "missing.png", "cannot open the file: No such file"});
    cases.push_back({job("truncated.png", "2.png"), "truncated.png", "damaged"});
    // A JPEG cut at half with its end marker appended, and one whose frame
    // claims far more than its data holds: no grey picture is written.
    ImageBuffer photo;
    makePicture(&photo, 300, 200, 3, false);
    ASSERT_TRUE(io.save8(gs(folder.file("photo.jpg")), photo, SaveOptions(), nullptr));
    const std::vector<char> whole = readFile(folder.file("photo.jpg"));
    const QByteArray jpeg(whole.data(), static_cast<int>(whole.size()));
    writeBytes(folder.file("cut.jpg"), cutJpeg(jpeg, jpeg.size() / 2, true));
    writeBytes(folder.file("beyond.jpg"), claimingSize(jpeg, 14000, 14000));
    cases.push_back({job("cut.jpg", "cut.png"), "cut.jpg", "the JPEG file is damaged or cut short"});
    cases.push_back({job("beyond.jpg", "beyond.png"), "beyond.jpg", "the JPEG file is damaged or cut short"});
    cases.push_back({job("a.png", "no-such-folder/3.png"), "no-such-folder/3.png", "the folder does not exist"});
    cases.push_back({job("b.png", "a.png"), "a.png", "refused: it would replace a photo this batch reads"});
    writePicture("e.png", 3);
    writePicture("f.png", 3);
    cases.push_back({job("e.png", "4.png"), "e.png", "beyond one gigapixel"});
    cases.back().job.mods.append(exactSize(100000.0f, 100000.0f));
    cases.push_back({job("e.png", "wide.jpg"), "wide.jpg", "JPEG holds at most 65,500 pixels a side"});
    cases.back().job.mods.append(exactSize(70000.0f, 4.0f));
    if (memoryFirst) {
        cases.push_back({job("f.png", "5.png"), "f.png", "pixels, needs"});
        cases.back().job.mods.append(exactSize(static_cast<float>(side), static_cast<float>(side)));
    }
    GrowArray<RenderJob> batch;
    for (Case& c : cases) batch.append(c.job);
    testing::internal::CaptureStderr();
    queue.addJobs(batch);
    ASSERT_TRUE(waitUntilIdle(queue));
    const std::string printed = testing::internal::GetCapturedStderr();
    const GrowArray<JobFailure> failures = queue.failureList();
    ASSERT_EQ(failures.count, static_cast<int32_t>(cases.size()));
    // In the order they were found (a write's failure is found while the
    // next job runs), each printed as one line on standard error.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const JobFailure* found = nullptr;
        for (const JobFailure& failure : failures)
            if (std::string(failure.file.c_str()) == folder.file(c.file)) found = &failure;
        ASSERT_NE(found, nullptr);
        EXPECT_NE(std::string(found->reason.c_str()).find(c.reason), std::string::npos) << found->reason.c_str();
        const std::string line = "pellucine: " + folder.file(c.file) + ": " + found->reason.c_str() + "\n";
        EXPECT_NE(printed.find(line), std::string::npos) << printed;
    }
    EXPECT_FALSE(exists("4.png"));
    EXPECT_FALSE(exists("5.png"));
    EXPECT_FALSE(exists("wide.jpg"));
    EXPECT_FALSE(exists("cut.png"));
    EXPECT_FALSE(exists("beyond.png"));

    RenderJob good = job("a.png", "6.png");
    queue.addJob(good);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_EQ(queue.failureList().count, 0);
    EXPECT_EQ(errorFlagOf(queue), 0);
}

// A job given a shared picture renders that picture (its own channel count
// kept) and writes its metadata; the file named as its source is not read.
TEST_F(ProcessingQueue, ASharedPictureIsRenderedInsteadOfTheFile) {
    auto picture = std::make_shared<ImageBuffer>();
    makePicture(picture.get(), 24, 16, 4, true);
    const std::vector<float> before(picture->floats(), picture->floats() + picture->sampleCount());
    // A camera's metadata, as a photo opened with it holds it.
    ImageBuffer camera;
    std::unique_ptr<ImageMetadata> read;
    ASSERT_TRUE(io.loadFloat(gs(testData("psd/orientation6.psd")), &camera, false, &read));
    const std::shared_ptr<const ImageMetadata> metadata = std::move(read);
    GrowArray<RenderJob> batch;
    for (const char* output : {"shared.png", "shared.tif"}) {
        batch.append(job("missing.png", output, 10.0f));
        batch[batch.count - 1].source = picture;
        batch[batch.count - 1].sourceMetadata = metadata;
    }
    queue.addJobs(batch);
    batch.destroy();  // the queue's shares alone keep the picture
    ASSERT_TRUE(waitUntilIdle(queue));
    ASSERT_EQ(errorFlagOf(queue), 0);
    ImageBuffer out;
    ASSERT_TRUE(io.loadFloatKeepingAlpha(gs(folder.file("shared.png")), &out, false, nullptr));
    ASSERT_EQ(out.channels, 4);
    ASSERT_EQ(out.sampleCount(), picture->sampleCount());
    for (int64_t i = 0; i < out.sampleCount(); ++i)
        ASSERT_EQ(out.floats()[i], std::min(255.0f, std::floor(before[i] + 10.0f))) << "sample " << i;
    EXPECT_TRUE(std::equal(before.begin(), before.end(), picture->floats()));  // never written into
    std::unique_ptr<ImageMetadata> written;
    ASSERT_TRUE(io.loadFloat(gs(folder.file("shared.tif")), &out, false, &written));
    ASSERT_TRUE(written);
    EXPECT_NE(written->xmpPacket.find("LIFE Pro 2.18.5"), std::string::npos);
    EXPECT_EQ(picture.use_count(), 1);  // released when the jobs were done
}
