#include "BatchSaves.h"

#include <QByteArray>

#include <utility>

#include "FileIdentity.h"

void SaveInFlight::start(std::shared_ptr<ImageLoaderSaver> loader, DesktopImageLoaderSaver* desktop,
                         PreparedSave prepared, std::unique_ptr<ImageMetadata> metadata,
                         std::shared_future<void> before) {
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

bool SaveInFlight::finish(JobFailure* failure) {
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

int32_t PendingSave::count() const {
    int32_t n = 0;
    for (const SaveInFlight& slot : slots_) n += slot.inFlight() ? 1 : 0;
    return n;
}

bool PendingSave::writes(const GrowString& path) const {
    for (const SaveInFlight& slot : slots_)
        if (slot.inFlight() && sameFile(slot.target(), path)) return true;
    return false;
}

bool PendingSave::finishOldest(JobFailure* failure) {
    int32_t oldest = -1;
    for (int32_t i = 0; i < kSlots; ++i)
        if (slots_[i].inFlight() && (oldest < 0 || order_[i] < order_[oldest])) oldest = i;
    if (oldest < 0) return true;
    const bool saved = slots_[oldest].finish(failure);
    QImage stored = slots_[oldest].takeStored();
    if (!stored.isNull()) stored_ = std::move(stored);
    return saved;
}

void PendingSave::start(std::shared_ptr<ImageLoaderSaver> loader, DesktopImageLoaderSaver* desktop,
                        PreparedSave prepared, std::unique_ptr<ImageMetadata> metadata) {
    int32_t free = 0;
    while (free < kSlots - 1 && slots_[free].inFlight()) ++free;
    std::shared_future<void> before;
    if (slots_[latest_].inFlight()) before = slots_[latest_].written();
    slots_[free].start(std::move(loader), desktop, std::move(prepared), std::move(metadata), std::move(before));
    order_[free] = ++started_;
    latest_ = free;
}
