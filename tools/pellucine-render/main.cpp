// pellucine-render: renders an image through a filter file, headless.
//
//   pellucine-render [--8bit] [--threads N] [--repeat N] [--time] FILTER.plf INPUT OUTPUT
//   pellucine-render --lut OUT.cube [--threads N] FILTER.plf INPUT
//
// The input is read through the program's image loader as the application
// opens a photo: float samples on the 0..255 scale (3 channels, or 4 when
// the picture has alpha), upright, its embedded colour profile converted to
// sRGB. The filter's chain is read with the full prototype list and rendered
// through a RenderContext without cache, as the save path renders: the
// output geometry first (the chain's crop, border and output size draw the
// input into a picture of the output size), then the chain. OUTPUT's
// extension picks the format: .png, .tif/.tiff, .jpg/.jpeg and .pli are
// written by the program's saver as the application saves, with 8 bits per
// sample (clamped to 0..255 and truncated, as every 8-bit store does) or,
// for a PNG or TIFF of an input of more than 8 bits per sample, 16 (rounded
// to the nearest level; not with --8bit, whose render holds 8 bits), the
// sRGB profile embedded and the input's metadata carried (JPEG and TIFF);
// .pfm is a
// portable float map of the rendered samples on their 0..255 scale,
// unclamped, RGB.
//
//   --8bit       render through the 8-bit pipeline on an 8-bit copy of the input
//   --threads N  run on N threads: the decoder's conversion, the render
//                and the encoder's
//   --repeat N   render N times, keep the last result
//   --time       print "render_ms: X" on standard error: the median time of
//                one render, without loading and saving
//   --lut F      instead of rendering an image, write the filter's chain as
//                a 33-point look-up table to F (".cube"); INPUT is not read
//                and may be "-"; the table's title is the filter file's name
//                without its extension
//
// Test hook: PELLUCINE_TEST_FAILING_ALLOCATIONS=N makes the first N
// allocations of pixel storage after loading fail, as an exhausted memory
// would (ImageBuffer::failAllocationsForTesting), so that the tests can
// check how a render that runs out of memory ends.
//
// An input whose embedded colour profile cannot be used (damaged, or of
// another colour model than its pixels) is rendered as if it had none, and
// a successful run then says so in one line on standard error.
//
// Exit status 0 on success. Any failure prints one line on standard error
// naming the file and the problem (the reason the loader, the saver or the
// filter reader gives), and exits with status 1; a failed write leaves no
// file behind, and a file-size limit fails the write like a full disk.
// Numbers are read and written in the C locale whatever the environment says.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "FrameResources.h"
#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/LutExport.h"
#include "desktop_only/media/MediaExtensions.h"
#include "desktop_only/media/MediaFileIo.h"
#include "desktop_only/media/OutputMemory.h"
#include "desktop_only/media/ProcessingState.h"
#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"
#include "foundation/TextNumbers.h"
#include "framework/FilterFile.h"
#include "framework/ImageLoaderSaver.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "framework/TilePrototypes.h"
#include "platform/ParallelFor.h"
#include "render/OutputGeometry.h"
#include "render/RenderContext.h"

