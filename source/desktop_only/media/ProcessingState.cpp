#include "ProcessingState.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPixelFormat>

#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

#include "BatchLookAhead.h"
#include "BatchSaves.h"
#include "DesktopImageLoaderSaver.h"
#include "FileIdentity.h"
#include "MediaFileIo.h"
#include "OutputMemory.h"
#include "PliFile.h"
#include "RawDecoder.h"
#include "RecycledMemory.h"
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

}  // namespace

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

    // The kind of file written; whether it gets 16 bits a sample depends on
    // the source's depth, known once the source is read.
    const ImageFileKind outputKind = writeKindOfExtension(QFileInfo(qtPath(job.outputPath)).suffix().toLower());
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
            // size and depth, unknown until it is decoded ahead).
            int32_t startable = 1;
            if (decodedAhead) {
                const int64_t pixels = static_cast<int64_t>(decoded.pixels.width()) * decoded.pixels.height();
                const int64_t decodedBytes = static_cast<int64_t>(decoded.pixels.sizeInBytes());
                const bool deep = writesSixteenBits(outputKind, optionsKeepingDepth(job.options, &decoded.metadata));
                if (pixels * outputWorkingBytesPerPixel(deep) + LookAheads::kSlots * decodedBytes <=
                    workingMemoryBudget())
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
    // A source of more than 8 bits a sample gives a 16-bit PNG or TIFF.
    const SaveOptions options = optionsKeepingDepth(job.options, metadata.get());
    const bool sixteenBit = writesSixteenBits(outputKind, options);

    // The output geometry (crop, border, output size) makes the picture the
    // chain runs on; a size beyond the pixel budget or the working memory
    // fails the job before anything is drawn.
    // A job with an output size has the picture drawn at exactly that size
    // (the size its dialog showed); the chain then runs on the smaller
    // picture at the scale its drawing gives it, as the view renders a
    // reduced preview.
    GeometryOptions limits;
    limits.maxWidth = job.outputWidth > 0 ? job.outputWidth : 0;
    limits.maxHeight = job.outputHeight > 0 ? job.outputHeight : 0;
    limits.exactSize = true;
    OutputGeometry geometry;
    if (!computeOutputGeometry(job.mods, source.width, source.height, limits, geometry, &reason))
        return fail(job.sourcePath, reason);
    if (!outputFitsInMemory(geometry.width, geometry.height, &reason, sixteenBit))
        return fail(job.sourcePath, reason);
    // A size the output's format (at its depth) cannot hold is refused before rendering too.
    if (!outputSizeFits(outputKind, geometry.width, geometry.height, &reason, sixteenBit))
        return fail(job.outputPath, reason);
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
        if (!desktop->prepareSave(job.outputPath, image, true, options, &prepared, &reason))
            return fail(job.outputPath, reason);
        // A second save in flight only when memory holds its stored picture
        // too beside the working set of this one.
        const int64_t pixels = static_cast<int64_t>(image.width) * image.height;
        spare.floats = takeStorage(image);
        const int64_t storedBytes = static_cast<int64_t>(prepared.pixels.sizeInBytes());
        const int32_t allowed =
            pixels * outputWorkingBytesPerPixel(sixteenBit) + PendingSave::kSlots * storedBytes <= workingMemoryBudget()
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
        if (loader) saved = loader->saveFloat(job.outputPath, image, options, metadata.get(), &reason);
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
