// End-to-end tests of pellucine-render: the built program is run on real
// files, its outputs and its one line of failure are checked.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <exiv2/exiv2.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "desktop_only/media/MediaTestHelpers.h"
#include "foundation/ImageBuffer.h"

namespace {

const QString kTool = QStringLiteral(PELLUCINE_RENDER_TOOL);
const QString kFlower = QStringLiteral(PELLUCINE_TESTDATA_DIR "/png/flower.png");
const QString kExampleFilter = QStringLiteral(PELLUCINE_SOURCE_DIR "/examples/gamma-exposure.plf");
// A chain that changes no sample: Exposure at its identity Amount.
const QByteArray kIdentityFilter = "<filter version=\"4\">\n  <mod name=\"Exposure\" version=\"1\" enabled=\"1\">\n"
                                   "    <var name=\"Amount\" type=\"float\">1.000000</var>\n  </mod>\n</filter>\n";

struct ToolRun {
    bool finished = false;  // ended by itself, not by a signal or the time limit
    int status = -1;
    QByteArray standardError;
};

ToolRun runTool(const QStringList& arguments, const QProcessEnvironment& environment =
                                                    QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(kTool, arguments);
    ToolRun run;
    if (!process.waitForStarted(30000)) return run;
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(300000);
    run.finished = ended && process.exitStatus() == QProcess::NormalExit;
    run.status = process.exitCode();
    run.standardError = process.readAllStandardError();
    return run;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A portable float map as the tool writes it: header and samples.
struct FloatMap {
    int width = 0;
    int height = 0;
    std::vector<float> samples;  // RGB, rows bottom to top as in the file

    // Sample c of pixel (x, y), y counted from the top.
    float at(int x, int y, int c) const {
        return samples[(static_cast<size_t>(height - 1 - y) * width + x) * 3 + c];
    }
};

bool readFloatMap(const QByteArray& bytes, FloatMap& map) {
    const QRegularExpression header(QStringLiteral("^PF\\n(\\d+) (\\d+)\\n-1\\.0\\n"));
    const QRegularExpressionMatch match = header.match(QString::fromLatin1(bytes.left(64)));
    if (!match.hasMatch()) return false;
    map.width = match.captured(1).toInt();
    map.height = match.captured(2).toInt();
    const size_t count = static_cast<size_t>(map.width) * map.height * 3;
    const int start = match.capturedLength(0);
    if (static_cast<size_t>(bytes.size() - start) != count * 4) return false;
    map.samples.resize(count);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData() + start);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t bits = static_cast<uint32_t>(p[4 * i]) | static_cast<uint32_t>(p[4 * i + 1]) << 8 |
                              static_cast<uint32_t>(p[4 * i + 2]) << 16 | static_cast<uint32_t>(p[4 * i + 3]) << 24;
        std::memcpy(&map.samples[i], &bits, 4);
    }
    return true;
}

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QString path(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }

    // A small 3-channel PNG, for the cases that need a valid but quick input.
    QString smallImage() {
        const QString file = path("small.png");
        QImage image(16, 8, QImage::Format_RGB888);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) image.setPixel(x, y, qRgb(x * 16, y * 32, 128));
        EXPECT_TRUE(image.save(file));
        return file;
    }

    // A 16 x 8 picture of distinct colours, to carry a profile.
    static QImage smallColourPicture() {
        QImage colour(16, 8, QImage::Format_RGB888);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) colour.setPixel(x, y, qRgb(40 + x * 10, 60 + y * 20, 200 - x * 8));
        return colour;
    }

    QTemporaryDir folder;
};

}  // namespace

TEST_F(RenderTool, ThreadCountsGiveBitIdenticalFloatMaps) {
    const ToolRun one = runTool({"--threads", "1", kExampleFilter, kFlower, path("one.pfm")});
    const ToolRun eight = runTool({"--threads", "8", kExampleFilter, kFlower, path("eight.pfm")});
    ASSERT_TRUE(one.finished && eight.finished);
    ASSERT_EQ(one.status, 0) << one.standardError.constData();
    ASSERT_EQ(eight.status, 0) << eight.standardError.constData();
    const QByteArray a = fileBytes(path("one.pfm"));
    FloatMap map;
    ASSERT_TRUE(readFloatMap(a, map));
    EXPECT_EQ(map.width, 2268);
    EXPECT_EQ(map.height, 1512);
    EXPECT_TRUE(a == fileBytes(path("eight.pfm")));
}

TEST_F(RenderTool, EightBitPipelineIsTheSameForEveryThreadCount) {
    const ToolRun one = runTool({"--8bit", "--threads", "1", kExampleFilter, kFlower, path("one.pfm")});
    const ToolRun eight = runTool({"--8bit", "--threads", "8", kExampleFilter, kFlower, path("eight.pfm")});
    ASSERT_EQ(one.status, 0) << one.standardError.constData();
    ASSERT_EQ(eight.status, 0) << eight.standardError.constData();
    EXPECT_TRUE(fileBytes(path("one.pfm")) == fileBytes(path("eight.pfm")));
    // The 8-bit result holds whole numbers only.
    FloatMap map;
    ASSERT_TRUE(readFloatMap(fileBytes(path("one.pfm")), map));
    for (size_t i = 0; i < map.samples.size(); i += 997)
        ASSERT_EQ(map.samples[i], static_cast<float>(static_cast<int>(map.samples[i])));
}

TEST_F(RenderTool, FloatMapHoldsTheSamplesRowsBottomToTop) {
    // An identity chain hands the input through: the map must hold the
    // photo's own bytes, first row last, red first.
    const QString identity = path("identity.plf");
    ASSERT_TRUE(writeFile(identity, kIdentityFilter));
    const ToolRun run = runTool({identity, kFlower, path("same.pfm")});
    ASSERT_EQ(run.status, 0) << run.standardError.constData();
    FloatMap map;
    ASSERT_TRUE(readFloatMap(fileBytes(path("same.pfm")), map));
    const QImage photo = QImage(kFlower).convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(map.width, photo.width());
    ASSERT_EQ(map.height, photo.height());
    for (int y = 0; y < photo.height(); y += 37) {
        for (int x = 0; x < photo.width(); x += 41) {
            const QRgb pixel = photo.pixel(x, y);
            ASSERT_EQ(map.at(x, y, 0), static_cast<float>(qRed(pixel))) << x << "," << y;
            ASSERT_EQ(map.at(x, y, 1), static_cast<float>(qGreen(pixel))) << x << "," << y;
            ASSERT_EQ(map.at(x, y, 2), static_cast<float>(qBlue(pixel))) << x << "," << y;
        }
    }
}