namespace {

const char* const kToolName = "pellucine-render";
const char* const kUsage =
    "[--8bit] [--threads N] [--repeat N] [--time] FILTER.plf INPUT OUTPUT | --lut OUT.cube [--threads N] FILTER.plf "
    "INPUT";
constexpr long kMaxThreads = 1024;
constexpr long kMaxRepeat = 100000;

// The one line of a failure: "pellucine-render: FILE: PROBLEM", or
// "pellucine-render: PROBLEM" when no file is concerned. A file name's
// control characters are escaped so that the line stays one line (the
// reasons escape the names they quote themselves).
void reportFailure(const std::string& file, const std::string& problem) {
    if (file.empty())
        std::fprintf(stderr, "%s: %s\n", kToolName, problem.c_str());
    else
        std::fprintf(stderr, "%s: %s: %s\n", kToolName, printableName(GrowString(file.c_str())).c_str(),
                     problem.c_str());
    std::fflush(stderr);
}

// The loader's notes on the files it opened ("ignoring the unusable colour
// profile"), kept for the lines of a successful run: standard error is
// closed to everything but the tool's own lines while a file loads.
std::mutex gLoaderNotesLock;
std::vector<std::pair<std::string, std::string>> gLoaderNotes;  // file, note

void keepLoaderNote(const GrowString& path, const char* note) {
    std::lock_guard<std::mutex> guard(gLoaderNotesLock);
    gLoaderNotes.emplace_back(path.c_str(), note);
}

// One line for each note the loader made, in order.
void reportLoaderNotes() {
    std::lock_guard<std::mutex> guard(gLoaderNotesLock);
    for (const auto& note : gLoaderNotes) reportFailure(note.first, note.second);
    gLoaderNotes.clear();
}

// Keeps standard error closed to the codec libraries while it lives: some
// print their own remarks there (libpng's "Read Error"), which would break
// the promise of one line per failure.
class QuietStandardError {
public:
    QuietStandardError() {
        std::fflush(stderr);
        saved = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStandardError() {
        std::fflush(stderr);
        if (saved >= 0) {
            dup2(saved, STDERR_FILENO);
            close(saved);
        }
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int saved = -1;
};

struct Options {
    bool eightBit = false;
    int threads = 0;  // 0: the machine's default
    int repeat = 1;
    bool time = false;
    std::string lut;  // --lut: the table to write instead of rendering
    std::string filter;
    std::string input;
    std::string output;
};

// A whole number from 1 to `limit`, nothing else.
bool parseCount(const char* text, long limit, int& out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > limit) return false;
    out = static_cast<int>(value);
    return true;
}

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& problem) {
    std::vector<std::string> positional;
    bool optionsEnded = false;
    const size_t count = args.size();
    for (size_t i = 0; i < count; ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--8bit") {
            options.eightBit = true;
        } else if (arg == "--time") {
            options.time = true;
        } else if (arg == "--lut") {
            if (i + 1 >= count || args[i + 1].empty()) {
                problem = std::string("--lut needs the path of the table to write; usage: ") + kToolName + " " + kUsage;
                return false;
            }
            options.lut = args[++i];
        } else if (arg == "--threads" || arg == "--repeat") {
            const bool threads = arg == "--threads";
            const long limit = threads ? kMaxThreads : kMaxRepeat;
            if (i + 1 >= count || !parseCount(args[i + 1].c_str(), limit, threads ? options.threads : options.repeat)) {
                problem = arg + " needs a whole number from 1 to " + std::to_string(limit) + "; usage: " +
                          kToolName + " " + kUsage;
                return false;
            }
            ++i;
        } else {
            problem = "unknown option " + arg + "; usage: " + kToolName + " " + kUsage;
            return false;
        }
    }
    if (!options.lut.empty()) {
        if (options.eightBit || options.repeat != 1 || options.time) {
            problem = std::string("--lut renders no image: --8bit, --repeat and --time do not apply; usage: ") +
                      kToolName + " " + kUsage;
            return false;
        }
        if (positional.size() != 2) {
            problem = std::string("usage: ") + kToolName + " " + kUsage;
            return false;
        }
        options.filter = positional[0];
        options.input = positional[1];
        return true;
    }
    if (positional.size() != 3) {
        problem = std::string("usage: ") + kToolName + " " + kUsage;
        return false;
    }
    options.filter = positional[0];
    options.input = positional[1];
    options.output = positional[2];
    return true;
}

// ---- Output formats --------------------------------------------------------

enum class OutputFormat { kUnknown, kSaver, kPfm };

// .pfm is the tool's own; every other format is one the program's saver
// writes (the one table of MediaExtensions.h).
OutputFormat outputFormatOf(const std::string& path) {
    const QString suffix = QFileInfo(QFile::decodeName(path.c_str())).suffix().toLower();
    if (suffix == "pfm") return OutputFormat::kPfm;
    if (writeKindOfExtension(suffix) != ImageFileKind::Unknown) return OutputFormat::kSaver;
    return OutputFormat::kUnknown;
}

// The output extensions, for the line that refuses another one.
std::string outputExtensions() {
    std::string list;
    for (const GrowString& extension : supportedSaveExtensions()) list += std::string(".") + extension.c_str() + ", ";
    return list + ".pfm";
}

