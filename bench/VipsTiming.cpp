// vips_timing: times libvips in process, for bench/compare.sh.
//
//   vips_timing [--threads N] [--repeat N] OPERATION PHOTO.jpg [WORK_FOLDER]
//   vips_timing [--threads N] [--repeat N] gamma-e2e|chain10-e2e PHOTO.jpg... [WORK_FOLDER]
//
// Prints "OPERATION: MEDIAN_MS" on standard output, the median over the
// repeats. libvips's operation cache is off, so every repeat computes.
// The file-to-file operations take several photos (the last argument is the
// work folder when it names a folder): each repeat then runs the pipeline
// once per photo, one after the other, as a program built on libvips would
// process a folder, and the time is that of all the photos.
//
// Render operations run memory to memory in float precision: the photo is
// decoded once, cast to float and kept in memory; each repeat builds the
// operation's pipeline on it and writes the result into a float buffer
// allocated (and touched) before the clock starts, so that neither the codec
// nor the operating system's page faults are timed. Our render tool's
// --time measures the same: a render in place on a float image in memory.
//   gamma       vips_gamma, exponent 1.5
//   saturation  vips_recomb with a saturation matrix (1.5 around the
//               Rec. 601 luma), the linear op closest to our Saturation
//   curve       a two-point tone curve through vips_maplut: the float
//               samples scaled to 16 bits (x 257, cast to ushort) index a
//               65536-entry float table (maplut needs an integer index)
//   blur        vips_gaussblur, sigma 16, precision float
//   chain10     the pipeline closest to our ten-tile chain (see README.md)
// Codec operations, alone:
//   decode      the JPEG file decoded into an 8-bit image in memory
//   encode      an 8-bit image in memory written as a JPEG file (quality
//               90, 4:2:0 chroma subsampling) into WORK_FOLDER
//   chain10-e2e decode, chain10, encode: libvips's own streaming pipeline
//               from file to file, as a program using libvips would run it
//   gamma-e2e   decode, gamma (exponent 1.5), encode: the same for the
//               light operation, the photo's 8-bit samples going through
//               vips_gamma as the command line's `vips gamma` runs it

#include <vips/vips8>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TimingSupport.h"

using vips::VImage;

using timing::medianOf;
using timing::parseCount;