TEST_F(RenderTool, EightBitFilesHoldTheFloatSamplesTruncated) {
    ASSERT_EQ(runTool({kExampleFilter, kFlower, path("out.pfm")}).status, 0);
    FloatMap map;
    ASSERT_TRUE(readFloatMap(fileBytes(path("out.pfm")), map));
    for (const char* name : {"out.png", "out.tif", "out.tiff"}) {
        SCOPED_TRACE(name);
        const ToolRun run = runTool({kExampleFilter, kFlower, path(name)});
        ASSERT_EQ(run.status, 0) << run.standardError.constData();
        const QImage written = QImage(path(name)).convertToFormat(QImage::Format_RGB888);
        ASSERT_EQ(written.width(), map.width);
        ASSERT_EQ(written.height(), map.height);
        int64_t differing = 0;
        for (int y = 0; y < map.height; ++y) {
            const uchar* row = written.constScanLine(y);
            for (int x = 0; x < map.width; ++x)
                for (int c = 0; c < 3; ++c) differing += row[x * 3 + c] != storeByte(map.at(x, y, c));
        }
        EXPECT_EQ(differing, 0);
    }
    const ToolRun jpeg = runTool({kExampleFilter, kFlower, path("out.jpg")});
    ASSERT_EQ(jpeg.status, 0) << jpeg.standardError.constData();
    EXPECT_EQ(QImage(path("out.jpg")).size(), QSize(map.width, map.height));
}

TEST_F(RenderTool, AlphaIsKeptInPngAndLeftOutOfTheFloatMap) {
    const QString withAlpha = path("flower-alpha.png");
    ASSERT_TRUE(mediatest::writeFlowerWithAlpha(withAlpha.toStdString()));
    ASSERT_EQ(runTool({kExampleFilter, withAlpha, path("alpha.png")}).status, 0);
    EXPECT_TRUE(QImage(path("alpha.png")).hasAlphaChannel());
    ASSERT_EQ(runTool({kExampleFilter, withAlpha, path("alpha.pfm")}).status, 0);
    FloatMap map;
    EXPECT_TRUE(readFloatMap(fileBytes(path("alpha.pfm")), map));
}

namespace {

// Whether a file's embedded profile is sRGB, as Qt's reader sees it.
bool carriesSrgbProfile(const QString& path) {
    const QColorSpace space = QImage(path).colorSpace();
    return space.isValid() && space.primaries() == QColorSpace::Primaries::SRgb &&
           space.transferFunction() == QColorSpace::TransferFunction::SRgb;
}

// The EXIF value of `key` in a file, "<none>" when absent, "<unreadable>"
// when exiv2 cannot read the file.
std::string exifValue(const QString& path, const char* key) {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        const auto it = exif.findKey(Exiv2::ExifKey(key));
        return it == exif.end() ? std::string("<none>") : it->toString();
    } catch (...) {
        return "<unreadable>";
    }
}

// A 4 x 2 palette PNG (colour type 3) whose index 0 is a fully transparent
// red (where x + y is even) and index 1 an opaque blue; the transparency
// lives in a tRNS chunk.
bool writePalettePng(const QString& path) {
    QImage image(4, 2, QImage::Format_Indexed8);
    image.setColorTable(QVector<QRgb>{qRgba(255, 0, 0, 0), qRgba(0, 0, 255, 255)});
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) image.setPixel(x, y, static_cast<uint>((x + y) % 2));
    if (!image.save(path, "png")) return false;
    const QByteArray bytes = fileBytes(path);
    return bytes.size() > 26 && bytes[25] == 3 && bytes.contains("tRNS");
}

}  // namespace

TEST_F(RenderTool, ImagesAreWrittenByTheSaverWithTheSrgbProfile) {
    const QString image = smallImage();
    for (const char* name : {"out.png", "out.jpg", "out.tif"}) {
        SCOPED_TRACE(name);
        const ToolRun run = runTool({kExampleFilter, image, path(name)});
        ASSERT_EQ(run.status, 0) << run.standardError.constData();
        EXPECT_TRUE(carriesSrgbProfile(path(name)));
    }
}

TEST_F(RenderTool, InputMetadataReachesTheOutputUpright) {
    // The shared photo stored sideways (orientation 6), with a tag of our own.
    const QString source = path("sideways.jpg");
    ASSERT_TRUE(writeFile(source, fileBytes(QStringLiteral(PELLUCINE_TESTDATA_DIR "/jpeg/orientation-6.jpg"))));
    {
        Exiv2::Image::AutoPtr file = Exiv2::ImageFactory::open(source.toStdString());
        file->readMetadata();
        file->exifData()["Exif.Image.Artist"] = std::string("Render tool test");
        file->writeMetadata();
    }
    ASSERT_EQ(exifValue(source, "Exif.Image.Orientation"), "6");
    const QString identity = path("identity.plf");
    ASSERT_TRUE(writeFile(identity, kIdentityFilter));
    for (const char* name : {"upright.jpg", "upright.tif"}) {
        SCOPED_TRACE(name);
        const ToolRun run = runTool({identity, source, path(name)});
        ASSERT_EQ(run.status, 0) << run.standardError.constData();
        EXPECT_EQ(exifValue(path(name), "Exif.Image.Artist"), "Render tool test");
        EXPECT_EQ(exifValue(path(name), "Exif.Image.Orientation"), "1");
        EXPECT_EQ(exifValue(path(name), "Exif.Photo.PixelXDimension"), "50");
        EXPECT_EQ(exifValue(path(name), "Exif.Photo.PixelYDimension"), "70");
        // The pixels were turned once, by the loader; the file says upright.
        QImageReader reader(path(name));
        reader.setAutoTransform(true);
        EXPECT_EQ(reader.read().size(), QSize(50, 70));
    }
}

