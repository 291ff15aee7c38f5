// Locks the exact output of every tile of the prototype list.
//
// Each tile renders one fixed image (3 and 4 channels, float and 8-bit) at
// its start values and at four other settings, for every version from 0 to
// one past its own; a 64-bit FNV-1a hash of the output samples is compared
// with the one stored in golden/tile-hashes.txt. Any change to a kernel that
// moves a single bit of any result fails here, which is what lets the
// kernels be reworked for speed with confidence.
//
// After an intended change of output, rewrite the file with
//   PELLUCINE_UPDATE_GOLDEN=1 test_adjustments --gtest_filter='GoldenRender*'
// and review the lines that moved.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "framework/TilePrototypes.h"
#include "support/TileProperties.h"

namespace {

const char* const kHashFile = PELLUCINE_SOURCE_DIR "/tests/adjustments/golden/tile-hashes.txt";

// ---- The test image ---------------------------------------------------------

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 6;

// Samples that formulas treat apart: the range ends and the guards of the
// power curves, the Contrast centre, values just outside the range, huge
// and tiny magnitudes, signed zero, infinities and NaN.
const float kSpecials[] = {0.0f,    255.0f,  0.05f,   254.95f, 90.0f,   127.5f,   0.5f,     254.5f,
                           1.0f,    254.0f,  -0.0f,   -1.0f,   256.0f,  -300.0f,  1000.0f,  1e30f,
                           -1e30f,  1e-40f,  NAN,     INFINITY, -INFINITY, 128.0f, 64.0f,   191.25f};
constexpr int32_t kSpecialCount = static_cast<int32_t>(sizeof kSpecials / sizeof kSpecials[0]);

uint32_t nextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// Rows 0-2 pseudo-random samples with fractions; row 3 greys from black to
// white; row 4 whole numbers mixing every byte value; row 5 the special
// samples in every position of a pixel, then more random ones.
ImageBuffer goldenImage(int32_t channels) {
    ImageBuffer image;
    image.allocateFloat(kWidth, kHeight, channels);
    uint32_t state = 12345u + static_cast<uint32_t>(channels);
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            float* px = image.floats() + (static_cast<int64_t>(y) * kWidth + x) * channels;
            for (int32_t c = 0; c < channels; ++c) {
                float v = static_cast<float>(nextRandom(state) % 25501u) * 0.01f;
                if (y == 3 && c < 3) v = static_cast<float>(x) * (255.0f / (kWidth - 1));
                if (y == 4) v = static_cast<float>((x * (1 + 6 * c) + 37 * c) % 256);
                if (y == 5 && x < 2 * kSpecialCount && (c == x % 4 || x >= kSpecialCount))
                    v = kSpecials[(x + c) % kSpecialCount];
                px[c] = v;
            }
        }
    }
    return image;
}

// ---- Settings ---------------------------------------------------------------

// Curves of the settings (points as "x y x y ..."): an S, a dip, a two-point
// lift of the ends, and a bump with a flat shoulder. A periodic curve (hue)
// takes the mean of its end heights, which would flatten the two-point one:
// it gets a three-point bump instead.
const char* const kCurves[] = {"0 .1 .3 .2 .7 .85 1 .95", "0 0 .4 .25 1 1", "0 .15 1 .85",
                               "0 .5 .2 .9 .5 .5 .8 .1 1 .5"};
const char* const kPeriodicTwoPointCurve = "0 .3 .4 .9 1 .3";
const float kColours[][4] = {
    {200.0f, 120.0f, 40.0f, 255.0f}, {30.0f, 90.0f, 220.0f, 128.0f}, {250.0f, 250.0f, 10.0f, 255.0f},
    {0.0f, 160.0f, 120.0f, 255.0f}};
// Positions of float vars within their limits; never the middle, which is
// the identity of the factor tiles.
const float kFractions[] = {0.3f, 0.85f, 0.1f, 0.6f};
constexpr int32_t kSettings = 4;

float lowLimit(const FloatValue& f) { return f.hasMinimum ? f.minimum : f.rangeLow; }
float highLimit(const FloatValue& f) { return f.hasMaximum ? f.maximum : f.rangeHigh; }

// Setting s (0..3): every float var at a fraction of its range (shifted per
// var, so neighbouring vars differ), every curve, colour and choice var at
// the setting's entry. Each write is followed by varChanged, as an editor
// does.
void applySetting(ImageMod& tile, int32_t s) {
    for (int32_t i = 0; i < tile.vars.count; ++i) {
        ModVar* v = tile.vars[i];
        if (!v || !v->value) continue;
        if (FloatValue* f = v->floatValue()) {
            const float low = lowLimit(*f);
            const float high = highLimit(*f);
            f->value = low + kFractions[(s + i) % kSettings] * (high - low);
        } else if (CurveValue* c = v->curveValue()) {
            GrowString text(c->curve.wrap && s == 2 ? kPeriodicTwoPointCurve : kCurves[s]);
            c->curve.setFromString(text);
        } else if (ColorValue* c = v->colorValue()) {
            const float* k = kColours[(s + i) % kSettings];
            c->red = k[0];
            c->green = k[1];
            c->blue = k[2];
            c->fourth = k[3];
        } else if (ChoiceValue* c = v->choiceValue()) {
            if (c->optionCount() > 0) c->selected = s % c->optionCount();
        } else {
            continue;
        }
        tile.varChanged(i);
    }
}

// ---- Hashing ----------------------------------------------------------------

