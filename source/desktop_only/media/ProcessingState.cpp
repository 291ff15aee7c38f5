#include "ProcessingState.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPixelFormat>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <system_error>
#include <thread>
#include <utility>

#include "DesktopImageLoaderSaver.h"
#include "MediaFileIo.h"
#include "OutputMemory.h"
#include "PliFile.h"
#include "RawDecoder.h"
#include "foundation/ImageBuffer.h"
#include "foundation/Mutex.h"
#include "foundation/WorkerThread.h"
#include "framework/FilterFile.h"
#include "framework/ImageMod.h"
#include "render/OutputGeometry.h"
#include "render/RenderContext.h"

namespace {

// The saving and batch worker runs at the highest priority short of
// time-critical.
constexpr float kWorkerPriority = 0.9f;

// Frees what a done, removed or dropped job holds: its tiles, and its
// share of a document's picture (the record stays in the run's list).
void releaseJob(RenderJob& job) {
    for (ImageMod* mod : job.mods) delete mod;
    job.mods.destroy();
    job.source.reset();
    job.sourceMetadata.reset();
}

// Whether the source's pixels carry alpha, from its header, for a loader
// that cannot tell from the decoded picture: .pli files always do, camera raw
// files never; other files as Qt's reader reports their pixel format
// (unknown formats count as opaque).
bool headerHasAlpha(const GrowString& path) {
    const QString name = qtPath(path);
    QFile file(name);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray head = file.read(12);
        if (isPliData(reinterpret_cast<const uint8_t*>(head.constData()), static_cast<size_t>(head.size())))
            return true;
    }
    if (isRawExtension(QFileInfo(name).suffix().toLower())) return false;
    const QImage::Format format = QImageReader(name).imageFormat();
    return format != QImage::Format_Invalid &&
           QImage::toPixelFormat(format).alphaUsage() == QPixelFormat::UsesAlpha;
}

// Loads a job's source as float samples. With channels 0 the count is the
// file's: the program's loader decides from the decoded picture (a palette
// with transparent entries is alpha too, which a header does not tell).
bool loadSource(ImageLoaderSaver& loader, const RenderJob& job, ImageBuffer* image,
                std::unique_ptr<ImageMetadata>* metadata, GrowString* reason) {
    if (job.channels == 3 || job.channels == 4) {
        image->channels = job.channels;
        return loader.loadFloat(job.sourcePath, image, job.applyEmbeddedProfile, metadata, reason);
    }
    if (DesktopImageLoaderSaver* desktop = dynamic_cast<DesktopImageLoaderSaver*>(&loader))
        return desktop->loadFloatKeepingAlpha(job.sourcePath, image, job.applyEmbeddedProfile, metadata, reason);
    image->channels = headerHasAlpha(job.sourcePath) ? 4 : 3;
    return loader.loadFloat(job.sourcePath, image, job.applyEmbeddedProfile, metadata, reason);
}

// Whether two paths name the same file: the same file on disk (links and
// other spellings included), or, when either is missing, the same path once
// made absolute and normalised.
bool sameFile(const GrowString& a, const GrowString& b) {
    const std::filesystem::path first(a.c_str());
    const std::filesystem::path second(b.c_str());
    std::error_code error;
    if (std::filesystem::equivalent(first, second, error)) return true;
    const std::filesystem::path absoluteFirst = std::filesystem::absolute(first, error);
    if (error) return false;
    const std::filesystem::path absoluteSecond = std::filesystem::absolute(second, error);
    if (error) return false;
    return absoluteFirst.lexically_normal() == absoluteSecond.lexically_normal();
}

// A buffer's sample storage alone, in a buffer with every other field at
// its default (no insets, scale 1); `from` is left empty. The worker hands
// one picture's memory on to the next this way: fresh memory costs the
// system a zeroed page for every page touched, the largest single cost of
// a batch after the codecs.
ImageBuffer takeStorage(ImageBuffer& from) {
    ImageBuffer storage;
    if (from.data && from.owns) {
        storage.data = from.data;
        storage.width = from.width;
        storage.height = from.height;
        storage.channels = from.channels;
        storage.owns = 1;
        from.data = nullptr;
        from.owns = 0;
    }
    from.release();
    return storage;
}

}  // namespace