// The orientation is read one way: a SHORT or a LONG (or their signed kin)
// in either byte order turns the input, a type that is no integer leaves it
// as stored.
TEST_F(RenderTool, AnOrientationStoredAsShortOrLongTurnsTheInput) {
    const QString identity = path("identity.plf");
    ASSERT_TRUE(writeFile(identity, kIdentityFilter));
    QImage stored(24, 16, QImage::Format_RGB32);
    stored.fill(qRgb(30, 160, 90));
    const QByteArray plain = mediatest::jpegOf(stored);
    const struct {
        const char* what;
        bool little;
        uint16_t type;
        bool turned;
    } cases[] = {
        {"SHORT, big endian", false, 3, true},
        {"LONG, little endian", true, 4, true},
        {"LONG, big endian", false, 4, true},
        {"signed SHORT", true, 8, true},
        {"signed LONG, big endian", false, 9, true},
        {"UNDEFINED", true, 7, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString input = path("exif.jpg");
        const std::vector<uint8_t> exif = mediatest::exifSegment(c.little, 0x0112, c.type, 6);
        ASSERT_TRUE(writeFile(input, mediatest::withExifSegment(plain, exif)));
        const ToolRun run = runTool({identity, input, path("out.png")});
        ASSERT_EQ(run.status, 0) << run.standardError.constData();
        EXPECT_EQ(QImage(path("out.png")).size(), c.turned ? QSize(16, 24) : QSize(24, 16));
    }
}

// The camera file of the fault: a JPEG whose Orientation is the signed
// LONG 6 comes out of the tool turned, and its saved file says upright.
TEST_F(RenderTool, ASignedLongOrientationComesOutTurnedAndUpright) {
    const QString identity = path("identity.plf");
    ASSERT_TRUE(writeFile(identity, kIdentityFilter));
    // Six 8 x 8 blocks of distinct colours, 3 across and 2 down.
    const QRgb colours[2][3] = {{qRgb(230, 30, 30), qRgb(30, 200, 40), qRgb(40, 40, 220)},
                                {qRgb(240, 240, 60), qRgb(20, 20, 20), qRgb(200, 120, 230)}};
    QImage stored(24, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) stored.setPixel(x, y, colours[y / 8][x / 8]);
    const QString input = path("sideways.jpg");
    ASSERT_TRUE(writeFile(input, mediatest::withExifSegment(mediatest::jpegOf(stored, 100),
                                                            mediatest::exifSegment(true, 0x0112, 9, 6))));
    ASSERT_EQ(exifValue(input, "Exif.Image.Orientation"), "6");
    const QString output = path("upright.jpg");
    const ToolRun run = runTool({identity, input, output});
    ASSERT_EQ(run.status, 0) << run.standardError.constData();
    EXPECT_EQ(exifValue(output, "Exif.Image.Orientation"), "1");
    QImageReader reader(output);
    reader.setAutoTransform(false);  // the pixels as stored
    const QImage saved = reader.read();
    ASSERT_EQ(saved.size(), QSize(16, 24));
    // Turned clockwise: the stored block (column c, row r) lands at
    // column 1 - r, row c.
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QRgb got = saved.pixel((1 - r) * 8 + 4, c * 8 + 4);
            const QRgb want = colours[r][c];
            EXPECT_NEAR(qRed(got), qRed(want), 24) << "block " << c << "," << r;
            EXPECT_NEAR(qGreen(got), qGreen(want), 24) << "block " << c << "," << r;
            EXPECT_NEAR(qBlue(got), qBlue(want), 24) << "block " << c << "," << r;
        }
    }
}

TEST_F(RenderTool, EmbeddedProfileOfTheInputIsApplied) {
    // Mid grey 128 in linear light is 187.5 in sRGB; untagged it stays 128.
    const QString identity = path("identity.plf");
    ASSERT_TRUE(writeFile(identity, kIdentityFilter));
    for (bool tagged : {true, false}) {
        SCOPED_TRACE(tagged ? "linear profile" : "no profile");
        QImage grey(16, 8, QImage::Format_RGB888);
        grey.fill(QColor(128, 128, 128));
        if (tagged) grey.setColorSpace(QColorSpace(QColorSpace::SRgbLinear));
        const QString input = path(tagged ? "linear.png" : "plain.png");
        ASSERT_TRUE(grey.save(input, "png"));
        const ToolRun run = runTool({identity, input, path("grey.pfm")});
        ASSERT_EQ(run.status, 0) << run.standardError.constData();
        FloatMap map;
        ASSERT_TRUE(readFloatMap(fileBytes(path("grey.pfm")), map));
        for (float sample : map.samples) ASSERT_NEAR(sample, tagged ? 187.5f : 128.0f, 1.0f);
    }
}

