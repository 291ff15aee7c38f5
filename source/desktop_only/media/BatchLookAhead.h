#pragma once
// The batch worker's decodes ahead: the sources of the jobs after the
// current one, decoded on threads of their own while the worker loads,
// renders and saves the current job, so that no single decoder sets the
// pace.
//
// Only with the program's own loader, which keeps no state, so several
// threads may use it at once. As soon as a job's source is taken, the next
// job of the same batch has its source decoded, and so does the job after
// it when the working memory holds both decoded photos beside the current
// one's working set. A decoded photo is held as the decoder's samples (a
// quarter of its float image) until its job comes up; a decoded picture no
// longer needed is offered to the next decode (RecycledMemory.h).
//
// The worker chooses what may be decoded ahead: never across batches (a
// later batch may read what an earlier one writes) and never a source that
// a write in flight, the current job or a job before it writes. A decode
// whose job was cancelled, dropped by a stop or refused is thrown away
// unused: a decode writes nothing. The files written, their order and the
// progress are those of a worker without look-ahead.
//
// A decode holds a reference to the loader, so that a loader replaced
// meanwhile lives on until the decode ends. Both classes live on the
// worker's stack and wait for their decodes when they go: no thread
// outlives the worker's run and nothing decoded is kept after it.

#include <QImage>

#include <cstdint>
#include <memory>
#include <thread>

#include "DesktopImageLoaderSaver.h"
#include "ProcessingState.h"

// The decode of one job's source on a thread of its own. Lives on the
// worker's stack: its destructor waits for the decode, so no thread
// outlives the worker's run and nothing decoded is kept after it.
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
               QImage recycled);

    // The job whose source is being (or was) decoded; 0 when none.
    int32_t jobId() const { return thread_.joinable() ? jobId_ : 0; }

    // Waits for the look-ahead and hands over its decoded source when it
    // was the given job's and decoding succeeded; anything else is thrown
    // away and the job's source is to be loaded as usual.
    bool take(int32_t jobId, DecodedSource* source);

    // Waits for a decode in flight and frees what it decoded.
    void discard();

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
    bool take(int32_t jobId, DecodedSource* source);

    // Makes the slots decode the given coming jobs: a decode of a job that
    // is not among them (removed, dropped or passed) is thrown away, one
    // already running goes on, and the first `startable` of them that have
    // none start in free slots, the first start offered `recycled`.
    void decodeOnly(const GrowArray<const RenderJob*>& coming, int32_t startable,
                    const std::shared_ptr<ImageLoaderSaver>& loader, DesktopImageLoaderSaver* desktop,
                    QImage recycled);

private:
    SourceLookAhead slots_[kSlots];
};
