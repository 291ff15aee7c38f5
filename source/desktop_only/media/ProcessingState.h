#pragma once
// ProcessingState: a processing queue of saves and batch jobs, and the
// background worker that drains it.
//
// Each RenderJob names a source file, an output file, how to save it and the
// job's own clones of the tiles to render. The worker (one at a time per
// queue, started with startWorkerThread at priority 0.9) takes the jobs in
// order: it loads the source as float samples under the loader lock through
// the queue's own image loader, draws it through the chain's output
// geometry (crop, border, output size), renders the chain on that picture
// through a RenderContext without cache, and saves it (the loader writes a temporary
// file and renames it over the target) with the source's depth: a PNG or
// TIFF made from a source of more than 8 bits a sample gets 16
// (optionsKeepingDepth), other files as the job's options say (8 bits
// unless they ask for 16). When the list is done it empties it, clears the
// busy flag and ends.
//
// Look-ahead and saves in flight: with the program's own loader (which
// keeps no state, so several threads may use it at once) the sources of
// the next jobs of the same batch decode on threads of their own while the
// worker loads, renders and saves the current one (BatchLookAhead.h), and
// each job's picture is encoded and written on a thread of its own while
// the worker goes on, the files written in the order of the jobs
// (BatchSaves.h); the memory of one photo is handed on to the next
// (RecycledMemory.h). The files written, their order and the progress are
// those of a worker without either; a failed write sets the error flag
// when it ends, and the run (and the busy flag) ends only once its last
// file is written.
// The progress names the job being loaded or rendered, so a stop or a
// cancel arriving while a job's file is written concerns the job after it.
//
// A save of an open document carries the document's picture (`source`):
// the worker renders that instead of reading the file again, so a save
// over the original, repeated, still starts from the photo as it was
// opened. The picture is shared read-only with the view; its owners only
// ever replace it, never write into it.
//
// Failures and cancelling:
// - A job whose source cannot be read, whose output size is beyond the
//   pixel budget, the working memory or what its file holds at its depth
//   (refused before anything is drawn), whose render fails (memory ran out and rows were left
//   unrendered) or whose file cannot be saved sets the error flag; the
//   worker goes on with the next job. Each failure is kept in `failures`
//   with the file it concerns and its reason, and printed on standard
//   error as one line ("pellucine: FILE: REASON"). The flag and the list
//   are cleared when a worker starts a new run.
// - A job whose output would replace one of its batch's sources (its own
//   included, unless the job is a "save over original") is refused: error
//   flag, nothing written, next job. The comparison is by file identity, so
//   links and "../" spellings of the same file count.
// - cancelJob(id) on the job in progress sets cancel flag 1: the render
//   stops before its next tile and the job is not saved; the worker goes on
//   with the next job. On a waiting job it removes that job (its tiles are
//   deleted); no other job is touched. Jobs are found by their id, which
//   never changes, so a stale row of the progress list can never hit
//   another job.
// - stopAfterCurrentJob() drops every waiting job and sets cancel flag 2:
//   the job in progress is finished and saved (unless it was cancelled
//   already), then the worker ends. Jobs queued after that call run as
//   usual.
//
// Locks (each a non-recursive Mutex; when several are needed they are taken
// in this order: queue lock, status lock, a render context's chain lock):
// - loaderLock: around every load and save through the queue's loader and
//   around installing the loader; the look-ahead decode holds a reference
//   to the loader instead, so that a loader replaced meanwhile lives on
//   until the decode ends.
// - workerLock: held by the running worker for its whole run; a second
//   worker that cannot take it ends at once.
// - queueLock: over `jobs` (and the job ids).
// - fourthLock: created with the others; nothing in this program takes it.
// - statusLock: over busy, cancelFlag, errorFlag, currentJobIndex,
//   progressText, currentFileName, waitingNames and waitingIds.
// The fields are public so that tests can inspect them under those locks;
// code outside the queue (the progress display among it) reads and changes
// it only through the operations below, which take the locks themselves.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "framework/ImageLoaderSaver.h"

class ImageBuffer;
class ImageMod;
class Mutex;
class RenderContext;
class PendingSave;
struct RecycledMemory;
class LookAheads;
struct OutputGeometry;