namespace {

VImage matrix(int width, int height, std::vector<double> values) {
    return VImage::new_matrix(width, height, values.data(), static_cast<int>(values.size()));
}

// The Rec. 601 luma weights.
constexpr double kLumaR = 0.299, kLumaG = 0.587, kLumaB = 0.114;

// A saturation of s around the luma: out = L + s (in - L).
VImage saturationMatrix(double s) {
    std::vector<double> m(9);
    const double w[3] = {kLumaR, kLumaG, kLumaB};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m[r * 3 + c] = (1.0 - s) * w[c] + (r == c ? s : 0.0);
    return matrix(3, 3, m);
}

// A rotation of the hue by `degrees` about the grey axis.
VImage hueRotation(double degrees) {
    const double a = degrees * 3.14159265358979323846 / 180.0;
    const double c = std::cos(a), s = std::sin(a), k = 1.0 / 3.0, q = std::sqrt(k);
    std::vector<double> m = {c + (1 - c) * k,     k * (1 - c) - q * s, k * (1 - c) + q * s,
                             k * (1 - c) + q * s, c + k * (1 - c),     k * (1 - c) - q * s,
                             k * (1 - c) - q * s, k * (1 - c) + q * s, c + k * (1 - c)};
    return matrix(3, 3, m);
}

// A smooth two-point tone curve (through (0.25, 0.18) and (0.75, 0.82)) as
// a 65536-entry float table on the 0..255 scale.
// The image owns its samples: an image made over a vector's memory would
// point into freed memory once the vector goes (copy_memory of an image
// that is already in memory copies nothing).
VImage curveTable(double lift) {
    constexpr int kEntries = 65536;
    float* t = static_cast<float*>(g_malloc(kEntries * sizeof(float)));
    for (int i = 0; i < kEntries; ++i) {
        const double x = i / 65535.0;
        const double s = x * x * (3.0 - 2.0 * x);  // smoothstep: an S through the two points
        t[i] = static_cast<float>(255.0 * (lift + (1.0 - 2.0 * lift) * (0.72 * x + 0.28 * s)));
    }
    return VImage::new_from_memory_steal(t, kEntries * sizeof(float), kEntries, 1, 1, VIPS_FORMAT_FLOAT);
}

VImage throughCurve(const VImage& in, const VImage& table) {
    return in.linear(257.0, 0.0).cast(VIPS_FORMAT_USHORT).maplut(table);
}

// The chain: Exposure, Contrast, Saturation, Curves, Tone Curve, White
// Balance, Split Tone, Hue Shift, Color Balance, Color Mixer.
VImage chain10(const VImage& in, const VImage& curve, const VImage& tone) {
    VImage x = in.linear(1.15, 0.0);                                      // exposure
    x = x.linear(1.2, 110.0 * (1.0 - 1.2));                               // contrast around 110
    x = x.recomb(saturationMatrix(1.3));                                  // saturation
    x = throughCurve(x, curve);                                           // curves
    x = throughCurve(x, tone);                                            // tone curve
    x = x.linear({1.0, 0.96, 0.9}, {0.0, 0.0, 0.0});                      // white balance
    VImage luma = x.recomb(matrix(3, 1, {kLumaR, kLumaG, kLumaB}));       // split tone:
    VImage tint = luma.linear({1.0, 0.77, 0.02}, {0.0, 24.4, 101.2});     //   dark to light colour by luma
    x = x.linear(0.5, 0.0) + tint.linear(0.5, 0.0);                       //   half and half
    x = x.recomb(hueRotation(12.0));                                      // hue shift
    x = x.linear({1.0, 1.0, 1.0}, {10.0, -5.0, 8.0});                     // colour balance
    x = x.recomb(matrix(3, 3, {0.9, 0.1, 0.0, 0.05, 0.9, 0.05, 0.0, 0.1, 0.9}));  // colour mixer
    return x;
}

// Writes the image into a float (or 8-bit) buffer allocated beforehand.
struct Target {
    std::vector<unsigned char> bytes;
    VImage image;
    Target(int width, int height, int bands, VipsBandFormat format) {
        const size_t size = static_cast<size_t>(width) * height * bands * vips_format_sizeof(format);
        bytes.assign(size, 1);  // touched now, not while timed
        image = VImage::new_from_memory(bytes.data(), size, width, height, bands, format);
    }
};

template <class Body>
std::vector<double> timeRepeats(int repeat, Body body) {
    std::vector<double> times;
    for (int r = 0; r < repeat; ++r) {
        const auto start = std::chrono::steady_clock::now();
        body();
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    return times;
}

int usage() {
    std::fprintf(stderr,
                 "usage: vips_timing [--threads N] [--repeat N] "
                 "gamma|saturation|curve|blur|chain10|decode|encode|gamma-e2e|chain10-e2e PHOTO.jpg... [WORK_FOLDER]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (VIPS_INIT(argv[0])) return 1;
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
    if (positional.size() < 2) return usage();
    const std::string operation = positional[0];
    const std::string photoPath = positional[1];
    std::string work = "/tmp";
    std::vector<std::string> photos(positional.begin() + 1, positional.end());
    std::error_code error;
    if (photos.size() > 1 && std::filesystem::is_directory(photos.back(), error)) {
        work = photos.back();
        photos.pop_back();
    }
    if (threads > 0) vips_concurrency_set(threads);
    vips_cache_set_max(0);
    const auto jpegOptions = [] {
        return VImage::option()->set("Q", 90)->set("subsample_mode", VIPS_FOREIGN_SUBSAMPLE_ON);
    };

    // From file to file, once per photo.
    if (operation == "gamma-e2e" || operation == "chain10-e2e") {
        const VImage curve = curveTable(0.0), tone = curveTable(0.04);
        const bool gamma = operation == "gamma-e2e";
        std::vector<double> times = timeRepeats(repeat, [&] {
            for (size_t i = 0; i < photos.size(); ++i) {
                const std::string out = work + "/vips_timing_out" + std::to_string(i) + ".jpg";
                VImage in = VImage::new_from_file(photos[i].c_str(),
                                                  VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
                if (gamma)
                    in.gamma(VImage::option()->set("exponent", 1.5)).jpegsave(out.c_str(), jpegOptions());
                else
                    chain10(in.cast(VIPS_FORMAT_FLOAT), curve, tone).cast(VIPS_FORMAT_UCHAR).jpegsave(out.c_str(), jpegOptions());
            }
        });
        std::printf("%s: %.3f\n", operation.c_str(), medianOf(times));
        vips_shutdown();
        return 0;
    }

    VImage photo = VImage::new_from_file(photoPath.c_str(), VImage::option()->set("access", VIPS_ACCESS_RANDOM))
                       .copy_memory();
    const int width = photo.width(), height = photo.height(), bands = photo.bands();
    const std::string outPath = work + "/vips_timing_out.jpg";
    std::vector<double> times;

    if (operation == "decode") {
        Target target(width, height, bands, VIPS_FORMAT_UCHAR);
        times = timeRepeats(repeat, [&] {
            VImage::new_from_file(photoPath.c_str(), VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL))
                .write(target.image);
        });
    } else if (operation == "encode") {
        times = timeRepeats(repeat, [&] {
            photo.jpegsave(outPath.c_str(), VImage::option()->set("Q", 90)->set("subsample_mode", VIPS_FOREIGN_SUBSAMPLE_ON));
        });
    } else {
        const VImage floats = photo.cast(VIPS_FORMAT_FLOAT).copy_memory();
        const VImage curve = curveTable(0.0), tone = curveTable(0.04);
        VImage (*build)(const VImage&, const VImage&, const VImage&) = nullptr;
        if (operation == "gamma")
            build = [](const VImage& in, const VImage&, const VImage&) {
                return in.gamma(VImage::option()->set("exponent", 1.5));
            };
        else if (operation == "saturation")
            build = [](const VImage& in, const VImage&, const VImage&) { return in.recomb(saturationMatrix(1.5)); };
        else if (operation == "curve")
            build = [](const VImage& in, const VImage& c, const VImage&) { return throughCurve(in, c); };
        else if (operation == "blur")
            build = [](const VImage& in, const VImage&, const VImage&) {
                return in.gaussblur(16.0, VImage::option()->set("precision", VIPS_PRECISION_FLOAT));
            };
        else if (operation == "chain10")
            build = chain10;
        else
            return usage();
        const VImage sample = build(floats, curve, tone);
        Target target(sample.width(), sample.height(), sample.bands(), sample.format());
        times = timeRepeats(repeat, [&] { build(floats, curve, tone).write(target.image); });
    }
    std::printf("%s: %.3f\n", operation.c_str(), medianOf(times));
    vips_shutdown();
    return 0;
}