struct Fnv {
    uint64_t h = 14695981039346656037ull;
    void add(const void* data, size_t size) {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            h ^= p[i];
            h *= 1099511628211ull;
        }
    }
    void add32(uint32_t v) { add(&v, sizeof v); }
};

// The size, the channel count and every sample. Every NaN hashes as one
// pattern: its payload depends on which operand the compiler puts first in
// an addition or product, which is no part of a tile's result.
uint64_t hashFloats(const ImageBuffer& image) {
    Fnv f;
    f.add32(static_cast<uint32_t>(image.width));
    f.add32(static_cast<uint32_t>(image.height));
    f.add32(static_cast<uint32_t>(image.channelCount()));
    const float* s = image.floats();
    for (int64_t i = 0; s && i < image.sampleCount(); ++i) {
        uint32_t bits;
        std::memcpy(&bits, s + i, sizeof bits);
        if (std::isnan(s[i])) bits = 0x7FC00000u;
        f.add32(bits);
    }
    return f.h;
}

uint64_t hashBytes(const ImageBuffer& image) {
    Fnv f;
    f.add32(static_cast<uint32_t>(image.width));
    f.add32(static_cast<uint32_t>(image.height));
    f.add32(static_cast<uint32_t>(image.channelCount()));
    if (image.data) f.add(image.data, static_cast<size_t>(image.sampleCount()));
    return f.h;
}

std::string hex(uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

// ---- Rendering ----------------------------------------------------------------

// One line's key: the tile's XML name and the version.
std::string keyOf(const ImageMod& tile, uint32_t version) {
    return std::string(tile.name.c_str()) + "\t" + std::to_string(version);
}

// The hashes of one tile at one version: for the start values and each
// setting, 3 then 4 channels, float then 8-bit.
std::string hashesOf(const ImageMod& prototype, uint32_t version, const ImageBuffer images[2],
                     const ImageBuffer bytes[2]) {
    std::string line;
    for (int32_t s = -1; s < kSettings; ++s) {
        const std::unique_ptr<ImageMod> tile(duplicateMod(prototype));
        tile->setVersion(version);
        if (s >= 0) applySetting(*tile, s);
        for (int32_t c = 0; c < 2; ++c) {
            line += " " + hex(hashFloats(tiletest::renderFloat(*tile, images[c])));
            line += " " + hex(hashBytes(tiletest::render8(*tile, bytes[c])));
        }
    }
    return line;
}

std::map<std::string, std::string> readStored() {
    std::map<std::string, std::string> stored;
    std::ifstream in(kHashFile);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t tab = line.find('\t');
        const size_t space = line.find(' ', tab == std::string::npos ? 0 : tab);
        if (tab == std::string::npos || space == std::string::npos) continue;
        stored[line.substr(0, space)] = line.substr(space);
    }
    return stored;
}

bool writeStored(const std::vector<std::pair<std::string, std::string>>& lines) {
    const std::string temporary = std::string(kHashFile) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "# Tile output hashes (FNV-1a 64) of GoldenRenderTest: tile<TAB>version, then for the start\n"
               "# values and settings 0..3: 3 channels float, 8-bit, 4 channels float, 8-bit.\n";
        for (const auto& line : lines) out << line.first << line.second << "\n";
        if (!out) return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, kHashFile, error);
    return !error;
}

}  // namespace

TEST(GoldenRender, EveryTileRendersItsStoredSamples) {
    const ImageBuffer images[2] = {goldenImage(3), goldenImage(4)};
    const ImageBuffer bytes[2] = {tiletest::bytesOf(images[0]), tiletest::bytesOf(images[1])};
    OwnedTiles prototypes;
    buildPrototypeList(prototypes.list);
    ASSERT_GT(prototypes.list.count, 0);

    std::vector<std::pair<std::string, std::string>> lines;
    for (ImageMod* prototype : prototypes.list) {
        // Versions 0 ("1 or less"), 1, 2, 3 and one past the tile's own
        // (an unknown version) cover every branch a version selects.
        const uint32_t last = prototype->version + 1 > 4 ? prototype->version + 1 : 4;
        for (uint32_t v = 0; v <= last; ++v)
            lines.emplace_back(keyOf(*prototype, v), hashesOf(*prototype, v, images, bytes));
    }

    const char* update = std::getenv("PELLUCINE_UPDATE_GOLDEN");
    if (update && std::strcmp(update, "1") == 0) {
        ASSERT_TRUE(writeStored(lines)) << kHashFile;
        return;
    }
    const std::map<std::string, std::string> stored = readStored();
    ASSERT_FALSE(stored.empty()) << "no hashes in " << kHashFile << "; run with PELLUCINE_UPDATE_GOLDEN=1";
    for (const auto& line : lines) {
        const auto found = stored.find(line.first);
        if (found == stored.end()) {
            ADD_FAILURE() << line.first << ": no stored hashes";
        } else if (found->second != line.second) {
            std::istringstream want(found->second);
            std::istringstream got(line.second);
            std::string w, g;
            int32_t i = 0;
            for (; want >> w && got >> g; ++i) {
                if (w == g) continue;
                // Setting -1 is the start values.
                ADD_FAILURE() << line.first << ": setting " << (i / 4 - 1) << ", " << (i % 4 < 2 ? 3 : 4)
                              << " channels, " << (i % 2 ? "8-bit" : "float") << " renders differently";
            }
            if (i == 0) ADD_FAILURE() << line.first << ": unreadable stored hashes";
        }
    }
}
