// pellucine_codec_timing: times the program's JPEG decoding and encoding in
// process, for bench/compare.sh, and any file's decoding beside Qt's reader.
//
//   pellucine_codec_timing [--threads N] [--repeat N] decode|decode-reused|decode-qt|encode PHOTO [WORK_FOLDER]
//
// decode:        the file read into a new float image on the 0..255 scale,
//                as the render tool and the program open a photo (the
//                loader of the desktop program, no colour profile applied):
//                libjpeg decodes band by band while the bands before are
//                converted into the float image, whose fresh memory the
//                system must clear and map;
// decode-reused: the same into memory used before, as the batch worker
//                reads its next photo (decode into the picture of the last
//                one, then finishLoad into the float storage of the last);
//                libvips's decode row writes into memory touched beforehand
//                too;
// decode-qt:     the decode, with the file decoded by Qt's image reader
//                (its plug-in for TIFF) and copied into the float image as
//                the loader copies its decoders' pictures: Qt's side of the
//                figure for a kind of file the loader decodes itself;
// encode:        that float image written as a JPEG file (quality 90) into
//                WORK_FOLDER through the program's saver, without metadata.
// Prints "OPERATION: MEDIAN_MS" on standard output.

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TimingSupport.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/PixelTransfer.h"
#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"
#include "framework/ImageLoaderSaver.h"
#include "platform/ParallelFor.h"

using timing::medianOf;
using timing::parseCount;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: pellucine_codec_timing [--threads N] [--repeat N] decode|decode-reused|decode-qt|encode PHOTO "
                 "[WORK_FOLDER]\n");
    return 2;
}

// The file decoded by Qt's reader from its bytes (read here too), as the
// loader decoded files it did not read itself: no automatic turning, the
// picture converted to RGBA of its depth unless Qt gave 32-bit RGB words,
// then copied into a new float image.
bool decodeWithQt(const char* path, ImageBuffer* image) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) return false;
    QByteArray bytes = file.readAll();
    QBuffer device(&bytes);
    if (!device.open(QIODevice::ReadOnly)) return false;
    QImageReader reader(&device);
    reader.setAutoTransform(false);
    QImage picture;
    if (!reader.read(&picture)) return false;
    const QImage::Format f = picture.format();
    const bool deep = f == QImage::Format_RGBX64 || f == QImage::Format_RGBA64 ||
                      f == QImage::Format_RGBA64_Premultiplied || f == QImage::Format_Grayscale16;
    const QImage::Format target = deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    if (f != target && f != QImage::Format_RGB32 && !convertInStrips(&picture, target)) return false;
    image->channels = 3;
    return copyToBuffer(picture, 1, 3, true, image);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    int threads = 0;
    int repeat = 5;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--threads" || arg == "--repeat") && i + 1 < argc) {
            if (!parseCount(argv[++i], arg == "--threads" ? threads : repeat)) return usage();
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() < 2 ||
        (positional[0] != "decode" && positional[0] != "decode-reused" && positional[0] != "decode-qt" &&
         positional[0] != "encode"))
        return usage();
    if (threads > 0) setParallelThreadCount(threads);
    const std::string operation = positional[0];
    const GrowString photoPath(positional[1].c_str());
    const std::string outPath = (positional.size() > 2 ? positional[2] : std::string("/tmp")) + "/codec_timing_out.jpg";

    DesktopImageLoaderSaver loader;
    gImageLoaderSaver = &loader;
    ImageBuffer image;
    image.channels = 3;
    if (!loader.loadFloat(photoPath, &image, false, nullptr)) {
        std::fprintf(stderr, "cannot read %s\n", photoPath.c_str());
        return 1;
    }
    std::vector<double> times;
    DecodedSource picture;  // decode-reused: the memory of the repeat before
    ImageBuffer reused;
    if (operation == "decode-reused" && (!loader.decode(photoPath, false, true, true, &picture) ||
                                         !loader.finishLoad(picture, 3, true, &reused, nullptr))) {
        std::fprintf(stderr, "cannot read %s\n", photoPath.c_str());
        return 1;
    }
    for (int r = 0; r < repeat; ++r) {
        const auto start = std::chrono::steady_clock::now();
        bool ok;
        if (operation == "decode") {
            ImageBuffer decoded;  // a new image each time, as when a photo is opened
            decoded.channels = 3;
            ok = loader.loadFloat(photoPath, &decoded, false, nullptr);
        } else if (operation == "decode-qt") {
            ImageBuffer decoded;
            ok = decodeWithQt(photoPath.c_str(), &decoded);
        } else if (operation == "decode-reused") {
            ok = loader.decode(photoPath, false, true, true, &picture) &&
                 loader.finishLoad(picture, 3, true, &reused, nullptr, nullptr, true);
        } else {
            SaveOptions options;
            options.quality = 90;
            options.embedProfile = false;
            ok = loader.saveFloat(GrowString(outPath.c_str()), image, options, nullptr);
        }
        const auto end = std::chrono::steady_clock::now();
        if (!ok) {
            std::fprintf(stderr, "%s failed\n", operation.c_str());
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::printf("%s: %.3f\n", operation.c_str(), medianOf(times));
    gImageLoaderSaver = nullptr;
    return 0;
}