// Values of ProcessingState::cancelFlag.
enum ProcessingCancel : int32_t {
    kCancelNone = 0,
    kCancelCurrentJob = 1,       // abandon the job in progress, go on with the next
    kCancelAfterCurrentJob = 2,  // finish the job in progress, then stop
};

// One job of a queue: a plain, copy-assignable record. Copies share the tile
// pointers; once queued, the tiles belong to the queue, which deletes them
// when the job is done, removed or dropped.
struct RenderJob {
    int32_t id = 0;         // given by the queue: unique and stable
    int32_t batch = 0;      // given by the queue: the jobs queued by one call
    GrowString sourcePath;             // the photo's file: read unless `source` is set; names the job
    GrowString outputPath;
    SaveOptions options;
    bool applyEmbeddedProfile = true;  // "ColorProfileImport" 0: convert the source's profile to sRGB
    int32_t channels = 0;              // 3 or 4; 0: 4 when the source has alpha, else 3 (a file read only)
    bool replacesSource = false;       // "save over original": the output may be this job's own source
    // The size to save at, at most the chain's own output size, in its
    // proportion with one side rounded to the nearest pixel (as the Save
    // Size dialog shows it): the source is drawn at exactly that size through
    // the output geometry before the chain runs, so the file has the size the
    // user accepted. 0 x 0: the chain's own size; one side alone limits the
    // size, aspect kept.
    int32_t outputWidth = 0;
    int32_t outputHeight = 0;
    // A document's save: its picture as the view holds it (float samples,
    // upright and turned as shown, its own channel count) and the metadata
    // read when it was opened, both shared read-only. Null for a batch job,
    // whose source is read from sourcePath.
    std::shared_ptr<const ImageBuffer> source;
    std::shared_ptr<const ImageMetadata> sourceMetadata;
    GrowArray<ImageMod*> mods;         // the job's own clones of the chain
};

// A failed job: the file the failure concerns (the source when it could not
// be read or rendered, the output when it could not be written or was
// refused) and why, in one line.
struct JobFailure {
    GrowString file;
    GrowString reason;
};

class ProcessingState {
public:
    // Empty lists and strings, not busy, the five locks, no image loader.
    ProcessingState();
    // Drops the waiting jobs, waits for the worker to finish the job in
    // progress (it is saved unless it was cancelled), then frees the loader,
    // the locks and every job's tiles.
    ~ProcessingState();
    ProcessingState(const ProcessingState&) = delete;
    ProcessingState& operator=(const ProcessingState&) = delete;
    ProcessingState(ProcessingState&&) = delete;
    ProcessingState& operator=(ProcessingState&&) = delete;

    // Replaces the queue's image loader (under the loader lock). Without a
    // loader every job fails.
    void installLoader(std::unique_ptr<ImageLoaderSaver> newLoader);

    // Appends the jobs as one batch and makes sure a worker runs. The queue
    // takes over their tiles (each job must hold clones of its own); the
    // records receive their id and batch number. Returns the first id.
    int32_t addJobs(GrowArray<RenderJob>& batch);
    // One job as a batch of its own; returns its id.
    int32_t addJob(RenderJob& job);

    // Cancels the job in progress (cancel flag 1) or removes a waiting job,
    // found by id. Returns false, changing nothing, for an id that is done
    // or unknown.
    bool cancelJob(int32_t jobId);
    // Drops every waiting job and lets the worker stop after the job in
    // progress (cancel flag 2).
    void stopAfterCurrentJob();

    // The progress line: the progress text, ": " when it is not empty, then
    // the name of the file being processed.
    GrowString statusText() const;
    // Rebuilds the waiting list (the source path and id of every job from
    // the current one on) and the progress text ("File 2 of 5" with more
    // than one job, else empty; while the last job's file is still being
    // written, that job counts as the current one).
    void refreshProgress();
    // The waiting list as refreshProgress last built it (the source path
    // and id of every job from the current one on), copied out under the
    // status lock.
    void waitingRows(GrowArray<GrowString>& names, GrowArray<int32_t>& ids) const;
    // The busy flag, read under the status lock.
    bool isBusy() const;
    // Whether a job of the last run failed (the error flag), read under the
    // status lock.
    bool hasFailed() const;
    // A copy of the failures of the last run, read under the status lock.
    GrowArray<JobFailure> failureList() const;