// ---- The filter ----------------------------------------------------------------


// Reads the chain; `note` receives a remark for a file of a newer release.
bool loadChain(const std::string& path, const GrowArray<ImageMod*>& prototypes, OwnedTiles& chain,
               std::string& problem, std::string& note) {
    uint32_t status = kFilterReadClean;
    GrowString reason;
    loadFilterFile(chain.list, GrowString(path.c_str()), prototypes, status, &reason);
    if (status == kFilterProblem) {
        problem = reason.isEmpty() ? std::string("holds tiles that could not be read") : std::string(reason.c_str());
        return false;
    }
    if (status == kFilterFromNewerRelease) note = "written by a newer release; rendered the tiles that could be read";
    return true;
}

// ---- Loading and saving ---------------------------------------------------------

// Reads an image file into float samples on the 0..255 scale through the
// program's image loader, as the application opens it: 3 channels, or 4 when
// the decoded picture carries alpha (a palette with transparent entries
// included); upright; an embedded colour profile converted to sRGB (the
// "ColorProfileImport" default); 16-bit sources keep their precision. The
// file's metadata is kept for the output.
bool loadInputImage(DesktopImageLoaderSaver& loader, const std::string& path, ImageBuffer& image,
                    std::unique_ptr<ImageMetadata>& metadata, std::string& problem) {
    const GrowString name(path.c_str());
    GrowString reason;
    bool loaded;
    {
        QuietStandardError quiet;
        loaded = loader.loadFloatKeepingAlpha(name, &image, true, &metadata, &reason);
    }
    if (!loaded || !image.data) {
        problem = reason.isEmpty() ? std::string("cannot read the image") : std::string(reason.c_str());
        return false;
    }
    return true;
}

// Portable float map: "PF", the size, scale -1.0 (little-endian), then the
// rows bottom to top, three 32-bit floats per pixel.
bool writePfm(ReplacingFile& file, const ImageBuffer& image, bool floatSamples, GrowString* reason) {
    const int32_t n = image.channelCount();
    char header[64];
    const int headerLength = cFormat(header, sizeof header, "PF\n%d %d\n-1.0\n", image.width, image.height);
    if (headerLength < 0 || !file.write(header, static_cast<size_t>(headerLength), reason)) return false;
    std::vector<char> row(static_cast<size_t>(image.width) * 12);
    for (int32_t y = image.height - 1; y >= 0; --y) {
        const int64_t first = static_cast<int64_t>(y) * image.width * n;
        char* out = row.data();
        for (int32_t x = 0; x < image.width; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                const int64_t i = first + static_cast<int64_t>(x) * n + std::min(c, n - 1);
                const float v = floatSamples ? image.floats()[i] : static_cast<float>(image.bytes()[i]);
                uint32_t bits;
                std::memcpy(&bits, &v, sizeof bits);
                for (int b = 0; b < 4; ++b) *out++ = static_cast<char>((bits >> (8 * b)) & 0xFF);
            }
        }
        if (!file.write(row.data(), row.size(), reason)) return false;
    }
    return true;
}

// The options the saver writes the output with, as a save of the
// application does: JPEG quality 90, the sRGB profile embedded (the
// "ColorProfileExport" default), and the input's depth kept (16 bits per
// sample into PNG and TIFF from a deeper input).
SaveOptions outputOptions(const ImageMetadata* metadata) {
    return optionsKeepingDepth(SaveOptions(), metadata);
}

// Writes the result beside the target under a temporary name and renames it
// over the target only when complete. The .png, .tif and .jpg files are
// written by the program's saver as a save of the application writes them
// (outputOptions): 8 bits per sample (float samples clamped and truncated)
// or, for a PNG or TIFF of a deeper input rendered in float, 16 (rounded),
// and the input's EXIF (turned upright: orientation 1), XMP and IPTC
// carried into JPEG and TIFF files.
bool saveOutput(DesktopImageLoaderSaver& saver, const std::string& path, OutputFormat format,
                const ImageBuffer& image, bool floatSamples, const ImageMetadata* metadata, std::string& problem) {
    GrowString reason;
    bool saved;
    if (format != OutputFormat::kPfm) {
        const GrowString name(path.c_str());
        const SaveOptions options = outputOptions(metadata);  // 16 bits only from float samples
        QuietStandardError quiet;
        saved = floatSamples ? saver.saveFloat(name, image, options, metadata, &reason)
                             : saver.save8(name, image, options, metadata, &reason);
    } else {
        // Beside the target under a temporary name, renamed over it when
        // complete; removed on failure.
        ReplacingFile file(QFile::decodeName(path.c_str()));
        saved = file.open(&reason) && writePfm(file, image, floatSamples, &reason) && file.commit(&reason);
    }
    if (!saved) problem = reason.isEmpty() ? std::string("cannot write the file") : std::string(reason.c_str());
    return saved;
}