// A profile of another colour model than the input's samples is ignored
// as an unusable one: rendered as the file without it, exit 0, one line.
TEST_F(RenderTool, AProfileOfAnotherColourModelIsIgnoredWithOneLine) {
    const QString identity = path("identity.plf");
    ASSERT_TRUE(writeFile(identity, kIdentityFilter));
    const QImage colour = smallColourPicture();
    const QImage grey = colour.convertToFormat(QImage::Format_Grayscale8);
    const struct {
        const char* name;
        const QImage& pixels;
        std::vector<uint8_t> profile;
    } cases[] = {
        {"grey-on-colour.jpg", colour, mediatest::linearGreyProfile()},
        {"colour-on-grey.png", grey, mediatest::linearRgbProfile()},
        {"cmyk-on-colour.tif", colour, mediatest::cmykProfile()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString plain = path("plain.") + QFileInfo(QString::fromLatin1(c.name)).suffix();
        const QString tagged = path(c.name);
        ASSERT_TRUE(c.pixels.save(plain, nullptr, 100));
        ASSERT_TRUE(c.pixels.save(tagged, nullptr, 100));
        ASSERT_TRUE(mediatest::embedProfile(tagged.toStdString(), c.profile));
        ASSERT_EQ(runTool({identity, plain, path("plain.pfm")}).status, 0);
        const ToolRun run = runTool({identity, tagged, path("tagged.pfm")});
        ASSERT_EQ(run.status, 0) << run.standardError.constData();
        EXPECT_EQ(run.standardError,
                  "pellucine-render: " + tagged.toUtf8() + ": ignoring the unusable colour profile\n");
        EXPECT_TRUE(fileBytes(path("plain.pfm")) == fileBytes(path("tagged.pfm")));
    }
}

TEST_F(RenderTool, TransparentPaletteEntriesKeepTheirAlpha) {
    const QString palette = path("palette.png");
    ASSERT_TRUE(writePalettePng(palette));
    const QString identity = path("identity.plf");
    ASSERT_TRUE(writeFile(identity, kIdentityFilter));
    const ToolRun run = runTool({identity, palette, path("out.png")});
    ASSERT_EQ(run.status, 0) << run.standardError.constData();
    const QImage out = QImage(path("out.png"));
    ASSERT_TRUE(out.hasAlphaChannel());
    const QImage rgba = out.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            const bool transparent = (x + y) % 2 == 0;
            const uchar* p = rgba.constScanLine(y) + x * 4;
            EXPECT_EQ(p[3], transparent ? 0 : 255) << x << "," << y;
            EXPECT_EQ(p[2], transparent ? 0 : 255) << x << "," << y;
        }
    }
}

TEST_F(RenderTool, RepeatKeepsTheResultAndTimePrintsOneLine) {
    const QString image = smallImage();
    ASSERT_EQ(runTool({kExampleFilter, image, path("once.pfm")}).status, 0);
    const ToolRun run = runTool({"--repeat", "3", "--time", kExampleFilter, image, path("thrice.pfm")});
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^render_ms: \\d+\\.\\d+\\n$"))
                    .match(QString::fromUtf8(run.standardError))
                    .hasMatch())
        << run.standardError.constData();
    EXPECT_TRUE(fileBytes(path("once.pfm")) == fileBytes(path("thrice.pfm")));
}

TEST_F(RenderTool, NumbersAreReadAndWrittenInTheCLocale) {
    const QString image = smallImage();
    ASSERT_EQ(runTool({kExampleFilter, image, path("c.pfm")}).status, 0);
    QProcessEnvironment german = QProcessEnvironment::systemEnvironment();
    german.insert("LC_ALL", "de_DE.UTF-8");
    const ToolRun run = runTool({"--time", kExampleFilter, image, path("de.pfm")}, german);
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(run.standardError.contains('.')) << run.standardError.constData();
    EXPECT_FALSE(run.standardError.contains(',')) << run.standardError.constData();
    EXPECT_TRUE(fileBytes(path("c.pfm")) == fileBytes(path("de.pfm")));
}

namespace {

// The data lines of a .cube file as numbers, three per line; empty when a
// line does not hold exactly three numbers.
std::vector<double> cubeValues(const QByteArray& bytes, QByteArray& title, QByteArray& size) {
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 3 || !lines.last().isEmpty()) return {};
    lines.removeLast();
    title = lines[0];
    size = lines[1];
    std::vector<double> values;
    for (int i = 2; i < lines.size(); ++i) {
        const QList<QByteArray> numbers = lines[i].split(' ');
        if (numbers.size() != 3) return {};
        for (const QByteArray& number : numbers) {
            bool ok = false;
            values.push_back(number.toDouble(&ok));
            if (!ok) return {};
        }
    }
    return values;
}

}  // namespace

TEST_F(RenderTool, LutOfAnIdentityFilterIsTheGrid) {
    const QString identity = path("identity.plf");
    ASSERT_TRUE(writeFile(identity, kIdentityFilter));
    // INPUT is not read: "-" and a missing file both do.
    for (const QString& input : {QStringLiteral("-"), path("missing.png")}) {
        const ToolRun run = runTool({"--lut", path("identity.cube"), identity, input});
        ASSERT_TRUE(run.finished);
        ASSERT_EQ(run.status, 0) << run.standardError.constData();
        EXPECT_TRUE(run.standardError.isEmpty()) << run.standardError.constData();
    }
    QByteArray title, size;
    const std::vector<double> values = cubeValues(fileBytes(path("identity.cube")), title, size);
    EXPECT_EQ(title, QByteArray("TITLE \"identity\""));
    EXPECT_EQ(size, QByteArray("LUT_3D_SIZE 33"));
    ASSERT_EQ(values.size(), 35937u * 3);
    for (size_t p = 0; p < 35937; ++p) {
        const size_t grid[3] = {p % 33, (p / 33) % 33, p / (33 * 33)};
        for (int c = 0; c < 3; ++c) ASSERT_NEAR(values[p * 3 + c], grid[c] / 32.0, 1e-6) << p;
    }
}

TEST_F(RenderTool, LutAgreesWithTheRenderedImage) {
    // The eight corners of the cube are whole 8-bit colours: rendered as an
    // image they must give the table's entries.
    const QString corners = path("corners.png");
    QImage image(8, 1, QImage::Format_RGB888);
    for (int i = 0; i < 8; ++i) image.setPixel(i, 0, qRgb(i & 1 ? 255 : 0, i & 2 ? 255 : 0, i & 4 ? 255 : 0));
    ASSERT_TRUE(image.save(corners));
    ASSERT_EQ(runTool({"--threads", "3", "--lut", path("look.cube"), kExampleFilter, "-"}).status, 0);
    ASSERT_EQ(runTool({kExampleFilter, corners, path("corners.pfm")}).status, 0);
    QByteArray title, size;
    const std::vector<double> values = cubeValues(fileBytes(path("look.cube")), title, size);
    EXPECT_EQ(title, QByteArray("TITLE \"gamma-exposure\""));
    ASSERT_EQ(values.size(), 35937u * 3);
    FloatMap map;
    ASSERT_TRUE(readFloatMap(fileBytes(path("corners.pfm")), map));
    for (int i = 0; i < 8; ++i) {
        const size_t line = (i & 1 ? 32 : 0) + (i & 2 ? 32 * 33 : 0) + (i & 4 ? 32 * 33 * 33 : 0);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(values[line * 3 + c], map.at(i, 0, c) / 255.0, 1e-6) << "corner " << i << " channel " << c;
    }
    // The filter does change colours.
    double largestChange = 0.0;
    for (size_t p = 0; p < 35937; ++p)
        largestChange = std::max(largestChange, std::abs(values[p * 3] - static_cast<double>(p % 33) / 32.0));
    EXPECT_GT(largestChange, 0.02);
}