    std::unique_ptr<Mutex> loaderLock;
    std::unique_ptr<Mutex> workerLock;
    std::unique_ptr<Mutex> queueLock;
    std::unique_ptr<Mutex> fourthLock;
    std::unique_ptr<Mutex> statusLock;

    // Under statusLock.
    bool busy = false;               // jobs are queued or the worker runs
    int32_t cancelFlag = kCancelNone;
    int32_t errorFlag = 0;           // 1 after a job failed; cleared when a worker starts
    // Every failed job of the run, as found (a write's failure is found
    // while the next job runs); cleared with errorFlag.
    GrowArray<JobFailure> failures;
    int32_t currentJobIndex = 0;     // 0-based index into jobs of the job in progress
    GrowString progressText;
    GrowString currentFileName;      // file name of the job in progress, "" when idle
    GrowArray<GrowString> waitingNames;
    GrowArray<int32_t> waitingIds;

    // Under queueLock: the whole run, done jobs included (their tiles are
    // already deleted), until the worker ends and empties it.
    GrowArray<RenderJob> jobs;

private:
    enum class JobOutcome { kSaved, kFailed, kAbandoned };

    static void workerEntry(void* state);
    void runWorker();
    // `coming` holds the jobs after this one in the same batch (their
    // paths only), at most two: their sources are decoded ahead once this
    // job's source is taken. A failed job fills `failure`.
    JobOutcome processJob(const RenderJob& job, const GrowArray<GrowString>& batchSources,
                          RenderContext& context, LookAheads& ahead, PendingSave& saving,
                          RecycledMemory& spare, const GrowArray<RenderJob>& coming, JobFailure& failure);
    // Waits for the writes in flight, if any, oldest first; a failed one is
    // recorded.
    void finishPendingSave(PendingSave& saving);
    // Sets the error flag, keeps the failure and prints it on standard error.
    void recordFailure(const JobFailure& failure);
    bool currentJobCancelled() const;
    // Deletes the tiles of the jobs after the current one and removes them.
    // Called with the queue and status locks held.
    void dropWaitingJobs();

    std::shared_ptr<ImageLoaderSaver> loader;  // under loaderLock
    RenderContext* activeContext = nullptr;    // the worker's context, under statusLock
    int32_t nextJobId = 1;                     // under queueLock
    int32_t nextBatch = 1;                     // under queueLock
    std::atomic<int32_t> startedThreads{0};    // worker threads started and not yet returned
};

// Clones each tile with its state (clone, then copyFrom): the tiles of a job.
GrowArray<ImageMod*> cloneModChain(const GrowArray<ImageMod*>& chain);

// A chain rendered at its output geometry: the one road of saves, batch
// jobs and the render tool. First the picture the chain runs on is made in
// `picture` from the source: when the geometry changes the source (crop,
// angle, border or size) the source is drawn through it, and the picture
// carries the drawing's scale (the photo's pixels per picture pixel: 2 for a
// sizing tile at half the photo, 4 when a limit halves that again), as the
// view's picture does; when it leaves the source as it is, the
// picture is the source's own samples at scale 1, copied (into the
// picture's memory when that fits) or, when the caller gives up the source
// (`spentSource` is the source itself), moved. A spent source is released
// once the picture is drawn. `pictureReady`, when set, runs then. Last the
// chain renders over the picture in place (8-bit or float samples as the
// source holds them).
enum class OutputRender {
    kRendered,    // every row of every tile was rendered
    kNoPicture,   // no memory for the picture; the chain did not run
    kIncomplete,  // the render stopped (memory ran out or it was cancelled)
};
OutputRender renderAtOutputGeometry(RenderContext& context, const GrowArray<ImageMod*>& chain,
                                    const ImageBuffer& source, ImageBuffer* spentSource,
                                    const OutputGeometry& geometry, bool eightBit, ImageBuffer& picture,
                                    const std::function<void()>& pictureReady = nullptr);
