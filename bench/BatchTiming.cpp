// pellucine_batch_timing: times the batch worker over real photos, for
// bench/compare.sh.
//
//   pellucine_batch_timing [--threads N] FILTER.plf OUT_FOLDER PHOTO...
//
// Queues one job per photo on a ProcessingState, as the application's batch
// queues them (the filter's chain cloned for each job, the embedded profile
// converted, JPEG quality 90 with the sRGB profile embedded, the output
// OUT_FOLDER/<photo's name>), and waits until the worker is idle. Prints
// "batch_ms: X" (from queueing the batch to the worker ending) and
// "photos_per_s: Y" on standard output. Fails (status 1) when a job failed
// or an output is missing.

#include <QCoreApplication>
#include <QFileInfo>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TimingSupport.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/ProcessingState.h"
#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "framework/FilterFile.h"
#include "framework/ImageLoaderSaver.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "framework/TilePrototypes.h"
#include "platform/ParallelFor.h"

using timing::parseCount;

namespace {

int usage() {
    std::fprintf(stderr, "usage: pellucine_batch_timing [--threads N] FILTER.plf OUT_FOLDER PHOTO...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    int threads = 0;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--threads" && i + 1 < argc) {
            if (!parseCount(argv[++i], threads)) return usage();
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() < 3) return usage();
    if (threads > 0) setParallelThreadCount(threads);

    DesktopImageLoaderSaver tileLoader;  // for tiles that draw bitmaps
    gImageLoaderSaver = &tileLoader;
    OwnedTiles prototypes;
    buildPrototypeList(prototypes.list);
    OwnedTiles chain;
    uint32_t status = kFilterReadClean;
    loadFilterFile(chain.list, GrowString(positional[0].c_str()), prototypes.list, status, nullptr);
    if (status == kFilterProblem) {
        std::fprintf(stderr, "cannot read the filter %s\n", positional[0].c_str());
        return 1;
    }

    GrowArray<RenderJob> batch;
    std::vector<std::string> outputs;
    for (size_t i = 2; i < positional.size(); ++i) {
        RenderJob job;
        job.sourcePath = GrowString(positional[i].c_str());
        outputs.push_back(positional[1] + "/" + QFileInfo(QString::fromStdString(positional[i])).fileName().toStdString());
        job.outputPath = GrowString(outputs.back().c_str());
        job.mods = cloneModChain(chain.list);
        batch.append(job);
    }

    int32_t failed = 0;
    double ms = 0.0;
    {
        ProcessingState queue;
        queue.installLoader(std::make_unique<DesktopImageLoaderSaver>());
        const auto start = std::chrono::steady_clock::now();
        queue.addJobs(batch);
        while (queue.isBusy()) std::this_thread::sleep_for(std::chrono::microseconds(500));
        const auto end = std::chrono::steady_clock::now();
        ms = std::chrono::duration<double, std::milli>(end - start).count();
        failed = queue.hasFailed() ? 1 : 0;
    }
    for (const std::string& output : outputs)
        if (!QFileInfo::exists(QString::fromStdString(output))) failed = 1;
    gImageLoaderSaver = nullptr;
    if (failed) {
        std::fprintf(stderr, "a job of the batch failed\n");
        return 1;
    }
    std::printf("batch_ms: %.1f\nphotos_per_s: %.3f\n", ms, 1000.0 * static_cast<double>(outputs.size()) / ms);
    return 0;
}