// Memory the worker hands from one photo to the next: the float storage of
// the last picture saved, the last decoded picture and the last stored
// picture written (the encoder's samples).
struct RecycledMemory {
    ImageBuffer floats;
    QImage picture;
    QImage stored;
};

// The decode of one job's source on a thread of its own (see the header).
// Lives on the worker's stack: its destructor waits for the decode, so no
// thread outlives the worker's run and nothing decoded is kept after it.
class SourceLookAhead {
public:
    SourceLookAhead() = default;
    ~SourceLookAhead() { discard(); }
    SourceLookAhead(const SourceLookAhead&) = delete;
    SourceLookAhead& operator=(const SourceLookAhead&) = delete;

    // Starts decoding the job's source (float precision, metadata kept, as
    // the worker loads it). The loader reference keeps the loader alive.
    // `recycled`, an earlier decoded picture, is offered to the decoder.
    void start(std::shared_ptr<ImageLoaderSaver> loader, DesktopImageLoaderSaver* desktop, const RenderJob& job,
               QImage recycled) {
        discard();
        source_.pixels = std::move(recycled);
        jobId_ = job.id;
        path_ = job.sourcePath;
        applyProfile_ = job.applyEmbeddedProfile;
        loader_ = std::move(loader);
        thread_ = std::thread([this, desktop] {
            decoded_ = desktop->decode(path_, applyProfile_, true, true, &source_, nullptr);
        });
    }

    // The job whose source is being (or was) decoded; 0 when none.
    int32_t jobId() const { return thread_.joinable() ? jobId_ : 0; }

    // Waits for the look-ahead and hands over its decoded source when it
    // was the given job's and decoding succeeded; anything else is thrown
    // away and the job's source is to be loaded as usual.
    bool take(int32_t jobId, DecodedSource* source) {
        if (!thread_.joinable()) return false;
        thread_.join();
        const bool usable = jobId_ == jobId && decoded_;
        if (usable) *source = std::move(source_);
        discard();
        return usable;
    }

    // Waits for a decode in flight and frees what it decoded.
    void discard() {
        if (thread_.joinable()) thread_.join();
        source_ = DecodedSource();
        loader_.reset();
        jobId_ = 0;
        decoded_ = false;
    }

private:
    std::thread thread_;
    std::shared_ptr<ImageLoaderSaver> loader_;
    int32_t jobId_ = 0;
    GrowString path_;
    bool applyProfile_ = true;
    bool decoded_ = false;   // written by the decoding thread, read after join
    DecodedSource source_;   // likewise
};

// The look-ahead decodes of a run: at most kSlots photos decode at once,
// each for one of the jobs after the current one. Lives on the worker's
// stack; its slots wait for their decodes when it goes.
class LookAheads {
public:
    static constexpr int32_t kSlots = 2;

    // Hands over the decoded source of the job when one of the slots
    // decoded it successfully (the slot is then free).
    bool take(int32_t jobId, DecodedSource* source) {
        for (SourceLookAhead& slot : slots_)
            if (slot.jobId() == jobId) return slot.take(jobId, source);
        return false;
    }

    // Makes the slots decode the given coming jobs: a decode of a job that
    // is not among them (removed, dropped or passed) is thrown away, one
    // already running goes on, and the first `startable` of them that have
    // none start in free slots, the first start offered `recycled`.
    void decodeOnly(const GrowArray<const RenderJob*>& coming, int32_t startable,
                    const std::shared_ptr<ImageLoaderSaver>& loader, DesktopImageLoaderSaver* desktop,
                    QImage recycled) {
        const auto isComing = [&coming](int32_t jobId) {
            for (const RenderJob* job : coming)
                if (job->id == jobId) return true;
            return false;
        };
        for (SourceLookAhead& slot : slots_)
            if (slot.jobId() != 0 && !isComing(slot.jobId())) slot.discard();
        for (int32_t i = 0; i < coming.count && i < startable; ++i) {
            const RenderJob* job = coming[i];
            bool running = false;
            for (const SourceLookAhead& slot : slots_) running = running || slot.jobId() == job->id;
            if (running) continue;
            for (SourceLookAhead& slot : slots_) {
                if (slot.jobId() != 0) continue;
                slot.start(loader, desktop, *job, std::move(recycled));
                recycled = QImage();
                break;
            }
        }
    }

private:
    SourceLookAhead slots_[kSlots];
};

