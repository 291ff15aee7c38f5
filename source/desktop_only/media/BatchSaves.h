#pragma once
// The batch worker's saves in flight: each job's picture encoded and
// written on a thread of its own while the worker goes on with the next
// jobs.
//
// Only with the program's own loader, which keeps no state, so several
// threads may use it at once. libjpeg compresses one picture on one thread,
// the slowest step of a batch of photos, so two saves encode side by side
// when the working memory holds both stored pictures beside the current
// job's working set. Whichever encode ends first, each file is written
// after the one before it, in the order of the jobs. A save holds a
// reference to the loader, so that a loader replaced meanwhile lives on
// until the write ends.
//
// The worker collects every result: a failed write is reported when it
// ends (and sets the queue's error flag then); the run, and the busy flag,
// end only once its last file is written; a source that a write in flight
// replaces is read after it is written (PendingSave::writes). The stored
// picture of a finished write is kept for a later save's samples
// (RecycledMemory.h). Both classes live on the worker's stack and wait for
// their threads when they go.

#include <QImage>

#include <cstdint>
#include <future>
#include <memory>
#include <thread>

#include "DesktopImageLoaderSaver.h"
#include "ProcessingState.h"

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
               std::unique_ptr<ImageMetadata> metadata, std::shared_future<void> before);

    // Waits for the write in flight and frees what it held but the stored
    // picture it wrote, which takeStored hands over. False, with the file
    // and the reason in `failure` when given, when it failed; true when it
    // succeeded or nothing was in flight.
    bool finish(JobFailure* failure);

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

// The saves of a run in flight, at most kSlots at once, so that two
// pictures compress side by side while their files are still written in
// job order. Lives on the worker's stack: its slots wait for their threads
// when it goes.
class PendingSave {
public:
    static constexpr int32_t kSlots = 2;

    int32_t count() const;
    bool inFlight() const { return count() > 0; }
    // Whether a save in flight writes this file.
    bool writes(const GrowString& path) const;
    // Finishes the oldest save in flight (SaveInFlight::finish); its stored
    // picture is then kept for takeStored.
    bool finishOldest(JobFailure* failure);

    // Starts a save in a free slot (the caller made room), written after
    // the latest one in flight.
    void start(std::shared_ptr<ImageLoaderSaver> loader, DesktopImageLoaderSaver* desktop, PreparedSave prepared,
               std::unique_ptr<ImageMetadata> metadata);

    // The stored picture of the last save finished (null when none).
    QImage takeStored() { return std::move(stored_); }

private:
    SaveInFlight slots_[kSlots];
    int64_t order_[kSlots] = {};
    int64_t started_ = 0;
    int32_t latest_ = 0;
    QImage stored_;
};