TEST_F(RenderTool, FailuresExitWithOneLineNamingTheFile) {
    const QString image = smallImage();
    const QString malformed = path("malformed.plf");
    ASSERT_TRUE(writeFile(malformed, "this is <not a filter"));
    const QString unknownTile = path("unknown.plf");
    ASSERT_TRUE(writeFile(unknownTile, "<filter version=\"4\">\n  <mod name=\"No Such Tile\" version=\"1\" "
                                       "enabled=\"1\">\n  </mod>\n</filter>\n"));
    const QString truncated = path("truncated.png");
    ASSERT_TRUE(writeFile(truncated, fileBytes(kFlower).left(4000)));
    const QString cutFilter = path("cut.plf");  // ends inside a tag
    ASSERT_TRUE(writeFile(cutFilter, kIdentityFilter.left(kIdentityFilter.indexOf("type=") + 8)));
    const QString folderOutput = path("folder.png");
    ASSERT_TRUE(QDir().mkpath(folderOutput));
    const QString misnamed = path("really-a-png.jpg");
    ASSERT_TRUE(writeFile(misnamed, fileBytes(image)));

    struct Case {
        const char* what;
        QStringList arguments;
        QString named;  // the file the line must name
    };
    const QString out = path("out.pfm");
    const Case cases[] = {
        {"missing input", {kExampleFilter, path("missing.png"), out}, path("missing.png")},
        {"truncated input", {kExampleFilter, truncated, out}, truncated},
        {"input is a folder", {kExampleFilter, folder.path(), out}, folder.path()},
        {"input of another kind than its extension", {kExampleFilter, misnamed, out}, misnamed},
        {"missing filter", {path("missing.plf"), image, out}, path("missing.plf")},
        {"malformed filter", {malformed, image, out}, malformed},
        {"unknown tile name", {unknownTile, image, out}, unknownTile},
        {"filter cut short", {cutFilter, image, out}, cutFilter},
        {"lut of a filter cut short", {"--lut", path("x.cube"), cutFilter, "-"}, cutFilter},
        {"unwritable output", {kExampleFilter, image, path("no/such/folder/out.png")}, path("no/such/folder/out.png")},
        {"output is a folder", {kExampleFilter, image, folderOutput}, folderOutput},
        {"unknown output format", {kExampleFilter, image, path("out.bmp")}, path("out.bmp")},
        {"zero threads", {"--threads", "0", kExampleFilter, image, out}, "--threads"},
        {"repeat without a number", {kExampleFilter, image, out, "--repeat"}, "--repeat"},
        {"too few arguments", {kExampleFilter, image}, "usage"},
        {"lut into a missing folder", {"--lut", path("no/such/folder/x.cube"), kExampleFilter, "-"},
         path("no/such/folder/x.cube")},
        {"lut onto a folder", {"--lut", folderOutput, kExampleFilter, "-"}, folderOutput},
        {"lut of another kind", {"--lut", path("x.txt"), kExampleFilter, "-"}, path("x.txt")},
        {"lut of a missing filter", {"--lut", path("x.cube"), path("missing.plf"), "-"}, path("missing.plf")},
        {"lut of an unknown tile", {"--lut", path("x.cube"), unknownTile, "-"}, unknownTile},
        {"lut without a path", {kExampleFilter, "-", "--lut"}, "--lut"},
        {"lut with an output image", {"--lut", path("x.cube"), kExampleFilter, image, out}, "usage"},
        {"lut with --8bit", {"--8bit", "--lut", path("x.cube"), kExampleFilter, "-"}, "--8bit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun run = runTool(c.arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.constData();
        EXPECT_TRUE(run.standardError.endsWith('\n'));
        EXPECT_TRUE(run.standardError.contains(c.named.toUtf8())) << run.standardError.constData();
        EXPECT_FALSE(QFile::exists(out));
        EXPECT_FALSE(QFile::exists(path("x.cube")));
    }
    // The misnamed file is told apart from a damaged one.
    EXPECT_TRUE(runTool({kExampleFilter, misnamed, out}).standardError.contains("extension"));
    EXPECT_TRUE(runTool({cutFilter, image, out}).standardError.endsWith(": is cut short: it ends inside a tag\n"));
}

// A file listing a border before a colour tile renders as the chain in its
// order (the border last), the same as the file in that order: the band
// keeps the border's own grey instead of taking the exposure.
TEST_F(RenderTool, AFileInAnotherOrderRendersAsTheOrderedChain) {
    const QString image = smallImage();
    const QByteArray border = "  <mod name=\"Custom Straight\" version=\"1\" enabled=\"1\">\n"
                              "    <var name=\"Thickness\" type=\"float\">20</var>\n"
                              "    <var name=\"Color\" type=\"color\">100 100 100 255</var>\n  </mod>\n";
    const QByteArray exposure = "  <mod name=\"Exposure\" version=\"1\" enabled=\"1\">\n"
                                "    <var name=\"Amount\" type=\"float\">1.5</var>\n  </mod>\n";
    const QString borderFirst = path("border-first.plf");
    const QString ordered = path("ordered.plf");
    ASSERT_TRUE(writeFile(borderFirst, "<filter version=\"4\">\n" + border + exposure + "</filter>\n"));
    ASSERT_TRUE(writeFile(ordered, "<filter version=\"4\">\n" + exposure + border + "</filter>\n"));
    const ToolRun first = runTool({borderFirst, image, path("first.pfm")});
    const ToolRun second = runTool({ordered, image, path("ordered.pfm")});
    ASSERT_EQ(first.status, 0) << first.standardError.constData();
    ASSERT_EQ(second.status, 0) << second.standardError.constData();
    const QByteArray bytes = fileBytes(path("first.pfm"));
    EXPECT_TRUE(bytes == fileBytes(path("ordered.pfm")));
    FloatMap map;
    ASSERT_TRUE(readFloatMap(bytes, map));
    EXPECT_EQ(map.at(0, 0, 0), 100.0f);
}

TEST_F(RenderTool, HostileFilterFilesNeverCrashIt) {
    const QString image = smallImage();
    std::string deep = "<filter version=\"4\">";
    for (int i = 0; i < 200; ++i) deep += "<submod name=\"S\">";
    deep += "<mod name=\"Exposure\"/>";
    for (int i = 0; i < 200; ++i) deep += "</submod><mod name=\"S\"/>";
    deep += "</filter>";
    const std::string texts[] = {
        "",
        "<filter version=\"99999999999999999999\"><mod name=\"Gamma\" version=\"-7\"/></filter>",
        "<filter version=\"4\"><mod name=\"Gamma\" version=\"1\"><var name=\"Amount\" type=\"float\">nan</var></mod>"
        "<mod name=\"Exposure\"><var name=\"Amount\" type=\"float\">1e999</var></mod></filter>",
        "<filter version=\"4\"><mod name=\"Exposure\"><var name=\"Amount\" type=\"curve\">0 0 1 1 </var></mod>"
        "<mod name=\"Gamma\"><var name=\"Amount\" type=\"float\">-5</var></mod></filter>",
        "<filter version=\"4\"><mod name=\"Gamma\" version=\"4294967295\" enabled=\"x\"></mod></filter>",
        deep,
    };
    int index = 0;
    for (const std::string& text : texts) {
        SCOPED_TRACE(testing::Message() << "filter " << index);
        const QString filter = path(("hostile" + std::to_string(index++) + ".plf").c_str());
        ASSERT_TRUE(writeFile(filter, QByteArray::fromStdString(text)));
        const ToolRun run = runTool({filter, image, path("out.png")});
        ASSERT_TRUE(run.finished);
        EXPECT_TRUE(run.status == 0 || run.status == 1);
        if (run.status == 1) {
            EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.constData();
        }
    }
}

namespace {

// A render whose scratch bands cannot be allocated is a failure: exit 1,
// one line, no output file, for the float and the 8-bit pipeline.
TEST_F(RenderTool, ARenderThatRunsOutOfMemoryFails) {
    const QString blur = QStringLiteral(PELLUCINE_SOURCE_DIR "/bench/filters/blur16.plf");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELLUCINE_TEST_FAILING_ALLOCATIONS"), QStringLiteral("100000"));
    for (const QStringList& options : {QStringList(), QStringList{"--8bit"}}) {
        SCOPED_TRACE(options.join(' ').toStdString());
        const QString out = path("starved.png");
        const ToolRun run = runTool(options + QStringList{"--threads", "4", blur, smallImage(), out}, environment);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.constData();
        EXPECT_TRUE(run.standardError.contains("out of memory")) << run.standardError.constData();
        EXPECT_FALSE(QFile::exists(out));
    }
    EXPECT_EQ(runTool({"--threads", "4", blur, smallImage(), path("fed.png")}).status, 0);
}

}  // namespace

namespace {

// The tool run under resource limits set by prlimit (util-linux), which
// leaves the signal dispositions alone: the tool's own handling is tested.
ToolRun runLimited(const QString& limit, const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("/usr/bin/prlimit"), QStringList{limit, kTool} + arguments);
    ToolRun run;
    if (!process.waitForStarted(30000)) return run;
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(120000);
    run.finished = ended && process.exitStatus() == QProcess::NormalExit;
    run.status = process.exitCode();
    run.standardError = process.readAllStandardError();
    return run;
}

// The tool's exit status and its own peaks, in kilobytes: the address
// space it mapped (VmPeak) and the memory it touched (VmHWM). The tool runs
// traced, stopped once at its exit while its memory is still its own, and
// the figures are read from /proc there (a reaped child's rusage would count
// the test process's own peak too, which the child shares until it runs the
// tool). Its standard error is left unread.
struct MeasuredRun {
    int status = -1;
    long mappedKilobytes = -1;
    long touchedKilobytes = -1;
};

long procStatusKilobytes(pid_t pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field)) return line.mid(int(std::strlen(field))).simplified().split(' ').value(0).toLong();
    return -1;
}