// ---- The look-up table ------------------------------------------------------

bool hasCubeExtension(const std::string& path) {
    return QFileInfo(QFile::decodeName(path.c_str())).suffix().toLower() == "cube";
}

// Writes the chain as the 33-point table, titled with the filter's name.
int exportLut(const Options& options, const GrowArray<ImageMod*>& chain) {
    const QString title = QFileInfo(QFile::decodeName(options.filter.c_str())).completeBaseName();
    GrowString reason;
    if (!exportCubeLut(chain, GrowString(options.lut.c_str()), GrowString(title.toUtf8().constData()), &reason)) {
        reportFailure(options.lut, reason.isEmpty() ? std::string("cannot write the look-up table") : reason.c_str());
        return 1;
    }
    return 0;
}

// ---- Rendering --------------------------------------------------------------

double medianOf(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : 0.5 * (values[middle - 1] + values[middle]);
}

// Renders the chain `repeat` times through one context without cache, each
// time on a fresh picture made from the input at the output geometry, as a
// save makes it (a copy of the input when the geometry leaves it as it is;
// the last render then runs on the input itself, which is not needed
// afterwards). The result ends in `result`, empty when the picture could
// not be made. Returns the render times in milliseconds, the geometry's
// drawing included; `complete` tells whether every render covered the whole
// image (a run that ran out of memory did not).
std::vector<double> renderRepeatedly(const GrowArray<ImageMod*>& chain, ImageBuffer& input,
                                     const OutputGeometry& geometry, bool eightBit, int repeat, ImageBuffer& result,
                                     bool& complete) {
    complete = true;
    RenderContext context(0);
    std::vector<double> times;
    const bool identity = geometry.isIdentity();
    for (int r = 0; r < repeat; ++r) {
        auto start = std::chrono::steady_clock::now();
        ImageBuffer* spent = r == repeat - 1 ? &input : nullptr;
        auto restartClock = [&] {
            if (identity) start = std::chrono::steady_clock::now();  // the copy is no part of the render
        };
        const OutputRender outcome =
            renderAtOutputGeometry(context, chain, input, spent, geometry, eightBit, result, restartClock);
        const auto end = std::chrono::steady_clock::now();
        if (outcome == OutputRender::kNoPicture) {
            result.release();
            return times;
        }
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        if (outcome != OutputRender::kRendered) {
            complete = false;
            break;
        }
    }
    return times;
}

