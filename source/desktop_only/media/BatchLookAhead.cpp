#include "BatchLookAhead.h"

#include <utility>

void SourceLookAhead::start(std::shared_ptr<ImageLoaderSaver> loader, DesktopImageLoaderSaver* desktop,
                            const RenderJob& job, QImage recycled) {
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

bool SourceLookAhead::take(int32_t jobId, DecodedSource* source) {
    if (!thread_.joinable()) return false;
    thread_.join();
    const bool usable = jobId_ == jobId && decoded_;
    if (usable) *source = std::move(source_);
    discard();
    return usable;
}

void SourceLookAhead::discard() {
    if (thread_.joinable()) thread_.join();
    source_ = DecodedSource();
    loader_.reset();
    jobId_ = 0;
    decoded_ = false;
}

bool LookAheads::take(int32_t jobId, DecodedSource* source) {
    for (SourceLookAhead& slot : slots_)
        if (slot.jobId() == jobId) return slot.take(jobId, source);
    return false;
}

void LookAheads::decodeOnly(const GrowArray<const RenderJob*>& coming, int32_t startable,
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