// The encoding and writing of one saved picture on a thread of its own
// while the worker goes on with the next job. The file is written only once
// the write before it (`before`, when valid) has ended, so files are
// written in the order of their jobs whichever encode ends first. Lives in
// the worker's PendingSave; the worker collects each result before the slot
// takes the next save or the run ends.
class SaveInFlight {
public:
    SaveInFlight() = default;
    ~SaveInFlight() { finish(nullptr); }
    SaveInFlight(const SaveInFlight&) = delete;
    SaveInFlight& operator=(const SaveInFlight&) = delete;

    bool inFlight() const { return thread_.joinable(); }
    // The file being written (valid while in flight).
    const GrowString& target() const { return target_; }
    // Ready once this save's file is written or its save has failed.
    const std::shared_future<void>& written() const { return written_; }

    void start(std::shared_ptr<ImageLoaderSaver> loader, DesktopImageLoaderSaver* desktop, PreparedSave prepared,
               std::unique_ptr<ImageMetadata> metadata, std::shared_future<void> before) {
        finish(nullptr);
        loader_ = std::move(loader);
        target_ = prepared.path;
        prepared_ = std::move(prepared);
        metadata_ = std::move(metadata);
        std::promise<void> done;
        written_ = done.get_future().share();
        thread_ = std::thread([this, desktop, before = std::move(before), done = std::move(done)]() mutable {
            QByteArray encoded;
            bool saved = desktop->encodePrepared(prepared_, &encoded, &reason_);
            if (before.valid()) before.wait();
            saved = saved && desktop->writeEncoded(prepared_, encoded, metadata_.get(), &reason_);
            saved_ = saved;
            done.set_value();
        });
    }

    // Waits for the write in flight and frees what it held but the stored
    // picture it wrote, which takeStored hands over. False, with the file
    // and the reason in `failure` when given, when it failed; true when it
    // succeeded or nothing was in flight.
    bool finish(JobFailure* failure) {
        if (!thread_.joinable()) return true;
        thread_.join();
        const bool saved = saved_;
        if (!saved && failure) {
            failure->file = target_;
            failure->reason = reason_;
        }
        stored_ = std::move(prepared_.pixels);
        prepared_ = PreparedSave();
        metadata_.reset();
        loader_.reset();
        written_ = std::shared_future<void>();
        saved_ = false;
        reason_ = GrowString();
        return saved;
    }

    // The stored picture of the last write finished (null when none), for
    // a later save's samples.
    QImage takeStored() { return std::move(stored_); }

private:
    std::thread thread_;
    std::shared_ptr<ImageLoaderSaver> loader_;
    GrowString target_;
    QImage stored_;
    std::shared_future<void> written_;
    PreparedSave prepared_;                   // handed to the writing thread
    std::unique_ptr<ImageMetadata> metadata_;
    bool saved_ = false;                      // written by the writing thread, read after join
    GrowString reason_;                       // likewise
};

// The saves of a run in flight, at most kSlots at once: libjpeg compresses
// one picture on one thread, the slowest step of a batch of photos, so two
// pictures compress side by side while their files are still written in
// job order. Lives on the worker's stack: its slots wait for their threads
// when it goes.
class PendingSave {
public:
    static constexpr int32_t kSlots = 2;