int run(const std::vector<std::string>& args, DesktopImageLoaderSaver& loader) {
    Options options;
    std::string problem;
    if (!parseOptions(args, options, problem)) {
        reportFailure("", problem);
        return 1;
    }
    const bool lut = !options.lut.empty();
    if (lut && !hasCubeExtension(options.lut)) {
        reportFailure(options.lut, "a look-up table is written as .cube");
        return 1;
    }
    const OutputFormat format = lut ? OutputFormat::kUnknown : outputFormatOf(options.output);
    if (!lut && format == OutputFormat::kUnknown) {
        reportFailure(options.output, "unknown output format (use " + outputExtensions() + ")");
        return 1;
    }

    OwnedTiles prototypes;
    buildPrototypeList(prototypes.list);
    OwnedTiles chain;
    std::string filterNote;
    if (!loadChain(options.filter, prototypes.list, chain, problem, filterNote)) {
        reportFailure(options.filter, problem);
        return 1;
    }

    // Every stage runs on the threads asked for: the loader and the saver
    // spread their conversions over the parallel loop as the render does.
    if (options.threads > 0) setParallelThreadCount(options.threads);
    if (lut) {
        const int status = exportLut(options, chain.list);
        if (status == 0 && !filterNote.empty()) reportFailure(options.filter, filterNote);
        return status;
    }

    ImageBuffer input;
    std::unique_ptr<ImageMetadata> metadata;
    if (!loadInputImage(loader, options.input, input, metadata, problem)) {
        reportFailure(options.input, problem);
        return 1;
    }
    if (options.eightBit) {
        ImageBuffer bytes;
        ImageBuffer::copy8FromFloat(bytes, input, true);
        input = std::move(bytes);
    }

    OutputGeometry geometry;
    GrowString geometryProblem;
    if (!computeOutputGeometry(chain.list, input.width, input.height, geometry, &geometryProblem)) {
        reportFailure(options.input, std::string("cannot make the output picture: ") + geometryProblem.c_str());
        return 1;
    }
    // Refused before any of it is drawn: a size that cannot be rendered in
    // this machine's memory would otherwise end in swapping or a late failure.
    // A PNG or TIFF of a deeper input rendered in float is counted at the
    // 16 bits a sample it gets.
    const ImageFileKind kind =
        writeKindOfExtension(QFileInfo(QFile::decodeName(options.output.c_str())).suffix().toLower());
    const bool sixteenBit = !options.eightBit && writesSixteenBits(kind, outputOptions(metadata.get()));
    GrowString tooLarge;
    if (!outputFitsInMemory(geometry.width, geometry.height, &tooLarge, sixteenBit)) {
        reportFailure(options.input, std::string("the picture is too large: ") + tooLarge.c_str());
        return 1;
    }
    // Nor is a size its file format cannot hold (a .pfm holds any).
    if (format == OutputFormat::kSaver &&
        !outputSizeFits(kind, geometry.width, geometry.height, &tooLarge, sixteenBit)) {
        reportFailure(options.output, std::string("the picture is too large for its file: ") + tooLarge.c_str());
        return 1;
    }

    if (const char* failing = std::getenv("PELLUCINE_TEST_FAILING_ALLOCATIONS")) {
        int count = 0;
        if (parseCount(failing, kMaxRepeat, count)) ImageBuffer::failAllocationsForTesting(0, count);
    }
    ImageBuffer result;
    bool complete = false;
    const std::vector<double> times =
        renderRepeatedly(chain.list, input, geometry, options.eightBit, options.repeat, result, complete);
    if (!result.data) {
        reportFailure(options.input, "the image is too large to render");
        return 1;
    }
    if (!complete) {
        reportFailure(options.input, "out of memory while rendering: the image could not be rendered completely");
        return 1;
    }
    if (options.time) cFprintf(stderr, "render_ms: %.3f\n", medianOf(times));

    if (!saveOutput(loader, options.output, format, result, !options.eightBit, metadata.get(), problem)) {
        reportFailure(options.output, problem);
        return 1;
    }
    reportLoaderNotes();
    if (!filterNote.empty()) reportFailure(options.filter, filterNote);
    return 0;
}

// Qt's own warnings (decoder remarks and the like) would break the promise
// of one line on standard error; the tool reports what matters itself.
void ignoreQtMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Past a file-size limit a write then fails with its error (EFBIG),
    // which the tool reports, instead of the signal ending it unannounced.
    std::signal(SIGXFSZ, SIG_IGN);
    qInstallMessageHandler(ignoreQtMessage);
    QCoreApplication application(argc, argv);
    registerFrameResources();
    // Qt took the number format from the environment; files and the timing
    // line use the C locale whatever LC_ALL says.
    std::setlocale(LC_NUMERIC, "C");
    // The program's loader, also for tiles that draw bitmaps.
    DesktopImageLoaderSaver loader;
    gImageLoaderSaver = &loader;
    setLoaderNoteHandler(keepLoaderNote);
    try {
        const int status = run(args, loader);
        gImageLoaderSaver = nullptr;
        return status;
    } catch (const std::bad_alloc&) {
        // The core reports no allocation failure of its containers; a file
        // asking for more memory than there is ends here instead of aborting.
        reportFailure("", "out of memory");
        return 1;
    }
}
