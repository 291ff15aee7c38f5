// The .cube export: the file's layout, the grid order, what a chain does to
// the table, numbers in the C locale and failures that leave no file.
#include "MediaTestHelpers.h"

#include "adjustments/GammaExposure.h"
#include "desktop_only/media/LutExport.h"
#include "foundation/CommaLocale.h"
#include "foundation/TextNumbers.h"
#include "support/TestTiles.h"

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>

using namespace mediatest;

namespace {

struct CubeFile {
    std::string titleLine;
    std::string sizeLine;
    std::vector<std::string> lines;  // the data lines as written
    std::vector<float> values;       // three per data line
    bool wellFormed = true;          // every data line holds exactly three numbers
};

CubeFile readCube(const std::string& path) {
    CubeFile cube;
    const std::vector<char> bytes = readFile(path);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::getline(in, cube.titleLine);
    std::getline(in, cube.sizeLine);
    std::string line;
    while (std::getline(in, line)) {
        cube.lines.push_back(line);
        const char* p = line.c_str();
        for (int c = 0; c < 3; ++c) {
            char* end = nullptr;
            const double v = cStrtod(p, &end);
            if (end == p) cube.wellFormed = false;
            cube.values.push_back(static_cast<float>(v));
            p = end;
        }
        if (*p != '\0') cube.wellFormed = false;
    }
    return cube;
}

// Tiles owned by a test.
struct Chain {
    GrowArray<ImageMod*> list;
    Chain() = default;
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;
    ~Chain() {
        for (ImageMod* mod : list) delete mod;
    }
};

constexpr int kPoints = kCubeLutSize * kCubeLutSize * kCubeLutSize;

// The grid index of component c of table line p (red fastest).
int gridIndex(int p, int c) {
    const int n = kCubeLutSize;
    return c == 0 ? p % n : (c == 1 ? (p / n) % n : p / (n * n));
}

}  // namespace

TEST(CubeLut, EmptyChainGivesTheIdentityInRedFastestOrder) {
    TempFolder folder;
    Chain chain;
    const std::string path = folder.file("identity.cube");
    ASSERT_TRUE(exportCubeLut(chain.list, gs(path), GrowString("Identity")));
    const CubeFile cube = readCube(path);
    EXPECT_EQ(cube.titleLine, "TITLE \"Identity\"");
    EXPECT_EQ(cube.sizeLine, "LUT_3D_SIZE 33");
    ASSERT_EQ(cube.lines.size(), 35937u);
    ASSERT_TRUE(cube.wellFormed);
    EXPECT_EQ(cube.lines[0], "0.000000 0.000000 0.000000");
    EXPECT_EQ(cube.lines[1], "0.031250 0.000000 0.000000");
    EXPECT_EQ(cube.lines[33], "0.000000 0.031250 0.000000");
    EXPECT_EQ(cube.lines[33 * 33], "0.000000 0.000000 0.031250");
    EXPECT_EQ(cube.lines.back(), "1.000000 1.000000 1.000000");
    for (int p = 0; p < kPoints; ++p)
        for (int c = 0; c < 3; ++c)
            ASSERT_NEAR(cube.values[p * 3 + c], gridIndex(p, c) / 32.0, 1e-6) << "line " << p << " component " << c;
}

TEST(CubeLut, ChainResultsAreWrittenOnTheZeroToOneScale) {
    // Adding 25.5 on the 0..255 scale lifts every entry by exactly 0.1; the
    // brightening Gamma (version 2, Amount 1.5) follows
    // 255 - 255 ((255 - x)/255)^(1/(2 - a)) per sample, each channel alone.
    struct Case {
        const char* what;
        std::function<ImageMod*()> make;
        std::function<double(double)> expected;  // of the grid value x on 0..255
    };
    const Case cases[] = {
        {"add constant", [] { return new AddConstantTile(25.5f); }, [](double x) { return (x + 25.5) / 255.0; }},
        {"gamma 1.5", [] { return new GammaMod(1.5f); },
         [](double x) { return (255.0 - 255.0 * std::pow((255.0 - x) / 255.0, 1.0 / (2.0 - 1.5))) / 255.0; }},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Chain chain;
        chain.list.append(c.make());
        const std::string path = folder.file("chain.cube");
        ASSERT_TRUE(exportCubeLut(chain.list, gs(path), GrowString("Look")));
        const CubeFile cube = readCube(path);
        ASSERT_EQ(cube.lines.size(), 35937u);
        ASSERT_TRUE(cube.wellFormed);
        for (int p = 0; p < kPoints; p += 7) {
            for (int ch = 0; ch < 3; ++ch) {
                const double x = gridIndex(p, ch) * 255.0 / 32.0;
                // Black is lifted by the version's floor of 0.05; compare
                // away from it.
                if (x == 0.0 && std::string(c.what) != "add constant") continue;
                ASSERT_NEAR(cube.values[p * 3 + ch], c.expected(x), 2e-6) << "line " << p << " channel " << ch;
            }
        }
    }
}