    int32_t count() const {
        int32_t n = 0;
        for (const SaveInFlight& slot : slots_) n += slot.inFlight() ? 1 : 0;
        return n;
    }
    bool inFlight() const { return count() > 0; }
    // Whether a save in flight writes this file.
    bool writes(const GrowString& path) const {
        for (const SaveInFlight& slot : slots_)
            if (slot.inFlight() && sameFile(slot.target(), path)) return true;
        return false;
    }
    // Finishes the oldest save in flight (SaveInFlight::finish); its stored
    // picture is then kept for takeStored.
    bool finishOldest(JobFailure* failure) {
        int32_t oldest = -1;
        for (int32_t i = 0; i < kSlots; ++i)
            if (slots_[i].inFlight() && (oldest < 0 || order_[i] < order_[oldest])) oldest = i;
        if (oldest < 0) return true;
        const bool saved = slots_[oldest].finish(failure);
        QImage stored = slots_[oldest].takeStored();
        if (!stored.isNull()) stored_ = std::move(stored);
        return saved;
    }

    // Starts a save in a free slot (the caller made room), written after
    // the latest one in flight.
    void start(std::shared_ptr<ImageLoaderSaver> loader, DesktopImageLoaderSaver* desktop, PreparedSave prepared,
               std::unique_ptr<ImageMetadata> metadata) {
        int32_t free = 0;
        while (free < kSlots - 1 && slots_[free].inFlight()) ++free;
        std::shared_future<void> before;
        if (slots_[latest_].inFlight()) before = slots_[latest_].written();
        slots_[free].start(std::move(loader), desktop, std::move(prepared), std::move(metadata), std::move(before));
        order_[free] = ++started_;
        latest_ = free;
    }

    // The stored picture of the last save finished (null when none).
    QImage takeStored() { return std::move(stored_); }

private:
    SaveInFlight slots_[kSlots];
    int64_t order_[kSlots] = {};
    int64_t started_ = 0;
    int32_t latest_ = 0;
    QImage stored_;
};

GrowArray<ImageMod*> cloneModChain(const GrowArray<ImageMod*>& chain) {
    GrowArray<ImageMod*> clones;
    for (const ImageMod* mod : chain)
        if (mod) clones.append(duplicateMod(*mod));
    return clones;
}

OutputRender renderAtOutputGeometry(RenderContext& context, const GrowArray<ImageMod*>& chain,
                                    const ImageBuffer& source, ImageBuffer* spentSource,
                                    const OutputGeometry& geometry, bool eightBit, ImageBuffer& picture,
                                    const std::function<void()>& pictureReady) {
    if (!geometry.isIdentity()) {
        const bool drawn = eightBit ? applyChainGeometry8(source, geometry, picture)
                                    : applyChainGeometry(source, geometry, picture);
        if (!drawn) return OutputRender::kNoPicture;
        // The drawing has set the picture's scale: the photo's pixels per
        // picture pixel, whatever made it smaller or larger (a sizing tile,
        // the caller's limit or both), as the view's picture carries it.
        if (spentSource) spentSource->release();
    } else if (spentSource) {
        picture = std::move(*spentSource);
        picture.scale = 1.0f;
    } else {
        if (eightBit)
            ImageBuffer::copy8(picture, source, true);
        else
            ImageBuffer::copyFloat(picture, source, true);
        if (!picture.data) return OutputRender::kNoPicture;
        picture.scale = 1.0f;
    }
    if (pictureReady) pictureReady();
    const bool rendered = eightBit ? context.render8(chain, &picture, nullptr, -1, 0, nullptr)
                                   : context.render(chain, &picture, nullptr, -1, 0, nullptr);
    return rendered ? OutputRender::kRendered : OutputRender::kIncomplete;
}

ProcessingState::ProcessingState()
    : loaderLock(std::make_unique<Mutex>()),
      workerLock(std::make_unique<Mutex>()),
      queueLock(std::make_unique<Mutex>()),
      fourthLock(std::make_unique<Mutex>()),
      statusLock(std::make_unique<Mutex>()) {}