MeasuredRun runMeasured(const QStringList& arguments) {
    std::vector<std::string> words{kTool.toStdString()};
    for (const QString& argument : arguments) words.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    MeasuredRun run;
    const pid_t child = fork();
    if (child < 0) return run;
    if (child == 0) {  // async-signal-safe calls only, up to the exec
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDERR_FILENO);
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0) execv(argv[0], argv.data());
        _exit(127);
    }
    // Stopped after its exec: it is to stop again at its exit; signals on
    // the way are handed on.
    int status = 0;
    bool traced = waitpid(child, &status, 0) == child && WIFSTOPPED(status) &&
                  ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL) == 0;
    long signal = 0;
    while (traced && ptrace(PTRACE_CONT, child, nullptr, signal) == 0 && waitpid(child, &status, 0) == child &&
           WIFSTOPPED(status)) {
        signal = 0;
        if (status >> 8 == (SIGTRAP | PTRACE_EVENT_EXIT << 8)) {
            run.mappedKilobytes = procStatusKilobytes(child, "VmPeak:");
            run.touchedKilobytes = procStatusKilobytes(child, "VmHWM:");
        } else {
            signal = WSTOPSIG(status);
        }
    }
    if (!WIFEXITED(status) && !WIFSIGNALED(status)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        traced = false;
    }
    if (traced && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

// Hostile inputs found by fuzzing: each ends in one line and exit 1, never
// blocks, never reads without end, and names the problem.
TEST_F(RenderTool, HostileInputsEndInOneLine) {
    const QString image = smallImage();
    const QString fifo = path("pipe.plf");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString control = path("control.plf");
    ASSERT_TRUE(writeFile(control, "<filter version=\"4\"><mod name=\"Evil\nName\x1b[31m\"/></filter>"));
    const QString huge = path("huge.jpg");
    QByteArray bytes = fileBytes(QStringLiteral(PELLUCINE_TESTDATA_DIR "/jpeg/orientation-1.jpg"));
    const int frame = bytes.indexOf("\xFF\xC0");
    ASSERT_GT(frame, 0);
    for (int k = 0; k < 4; ++k) bytes[frame + 5 + k] = k % 2 ? char(0x30) : char(0x75);  // 30000 x 30000
    ASSERT_TRUE(writeFile(huge, bytes));
    // A photo cut at half, bare and with its end marker appended, and a
    // 16 x 16 photo (800 bytes) whose frame header claims 14000 x 14000.
    const QImage flower(kFlower);
    const QByteArray photo = mediatest::jpegOf(flower);
    const QString cut = path("cut.jpg");
    const QString cutWithEnd = path("cut-with-end.jpg");
    const QString beyondItsData = path("beyond-its-data.jpg");
    ASSERT_TRUE(writeFile(cut, mediatest::cutJpeg(photo, photo.size() / 2, false)));
    ASSERT_TRUE(writeFile(cutWithEnd, mediatest::cutJpeg(photo, photo.size() / 2, true)));
    const QByteArray tiny = mediatest::jpegOf(flower.copy(0, 0, 16, 16));
    ASSERT_TRUE(writeFile(beyondItsData, mediatest::claimingSize(tiny, 14000, 14000)));
    const QString out = path("out.png");
    const struct {
        const char* what;
        QStringList arguments;
        const char* reason;
    } cases[] = {
        {"a FIFO as the filter", {fifo, image, out}, "is not a regular file"},
        {"a FIFO as the input", {kExampleFilter, fifo, out}, "is not a regular file"},
        {"a device as the filter", {"/dev/zero", image, out}, "is not a regular file"},
        {"a device as the input", {kExampleFilter, "/dev/zero", out}, "is not a regular file"},
        {"control characters in a tile name", {control, image, out}, "\"Evil\\nName\\x1b[31m\""},
        {"a header claiming 30000 x 30000", {kExampleFilter, huge, out}, "too large"},
        {"a JPEG cut at half", {kExampleFilter, cut, out}, "the JPEG file is damaged or cut short"},
        {"a JPEG cut at half, its end marker appended", {kExampleFilter, cutWithEnd, out},
         "the JPEG file is damaged or cut short"},
        {"a frame header beyond the data", {kExampleFilter, beyondItsData, out},
         "the JPEG file is damaged or cut short"},
        {"a missing input whose name holds a line feed", {kExampleFilter, path("new\nline.png"), out},
         "new\\nline.png: cannot open the file: No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun run = runTool(c.arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.constData();
        EXPECT_TRUE(run.standardError.contains(c.reason)) << run.standardError.constData();
        EXPECT_FALSE(QFile::exists(out));
    }
    // The frame beyond its data is refused before its 196 megapixels are
    // mapped (2.35 GB as floats, 588 MB as bytes): the tool maps at most a
    // little more than when it fails to open its input at all. Mapped, not
    // touched: a picture allocated and never written stays out of the
    // resident set.
    const MeasuredRun opening = runMeasured({kExampleFilter, path("missing.jpg"), out});
    const MeasuredRun measured = runMeasured({kExampleFilter, beyondItsData, out});
    ASSERT_EQ(opening.status, 1);
    ASSERT_GT(opening.mappedKilobytes, 0) << "the tool's peaks could not be read at its exit";
    EXPECT_EQ(measured.status, 1);
    EXPECT_GT(measured.touchedKilobytes, 0);
    EXPECT_LT(measured.mappedKilobytes, opening.mappedKilobytes + 128 * 1024)
        << "mapped " << measured.mappedKilobytes << " kB; failing to open its input, " << opening.mappedKilobytes
        << " kB";
    // The saver's .jpeg is taken as an output too.
    EXPECT_EQ(runTool({kExampleFilter, image, path("out.jpeg")}).status, 0);
    EXPECT_FALSE(QImage(path("out.jpeg")).isNull());
}

// Past a file-size limit the write fails with its reason (no SIGXFSZ), in
// one line, and leaves no file behind, for the saver's formats and .pfm.
TEST_F(RenderTool, AFileSizeLimitFailsTheWriteWithItsReason) {
    ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/bin/prlimit"))) << "prlimit is missing";
    const QString image = smallImage();
    const QString outputs = path("outputs");
    ASSERT_TRUE(QDir().mkpath(outputs));
    for (const char* name : {"out.pfm", "out.png", "out.tif"}) {
        SCOPED_TRACE(name);
        const ToolRun run = runLimited(QStringLiteral("--fsize=64"), {kExampleFilter, image, outputs + "/" + name});
        ASSERT_TRUE(run.finished) << "ended by a signal";
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.constData();
        EXPECT_TRUE(run.standardError.contains("cannot write the file: File too large"))
            << run.standardError.constData();
        EXPECT_TRUE(QDir(outputs).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
    }
}

// Under a memory limit the tool ends by itself every time: refused before
// decoding, out of memory in one line, or rendered; never a hang or a crash.
TEST_F(RenderTool, UnderAMemoryLimitItAlwaysEndsByItself) {
    ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/bin/prlimit"))) << "prlimit is missing";
    const QString withAlpha = path("flower-alpha.png");
    ASSERT_TRUE(mediatest::writeFlowerWithAlpha(withAlpha.toStdString()));
    for (int megabytes : {250, 350, 450, 700}) {
        SCOPED_TRACE(megabytes);
        const ToolRun run = runLimited(QStringLiteral("--as=%1").arg(qint64(megabytes) << 20),
                                       {kExampleFilter, withAlpha, path("limited.png")});
        ASSERT_TRUE(run.finished) << "ended by a signal or hung";
        EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status;
        EXPECT_LE(run.standardError.count('\n'), 1) << run.standardError.constData();
    }
}

}  // namespace

namespace {

// A PNG chunk of the given type and data, length and CRC included.
QByteArray pngChunk(const char* type, const std::vector<uint32_t>& values) {
    std::vector<char> body(type, type + 4);
    for (uint32_t v : values) mediatest::appendBigEndian32(&body, v);
    std::vector<char> chunk;
    mediatest::appendBigEndian32(&chunk, static_cast<uint32_t>(body.size() - 4));
    chunk.insert(chunk.end(), body.begin(), body.end());
    mediatest::appendBigEndian32(&chunk, mediatest::pngCrc(body));
    return QByteArray(chunk.data(), static_cast<int>(chunk.size()));
}

}  // namespace

// The note about a profile is given for a profile the file embeds and the
// tool leaves out (a damaged one too), never for a colour space Qt's reader
// makes of a PNG's gAMA and cHRM chunks; the pixels are those of the file
// without either.
TEST_F(RenderTool, ProfileNotesAreTrue) {
    const QString identity = path("identity.plf");
    ASSERT_TRUE(writeFile(identity, kIdentityFilter));
    const QImage colour = smallColourPicture();
    // The first 100 bytes of an RGB profile in the JPEG's APP2 segment.
    const QByteArray plainJpeg = mediatest::jpegOf(colour);
    const std::vector<uint8_t> profile = mediatest::displayP3Profile();
    QByteArray segment("ICC_PROFILE\0\x01\x01", 14);
    segment.append(reinterpret_cast<const char*>(profile.data()), 100);
    const int length = segment.size() + 2;
    const QByteArray damagedJpeg = plainJpeg.left(2) + QByteArray("\xFF\xE2", 2) + char(length >> 8) +
                                   char(length & 0xFF) + segment + plainJpeg.mid(2);
    // A grey PNG with gAMA and cHRM chunks, as ImageMagick writes one.
    QByteArray plainPng;
    {
        QBuffer device(&plainPng);
        ASSERT_TRUE(device.open(QIODevice::WriteOnly) &&
                    colour.convertToFormat(QImage::Format_Grayscale8).save(&device, "png"));
    }
    const QByteArray chromaticities =
        pngChunk("gAMA", {45455}) + pngChunk("cHRM", {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000});
    const QByteArray greyPng = plainPng.left(33) + chromaticities + plainPng.mid(33);  // after IHDR
    const struct {
        const char* name;
        const QByteArray& bytes;
        const QByteArray& plain;
        bool note;
    } cases[] = {
        {"damaged-profile.jpg", damagedJpeg, plainJpeg, true},
        {"grey-chromaticities.png", greyPng, plainPng, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString input = path(c.name);
        const QString plain = path("plain.") + QFileInfo(input).suffix();
        ASSERT_TRUE(writeFile(input, c.bytes) && writeFile(plain, c.plain));
        ASSERT_EQ(runTool({identity, plain, path("plain.pfm")}).status, 0);
        const ToolRun run = runTool({identity, input, path("out.pfm")});
        ASSERT_EQ(run.status, 0) << run.standardError.constData();
        EXPECT_EQ(run.standardError,
                  c.note ? "pellucine-render: " + input.toUtf8() + ": ignoring the unusable colour profile\n" : "");
        EXPECT_TRUE(fileBytes(path("plain.pfm")) == fileBytes(path("out.pfm")));
    }
}

// A CMYK JPEG cut short with its end marker put back is refused with one
// line, whatever warning came first and whatever Qt's logging rules say;
// the whole file renders.
TEST_F(RenderTool, CutCmykJpegsAreRefusedWithOneLine) {
    const QString identity = path("identity.plf");
    ASSERT_TRUE(writeFile(identity, kIdentityFilter));
    const QString whole = path("cmyk.jpg");
    QProcess convert;
    convert.start("convert", {"-size", "300x200", "gradient:red-blue", "-colorspace", "CMYK", "-quality", "90", whole});
    ASSERT_TRUE(convert.waitForFinished(60000) && convert.exitCode() == 0);
    const QByteArray bytes = fileBytes(whole);
    ASSERT_EQ(runTool({identity, whole, path("whole.png")}).status, 0);
    const QByteArray end("\xFF\xD9", 2);
    const int scan = bytes.indexOf("\xFF\xDA");
    ASSERT_GT(scan, 0);
    // Three bytes that are no marker before the scan: a harmless warning
    // that comes first.
    const QByteArray warned = bytes.left(scan) + "\x11\x22\x33" + bytes.mid(scan);
    QProcessEnvironment quietQt = QProcessEnvironment::systemEnvironment();
    quietQt.insert("QT_LOGGING_RULES", "*.warning=false");
    const struct {
        const char* name;
        QByteArray bytes;
        QProcessEnvironment environment;
    } cases[] = {
        {"cut.jpg", bytes.left(bytes.size() / 2) + end, QProcessEnvironment::systemEnvironment()},
        {"cut-quiet-qt.jpg", bytes.left(bytes.size() / 2) + end, quietQt},
        {"warned-then-cut.jpg", warned.left(warned.size() / 2) + end, QProcessEnvironment::systemEnvironment()},
        {"warned-then-cut-quiet-qt.jpg", warned.left(warned.size() / 2) + end, quietQt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString input = path(c.name);
        ASSERT_TRUE(writeFile(input, c.bytes));
        const ToolRun run = runTool({identity, input, path("out.png")}, c.environment);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.standardError, "pellucine-render: " + input.toUtf8() + ": the JPEG file is damaged or cut short\n");
        EXPECT_FALSE(QFile::exists(path("out.png")));
    }
}