TEST(CubeLut, TitleStaysOneLineAndNumbersIgnoreTheLocale) {
    TempFolder folder;
    Chain chain;
    chain.list.append(new AddConstantTile(0.5f));
    const std::string cPath = folder.file("c.cube");
    ASSERT_TRUE(exportCubeLut(chain.list, gs(cPath), GrowString("Warm \"Fade\"\nLUT_3D_SIZE 2\r")));
    const CubeFile cube = readCube(cPath);
    EXPECT_EQ(cube.titleLine, "TITLE \"Warm 'Fade' LUT_3D_SIZE 2 \"");
    EXPECT_EQ(cube.sizeLine, "LUT_3D_SIZE 33");
    EXPECT_EQ(cube.lines.size(), 35937u);

    const std::string& locale = commaDecimalLocale();
    ASSERT_FALSE(locale.empty()) << "no comma-decimal locale on this machine (scripts/setup.sh makes de_DE.UTF-8)";
    const std::string commaPath = folder.file("comma.cube");
    {
        ProcessLocaleScope scope(locale);
        ASSERT_TRUE(scope.active());
        ASSERT_TRUE(exportCubeLut(chain.list, gs(commaPath), GrowString("Warm \"Fade\"\nLUT_3D_SIZE 2\r")));
    }
    EXPECT_EQ(readFile(commaPath), readFile(cPath));
}

TEST(CubeLut, NonFiniteResultsStayReadableNumbers) {
    TempFolder folder;
    Chain chain;
    chain.list.append(new rendertest::HookTile(
        [](ImageBuffer& image, const RenderArgs*, bool) {
            image.floats()[0] = std::numeric_limits<float>::quiet_NaN();
            image.floats()[1] = std::numeric_limits<float>::infinity();
            image.floats()[2] = -std::numeric_limits<float>::infinity();
            image.floats()[3] = 1e30f;  // finite, far outside: written as it is
        },
        false));
    const std::string path = folder.file("odd.cube");
    ASSERT_TRUE(exportCubeLut(chain.list, gs(path), GrowString("Odd")));
    const CubeFile cube = readCube(path);
    ASSERT_EQ(cube.lines.size(), 35937u);
    EXPECT_TRUE(cube.wellFormed);
    EXPECT_EQ(cube.lines[0], "0.000000 1.000000 0.000000");
    EXPECT_NEAR(cube.values[3], 1e30 / 255.0, 1e24);
}

TEST(CubeLut, FailuresWriteNothingAndKeepTheOldFile) {
    TempFolder folder;
    Chain chain;
    ASSERT_TRUE(std::filesystem::create_directory(folder.file("a folder.cube")));
    const struct {
        std::string path;
        const char* reason;
    } failures[] = {
        {"", "no file name given"},
        {folder.file("missing/x.cube"), "cannot write the file: the folder does not exist"},
        {folder.file("a folder.cube"), "is a folder, not a file"},
    };
    for (const auto& f : failures) {
        GrowString reason;
        EXPECT_FALSE(exportCubeLut(chain.list, gs(f.path), GrowString("x"), &reason));
        EXPECT_STREQ(reason.c_str(), f.reason) << f.path;
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("missing")));

    // Replacing a longer file leaves none of its old tail behind.
    const std::string path = folder.file("old.cube");
    writeFile(path, std::vector<char>(4 << 20, 'x'));
    ASSERT_TRUE(exportCubeLut(chain.list, gs(path), GrowString("New")));
    const CubeFile cube = readCube(path);
    EXPECT_EQ(cube.titleLine, "TITLE \"New\"");
    EXPECT_EQ(cube.lines.size(), 35937u);
    EXPECT_TRUE(cube.wellFormed);
    // No temporary file is left beside it.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 2);
}
