// The batch worker decodes the next photo of a batch while it renders and
// saves the current one. What it writes must not change: the same bytes as
// jobs run one by one, in the same order, with the same progress; a job
// cancelled or dropped while its photo is decoded ahead writes nothing.
#include "MediaTestHelpers.h"
#include "QueueTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/ProcessingState.h"

#include <memory>

using namespace mediatest;

namespace {

class BatchLookAhead : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path().empty());
        queue.installLoader(std::make_unique<DesktopImageLoaderSaver>());
    }

    RenderJob job(const std::string& source, const std::string& output, float amount, int32_t channels = 0) {
        RenderJob j;
        j.sourcePath = gs(source);
        j.outputPath = gs(folder.file(output));
        j.channels = channels;
        j.mods.append(new AddConstantTile(amount));
        return j;
    }

    bool exists(const std::string& name) const { return std::filesystem::exists(folder.file(name)); }

    int32_t errorFlag() { return errorFlagOf(queue); }

    TempFolder folder;
    ProcessingState queue;
};

}  // namespace

// Real files of every kind the decoder treats apart (EXIF orientation, an
// embedded profile, PNG with and without alpha, a palette), written as JPEG
// and PNG: one batch (with look-ahead) against the same jobs queued one by
// one (each its own batch, so nothing is decoded ahead).
TEST_F(BatchLookAhead, ABatchWritesTheBytesOfJobsRunOneByOne) {
    ImageBuffer alpha;
    makePicture(&alpha, 40, 30, 4, false);
    ASSERT_TRUE(DesktopImageLoaderSaver().save8(gs(folder.file("alpha.png")), alpha, SaveOptions(), nullptr));
    writePalettePng(folder.file("palette.png"));
    ImageBuffer plain;  // the size of icc-profile.jpeg, without a profile
    makePicture(&plain, 48, 48, 3, false);
    SaveOptions noProfile;
    noProfile.embedProfile = false;
    ASSERT_TRUE(DesktopImageLoaderSaver().save8(gs(folder.file("plain.jpg")), plain, noProfile, nullptr));
    struct Case {
        std::string source;
        const char* output;
        float amount;
        int32_t channels;
        bool applyProfile = true;
    };
    const Case cases[] = {
        {testData("jpeg/orientation-6.jpg"), "o6.jpg", 12.5f, 0},
        {testData("jpeg/orientation-1.jpg"), "o1.jpg", -3.0f, 0},  // upright 50 x 70 too: the float storage is reused
        {testData("jpeg/icc-profile.jpeg"), "icc.jpg", -7.0f, 0, false},  // its decoded picture keeps the profile
        {testData("png/flower.png"), "flower.jpg", 3.0f, 0},
        // Decoded into the picture of the profiled photo two jobs before:
        // that photo's profile must not stick to it.
        {folder.file("plain.jpg"), "plain.jpg", 2.0f, 0},
        {folder.file("alpha.png"), "alpha.png", 20.0f, 0},
        {folder.file("alpha.png"), "alpha-opaque.jpg", 20.0f, 3},
        {folder.file("palette.png"), "palette.png", 1.0f, 0},
        {testData("jpeg/orientation-3.jpg"), "o3.png", 0.0f, 4},
    };
    for (const Case& c : cases) {
        RenderJob single = job(c.source, std::string("single-") + c.output, c.amount, c.channels);
        single.applyEmbeddedProfile = c.applyProfile;
        queue.addJob(single);
        ASSERT_TRUE(waitUntilIdle(queue));
    }
    GrowArray<RenderJob> batch;
    for (const Case& c : cases) {
        batch.append(job(c.source, std::string("batch-") + c.output, c.amount, c.channels));
        batch[batch.count - 1].applyEmbeddedProfile = c.applyProfile;
    }
    queue.addJobs(batch);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_EQ(errorFlag(), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const std::vector<char> single = readFile(folder.file(std::string("single-") + c.output));
        ASSERT_FALSE(single.empty());
        EXPECT_EQ(readFile(folder.file(std::string("batch-") + c.output)), single);
    }
}

// The second job's photo is decoded ahead while the first one renders (held
// at its first tile); it is then cancelled, or the queue is stopped. Its
// output never appears, nothing else is left in the folder, and the queue
// runs the next batch as usual.
TEST_F(BatchLookAhead, ACancelledOrDroppedLookAheadWritesNothing) {
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stop after current" : "cancel the waiting job");
        std::filesystem::remove_all(folder.file("out"));
        std::filesystem::create_directory(folder.file("out"));
        const auto gate = std::make_shared<Gate>();
        GrowArray<RenderJob> batch;
        batch.append(job(testData("png/flower.png"), "out/1.jpg", 5.0f));
        batch[0].mods.insertAt(0, gateTile(gate));
        batch.append(job(testData("jpeg/icc-profile.jpeg"), "out/2.jpg", 5.0f));
        batch.append(job(testData("jpeg/orientation-6.jpg"), "out/3.jpg", 5.0f));
        queue.addJobs(batch);
        ASSERT_TRUE(gate->waitUntilEntered());
        if (stop) queue.stopAfterCurrentJob();
        else EXPECT_TRUE(queue.cancelJob(batch[1].id));
        gate->open();
        ASSERT_TRUE(waitUntilIdle(queue));
        EXPECT_EQ(errorFlag(), 0);
        EXPECT_TRUE(exists("out/1.jpg"));
        EXPECT_FALSE(exists("out/2.jpg"));
        EXPECT_EQ(exists("out/3.jpg"), !stop);
        if (!stop) {  // the third job's own photo (upright 50 x 70), not the one decoded ahead for the second
            ImageBuffer third;
            ASSERT_TRUE(DesktopImageLoaderSaver().loadFloat(gs(folder.file("out/3.jpg")), &third, false, nullptr));
            EXPECT_EQ(third.width, 50);
            EXPECT_EQ(third.height, 70);
        }
        size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder.file("out"))) files += entry.is_regular_file();
        EXPECT_EQ(files, stop ? 1u : 2u);  // no temporary file left behind

        RenderJob again = job(testData("jpeg/icc-profile.jpeg"), "out/again.jpg", 5.0f);
        queue.addJob(again);
        ASSERT_TRUE(waitUntilIdle(queue));
        EXPECT_TRUE(exists("out/again.jpg"));
    }
}