ProcessingState::~ProcessingState() {
    stopAfterCurrentJob();
    // The worker holds a pointer to this queue: wait until every thread
    // started for it has returned.
    while (startedThreads.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (RenderJob& job : jobs) releaseJob(job);
    jobs.destroy();
}

void ProcessingState::installLoader(std::unique_ptr<ImageLoaderSaver> newLoader) {
    MutexLocker guard(loaderLock.get());
    loader = std::shared_ptr<ImageLoaderSaver>(std::move(newLoader));
}

int32_t ProcessingState::addJobs(GrowArray<RenderJob>& batch) {
    int32_t firstId = 0;
    {
        MutexLocker queue(queueLock.get());
        MutexLocker status(statusLock.get());
        const int32_t batchNumber = nextBatch++;
        firstId = nextJobId;
        for (RenderJob& job : batch) {
            job.id = nextJobId++;
            job.batch = batchNumber;
            jobs.append(job);
        }
        if (batch.count > 0) {
            busy = true;
            // A stop asked for earlier has already dropped the jobs it was
            // meant for; these new ones are to run.
            if (cancelFlag == kCancelAfterCurrentJob) cancelFlag = kCancelNone;
        }
    }
    if (batch.count > 0) {
        startedThreads.fetch_add(1);
        startWorkerThread(&ProcessingState::workerEntry, this, kWorkerPriority);
    }
    return firstId;
}

int32_t ProcessingState::addJob(RenderJob& job) {
    GrowArray<RenderJob> batch;
    batch.append(job);
    const int32_t id = addJobs(batch);
    job.id = batch[0].id;
    job.batch = batch[0].batch;
    return id;
}

bool ProcessingState::cancelJob(int32_t jobId) {
    MutexLocker queue(queueLock.get());
    MutexLocker status(statusLock.get());
    for (int32_t i = currentJobIndex; i < jobs.count; ++i) {
        if (jobs[i].id != jobId) continue;
        if (i == currentJobIndex) {
            cancelFlag = kCancelCurrentJob;
            if (activeContext) {
                // Stop the render before its next tile; the worker sees the
                // flag and does not save.
                MutexLocker chain(activeContext->chainLock.get());
                if (!activeContext->idle) activeContext->cancelRequested = 1;
            }
        } else {
            releaseJob(jobs[i]);
            jobs.removeAt(i);
        }
        return true;
    }
    return false;
}

void ProcessingState::stopAfterCurrentJob() {
    MutexLocker queue(queueLock.get());
    MutexLocker status(statusLock.get());
    dropWaitingJobs();
    // A job in progress that was cancelled stays cancelled: with nothing
    // left after it, the worker abandons it and stops all the same.
    if (busy && cancelFlag != kCancelCurrentJob) cancelFlag = kCancelAfterCurrentJob;
}

void ProcessingState::dropWaitingJobs() {
    const int32_t keep = currentJobIndex + 1 < jobs.count ? currentJobIndex + 1 : jobs.count;
    for (int32_t i = keep; i < jobs.count; ++i) releaseJob(jobs[i]);
    jobs.count = keep;
}

GrowString ProcessingState::statusText() const {
    MutexLocker status(statusLock.get());
    GrowString text(progressText);
    if (!progressText.isEmpty()) text.append(": ");
    text.appendString(currentFileName);
    return text;
}

void ProcessingState::refreshProgress() {
    MutexLocker queue(queueLock.get());
    MutexLocker status(statusLock.get());
    waitingNames.destroy();
    waitingIds.destroy();
    for (int32_t i = currentJobIndex; i < jobs.count; ++i) {
        waitingNames.append(jobs[i].sourcePath);
        waitingIds.append(jobs[i].id);
    }
    progressText = "";
    if (jobs.count > 1) {
        // Past the last job only while its file is still being written: it
        // is still the one in progress.
        const int32_t current = currentJobIndex < jobs.count ? currentJobIndex : jobs.count - 1;
        progressText = "File ";
        progressText.appendInt(current + 1);
        progressText.append(" of ");
        progressText.appendInt(jobs.count);
    }
}

void ProcessingState::waitingRows(GrowArray<GrowString>& names, GrowArray<int32_t>& ids) const {
    MutexLocker status(statusLock.get());
    names = waitingNames;
    ids = waitingIds;
}

bool ProcessingState::isBusy() const {
    MutexLocker status(statusLock.get());
    return busy;
}

bool ProcessingState::hasFailed() const {
    MutexLocker status(statusLock.get());
    return errorFlag == 1;
}

GrowArray<JobFailure> ProcessingState::failureList() const {
    MutexLocker status(statusLock.get());
    return failures;
}

void ProcessingState::recordFailure(const JobFailure& failure) {
    {
        MutexLocker status(statusLock.get());
        errorFlag = 1;
        failures.append(failure);
    }
    // The name escaped, so that the line stays one line; it reaches standard
    // error even while a look-ahead decode keeps the codecs quiet.
    printErrorLine(std::string("pellucine: ") + printableName(failure.file).c_str() + ": " + failure.reason.c_str());
}

bool ProcessingState::currentJobCancelled() const {
    MutexLocker status(statusLock.get());
    return cancelFlag == kCancelCurrentJob;
}

void ProcessingState::workerEntry(void* state) {
    ProcessingState* queue = static_cast<ProcessingState*>(state);
    queue->runWorker();
    // The last touch of the queue: its destructor may run from here on.
    queue->startedThreads.fetch_sub(1);
}

void ProcessingState::runWorker() {
    // One worker per queue. Jobs are appended under the queue lock, and a
    // worker that ends releases this lock while it still holds the queue
    // lock, so a job is either seen by the running worker or finds the lock
    // free for the worker started after it.
    if (!workerLock->tryLock()) return;

    // Declared before the context: on every way out, the look-ahead's
    // decode and a write in flight are waited for (after the locks below
    // are released).
    LookAheads ahead;
    PendingSave saving;
    RecycledMemory spare;
    RenderContext context(0);
    {
        MutexLocker status(statusLock.get());
        errorFlag = 0;
        failures.destroy();
        activeContext = &context;
    }

    for (;;) {
        RenderJob job;
        GrowArray<RenderJob> coming;  // the jobs after this one that may be decoded ahead
        GrowArray<GrowString> batchSources;
        bool over = false;
        {
            MutexLocker queue(queueLock.get());
            MutexLocker status(statusLock.get());
            over = cancelFlag == kCancelAfterCurrentJob || currentJobIndex >= jobs.count;
            if (over && !saving.inFlight()) {
                // The run is over and its last file written: release every
                // tile still held and empty the list, then let the next
                // worker in.
                for (RenderJob& left : jobs) releaseJob(left);
                jobs.destroy();
                currentJobIndex = 0;
                currentFileName = "";
                cancelFlag = kCancelNone;
                busy = false;
                activeContext = nullptr;
                workerLock->unlock();
                return;
            }
            if (over) {
                // Until the last file is written the progress goes on naming
                // its job (refreshProgress counts it as the current one).
                if (jobs.count > 0) currentFileName = fileNamePart(jobs[jobs.count - 1].sourcePath);
            } else {
                job = jobs[currentJobIndex];
                // Of this batch only, and files only (a document's picture
                // is not read); the tiles stay with the queue: only the
                // paths are read.
                for (int32_t i = currentJobIndex + 1; i < jobs.count && coming.count < LookAheads::kSlots; ++i) {
                    if (jobs[i].batch != job.batch || jobs[i].source) break;
                    RenderJob paths;
                    paths.id = jobs[i].id;
                    paths.batch = jobs[i].batch;
                    paths.sourcePath = jobs[i].sourcePath;
                    paths.outputPath = jobs[i].outputPath;
                    paths.applyEmbeddedProfile = jobs[i].applyEmbeddedProfile;
                    coming.append(paths);
                }
                for (const RenderJob& other : jobs)
                    if (other.batch == job.batch) batchSources.append(other.sourcePath);
                currentFileName = fileNamePart(job.sourcePath);
            }
        }
        if (over) {
            // The last file is still being written: the run ends once it is
            // (and the queue is looked at again, jobs may have come).
            finishPendingSave(saving);
            continue;
        }

        JobFailure failure;
        const JobOutcome outcome =
            processJob(job, batchSources, context, ahead, saving, spare, coming, failure);
        if (outcome == JobOutcome::kFailed) recordFailure(failure);

        MutexLocker queue(queueLock.get());
        MutexLocker status(statusLock.get());
        // Only jobs after the current one can be removed, so the job is
        // still at the current index.
        releaseJob(jobs[currentJobIndex]);
        ++currentJobIndex;
        if (cancelFlag == kCancelCurrentJob) cancelFlag = kCancelNone;
        currentFileName = "";
    }
}

ProcessingState::JobOutcome ProcessingState::processJob(const RenderJob& job,
                                                        const GrowArray<GrowString>& batchSources,
                                                        RenderContext& context, LookAheads& ahead,
                                                        PendingSave& saving, RecycledMemory& spare,
                                                        const GrowArray<RenderJob>& coming, JobFailure& failure) {
    const auto fail = [&failure](const GrowString& file, const GrowString& reason) {
        failure.file = file;
        failure.reason = reason.isEmpty() ? GrowString("failed for an unknown reason") : reason;
        return JobOutcome::kFailed;
    };
    // Never replace a file the batch reads (or has read): its own source only
    // when the job saves over its original.
    for (const GrowString& source : batchSources) {
        if (sameFile(job.outputPath, source)) {
            if (job.replacesSource && sameFile(source, job.sourcePath)) continue;
            return fail(job.outputPath, GrowString(sameFile(source, job.sourcePath)
                                                       ? "refused: it would replace the photo it is made from"
                                                       : "refused: it would replace a photo this batch reads"));
        }
    }

    ImageBuffer loadedImage;
    std::unique_ptr<ImageMetadata> metadata;
    std::shared_ptr<ImageLoaderSaver> current;
    {
        MutexLocker guard(loaderLock.get());
        current = loader;
    }
    // Only the program's own loader is known to serve two threads at once.
    DesktopImageLoaderSaver* desktop = dynamic_cast<DesktopImageLoaderSaver*>(current.get());
    GrowString reason;
    if (job.source) {
        // A document's save: its picture as the view holds it, already
        // upright and turned; the metadata as it was read when opened.
        if (job.sourceMetadata) metadata = job.sourceMetadata->clone();
    } else {
        // A source that the write in flight replaces is read once it is written.
        if (saving.writes(job.sourcePath)) finishPendingSave(saving);
        DecodedSource decoded;
        const bool decodedAhead = desktop && ahead.take(job.id, &decoded);
        if (desktop) {
            // The next photos decode while this one is loaded, rendered and
            // saved: not a file that the write in flight, this job or a job
            // before it is about to write (nor any photo after such a one);
            // a second starts only when memory holds both decoded pictures
            // beside the working set of this one (judged by this photo's
            // size, unknown until it is decoded ahead).
            int32_t startable = 1;
            if (decodedAhead) {
                const int64_t pixels = static_cast<int64_t>(decoded.pixels.width()) * decoded.pixels.height();
                const int64_t decodedBytes = static_cast<int64_t>(decoded.pixels.sizeInBytes());
                if (pixels * kWorkingBytesPerPixel + LookAheads::kSlots * decodedBytes <= workingMemoryBudget())
                    startable = LookAheads::kSlots;
            }
            GrowArray<const RenderJob*> decodable;
            for (int32_t i = 0; i < coming.count; ++i) {
                const GrowString& path = coming[i].sourcePath;
                bool written = sameFile(path, job.outputPath) || saving.writes(path);
                for (int32_t j = 0; j < i && !written; ++j) written = sameFile(path, coming[j].outputPath);
                if (written) break;
                decodable.append(&coming[i]);
            }
            ahead.decodeOnly(decodable, startable, current, desktop, std::move(spare.picture));
        }
        spare.picture = QImage();  // not needed when nothing is decoded ahead

        bool loaded = false;
        if (decodedAhead) {
            // The channel count as loadSource chooses it: 3 or 4 as asked, else the file's.
            const int32_t channels = job.channels == 3 || job.channels == 4 ? job.channels : 0;
            loadedImage = takeStorage(spare.floats);
            loaded = desktop->finishLoad(decoded, channels, true, &loadedImage, &metadata, &reason, true);
            spare.picture = std::move(decoded.pixels);
        } else {
            MutexLocker guard(loaderLock.get());
            if (loader) loaded = loadSource(*loader, job, &loadedImage, &metadata, &reason);
            else reason = "no image loader is installed";
        }
        if (!loaded) return fail(job.sourcePath, reason);
        if (!loadedImage.data) return fail(job.sourcePath, GrowString("the image is empty"));
        loadedImage.scale = 1.0f;
    }
    if (currentJobCancelled()) return JobOutcome::kAbandoned;
    const ImageBuffer& source = job.source ? *job.source : loadedImage;
    if (!source.data) return fail(job.sourcePath, GrowString("the image is empty"));

    // The output geometry (crop, border, output size) makes the picture the
    // chain runs on; a size beyond the pixel budget or the working memory
    // fails the job before anything is drawn.
    // A job with an output size limits the picture to it; the chain then
    // runs on the smaller picture at the scale its drawing gives it, as the
    // view renders a reduced preview.
    GeometryOptions limits;
    limits.maxWidth = job.outputWidth > 0 ? job.outputWidth : 0;
    limits.maxHeight = job.outputHeight > 0 ? job.outputHeight : 0;
    OutputGeometry geometry;
    if (!computeOutputGeometry(job.mods, source.width, source.height, limits, geometry, &reason))
        return fail(job.sourcePath, reason);
    if (!outputFitsInMemory(geometry.width, geometry.height, &reason)) return fail(job.sourcePath, reason);
    // A size the output's format cannot hold is refused before rendering too.
    const ImageFileKind outputKind = writeKindOfExtension(QFileInfo(qtPath(job.outputPath)).suffix().toLower());
    if (!outputSizeFits(outputKind, geometry.width, geometry.height, &reason)) return fail(job.outputPath, reason);
    // A document's picture is copied in the storage of the last one saved
    // when it fits; a photo read for this job is spent on it.
    ImageBuffer image;
    if (geometry.isIdentity() && job.source) image = takeStorage(spare.floats);
    const OutputRender outcome = renderAtOutputGeometry(context, job.mods, source, job.source ? nullptr : &loadedImage,
                                                        geometry, false, image);
    if (outcome == OutputRender::kNoPicture)
        return fail(job.sourcePath, GrowString(geometry.isIdentity()
                                                   ? "out of memory copying the picture"
                                                   : "out of memory drawing the picture at its output size"));
    if (currentJobCancelled()) return JobOutcome::kAbandoned;
    // Done and not failed: a run that left rows unprocessed is no picture.
    if (outcome != OutputRender::kRendered)
        return fail(job.sourcePath,
                    GrowString("out of memory while rendering: the image could not be rendered completely"));

    if (desktop) {
        // The samples are stored here, into the stored picture of an earlier
        // write; encoding and writing run beside the next jobs, the file
        // written after the one before it.
        PreparedSave prepared;
        prepared.pixels = std::move(spare.stored);
        spare.stored = QImage();
        if (!desktop->prepareSave(job.outputPath, image, true, job.options, &prepared, &reason))
            return fail(job.outputPath, reason);
        // A second save in flight only when memory holds its stored picture
        // too beside the working set of this one.
        const int64_t pixels = static_cast<int64_t>(image.width) * image.height;
        spare.floats = takeStorage(image);
        const int64_t storedBytes = static_cast<int64_t>(prepared.pixels.sizeInBytes());
        const int32_t allowed =
            pixels * kWorkingBytesPerPixel + PendingSave::kSlots * storedBytes <= workingMemoryBudget()
                ? PendingSave::kSlots
                : 1;
        while (saving.count() >= allowed) {
            JobFailure written;
            if (!saving.finishOldest(&written)) recordFailure(written);
        }
        spare.stored = saving.takeStored();
        saving.start(current, desktop, std::move(prepared), std::move(metadata));
        return JobOutcome::kSaved;  // a failed write is counted when it ends
    }
    finishPendingSave(saving);
    bool saved = false;
    {
        MutexLocker guard(loaderLock.get());
        if (loader) saved = loader->saveFloat(job.outputPath, image, job.options, metadata.get(), &reason);
        else reason = "no image loader is installed";
    }
    return saved ? JobOutcome::kSaved : fail(job.outputPath, reason);
}

void ProcessingState::finishPendingSave(PendingSave& saving) {
    while (saving.inFlight()) {
        JobFailure failure;
        if (!saving.finishOldest(&failure)) recordFailure(failure);
    }
}