// While each job renders the progress line names it, the files of the jobs
// three or more before it are written (the two just before may still be
// being encoded and written beside it) and its own and the later ones are
// not; the files are written in the order of the jobs (as far as the file
// times, a few milliseconds apart at best, can tell).
TEST_F(BatchLookAhead, OutputsAndProgressFollowTheJobsInOrder) {
    const char* sources[] = {"jpeg/orientation-1.jpg", "jpeg/orientation-3.jpg", "png/flower.png",
                             "jpeg/orientation-8.jpg", "jpeg/icc-profile.jpeg"};
    constexpr int32_t kJobs = 5;
    auto output = [](int32_t k) { return "out" + std::to_string(k) + ".jpg"; };
    std::vector<std::string> lines;
    std::vector<std::string> faults;
    GrowArray<RenderJob> batch;
    for (int32_t i = 0; i < kJobs; ++i) {
        batch.append(job(testData(sources[i]), output(i), 1.0f));
        batch[i].mods.append(new rendertest::HookTile([&, i](ImageBuffer&, const RenderArgs*, bool) {
            queue.refreshProgress();
            lines.push_back(queue.statusText().c_str());
            for (int32_t k = 0; k < kJobs; ++k)
                if ((k <= i - 3 && !exists(output(k))) || (k >= i && exists(output(k))))
                    faults.push_back("job " + std::to_string(i) + " sees output " + std::to_string(k));
        }, false));
    }
    queue.addJobs(batch);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_EQ(lines, (std::vector<std::string>{"File 1 of 5: orientation-1.jpg", "File 2 of 5: orientation-3.jpg",
                                               "File 3 of 5: flower.png", "File 4 of 5: orientation-8.jpg",
                                               "File 5 of 5: icc-profile.jpeg"}));
    EXPECT_TRUE(faults.empty()) << faults.front();
    for (int32_t k = 1; k < kJobs; ++k)
        EXPECT_LE(std::filesystem::last_write_time(folder.file(output(k - 1))),
                  std::filesystem::last_write_time(folder.file(output(k))))
            << output(k);
}

// Two saves are encoded side by side; a small picture's encode ends long
// before the large one's before it, yet its file is written after it.
TEST_F(BatchLookAhead, FilesEncodedSideBySideAreWrittenInJobOrder) {
    GrowArray<RenderJob> batch;
    batch.append(job(testData("png/flower.png"), "0.jpg", 1.0f));
    batch[0].options.quality = 100;  // the slowest encode
    for (const char* name : {"1.jpg", "2.jpg"}) batch.append(job(testData("jpeg/orientation-1.jpg"), name, 1.0f));
    queue.addJobs(batch);
    ASSERT_TRUE(waitUntilIdle(queue));
    EXPECT_EQ(errorFlag(), 0);
    for (int k = 1; k < 3; ++k) {
        const auto before = std::filesystem::last_write_time(folder.file(std::to_string(k - 1) + ".jpg"));
        EXPECT_LE(before, std::filesystem::last_write_time(folder.file(std::to_string(k) + ".jpg"))) << k;
    }
}

// From the second job on two photos may be decoded ahead: a job whose photo
// is decoded as the second look-ahead and is then cancelled, or dropped by
// a stop, writes nothing, and the job after it writes its own photo.
TEST_F(BatchLookAhead, ASecondLookAheadCancelledOrDroppedWritesNothing) {
    const char* sources[] = {"jpeg/orientation-1.jpg", "jpeg/orientation-3.jpg", "png/flower.png",
                             "jpeg/icc-profile.jpeg", "jpeg/orientation-6.jpg"};
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stop after current" : "cancel the fourth job");
        std::filesystem::remove_all(folder.file("out"));
        std::filesystem::create_directory(folder.file("out"));
        const auto gate = std::make_shared<Gate>();
        GrowArray<RenderJob> batch;
        for (int32_t i = 0; i < 5; ++i) batch.append(job(testData(sources[i]), "out/" + std::to_string(i + 1) + ".jpg", 5.0f));
        // The second job's photo was decoded ahead: the third and fourth decode while it is held.
        batch[1].mods.insertAt(0, gateTile(gate));
        queue.addJobs(batch);
        ASSERT_TRUE(gate->waitUntilEntered());
        if (stop) queue.stopAfterCurrentJob();
        else EXPECT_TRUE(queue.cancelJob(batch[3].id));
        gate->open();
        ASSERT_TRUE(waitUntilIdle(queue));
        EXPECT_EQ(errorFlag(), 0);
        const bool written[] = {true, true, !stop, false, !stop};
        for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(exists("out/" + std::to_string(i + 1) + ".jpg"), written[i]) << i + 1;
        if (!stop) {  // the fifth job's own photo (upright 50 x 70), not the fourth's
            ImageBuffer fifth;
            ASSERT_TRUE(DesktopImageLoaderSaver().loadFloat(gs(folder.file("out/5.jpg")), &fifth, false, nullptr));
            EXPECT_EQ(fifth.width, 50);
            EXPECT_EQ(fifth.height, 70);
        }
    }
}
