// pellucine-render keeps its input's depth: a PNG or TIFF of a 16-bit input
// is written with 16 bits a sample (within a level of the input through a
// chain that changes nothing); 8-bit inputs, JPEG and --8bit stay 8-bit.
// Its size checks count such an output at 16 bits a sample. A 16-bit TIFF of
// separate colour planes renders to a 16-bit PNG equal to its source; a TIFF
// of floating-point samples is refused with one line giving the reason.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include "desktop_only/media/MediaTestHelpers.h"

#include <tiffio.h>

namespace {

// A chain that changes no sample: Exposure at its identity Amount.
const QByteArray kIdentityFilter = "<filter version=\"4\">\n  <mod name=\"Exposure\" version=\"1\" enabled=\"1\">\n"
                                   "    <var name=\"Amount\" type=\"float\">1.000000</var>\n  </mod>\n</filter>\n";

struct ProgramRun {
    int status = -1;  // -1: did not end by itself
    QByteArray output;  // standard output and error together
};

ProgramRun run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    ProgramRun r;
    if (!process.waitForStarted(30000) || !process.waitForFinished(300000)) return r;
    r.output = process.readAll();
    if (process.exitStatus() == QProcess::NormalExit) r.status = process.exitCode();
    return r;
}

// A 64 x 32 grey ramp of 32-bit floating-point samples, 0 to 1.
bool writeFloatTiff(const QString& path) {
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!t) return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 64);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 32);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 32);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 32);
    float samples[64 * 32];
    for (int i = 0; i < 64 * 32; ++i) samples[i] = static_cast<float>(i % 64) / 63.0f;
    const bool written = TIFFWriteEncodedStrip(t, 0, samples, sizeof samples) >= 0;
    TIFFClose(t);
    return written;
}

// A folder of the test's own, holding the chain that changes nothing.
class RenderToolDepth : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        QFile filter(path("identity.plf"));
        ASSERT_TRUE(filter.open(QIODevice::WriteOnly) && filter.write(kIdentityFilter) == kIdentityFilter.size());
    }
    QString path(const QString& name) const { return folder.filePath(name); }

    QTemporaryDir folder;
};

TEST_F(RenderToolDepth, OutputsKeepTheDepthOfTheirInput) {
    ASSERT_TRUE(mediatest::writeSixteenBitGradient(path("deep.png").toStdString(), 97, 53, false));
    ASSERT_TRUE(mediatest::writeSixteenBitGradient(path("deep.tif").toStdString(), 97, 53, true));
    QImage flat(97, 53, QImage::Format_RGB888);
    flat.fill(QColor(200, 120, 40));
    ASSERT_TRUE(flat.save(path("flat.png")));
    const struct {
        const char* input;
        const char* output;
        bool eightBit;
        int bits;
    } cases[] = {
        {"deep.png", "deep-out.png", false, 16}, {"deep.tif", "deep-out.tif", false, 16},
        {"deep.png", "deep-8bit.png", true, 8},  {"deep.png", "deep-out.jpg", false, 8},
        {"flat.png", "flat-out.png", false, 8},  {"flat.png", "flat-out.tif", false, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        QStringList arguments;
        if (c.eightBit) arguments << "--8bit";
        arguments << path("identity.plf") << path(c.input) << path(c.output);
        ASSERT_EQ(run(QStringLiteral(PELLUCINE_RENDER_TOOL), arguments).status, 0);
        EXPECT_EQ(mediatest::sampleBitsOfFile(path(c.output).toStdString()), c.bits);
        if (c.bits == 16) {
            EXPECT_LE(mediatest::largestLevelDifference(QImage(path(c.output)), QImage(path(c.input))), 1);
        }
    }
}

// An output that fits at 8 bits but not at 16 is refused before rendering
// for a 16-bit input written as TIFF, with the reason, and not for that
// reason with --8bit or from an 8-bit input: those go on to render, which
// fails here at once as every image allocation fails. Under a 4 GB data
// limit the tool allows 2 GB of memory: 6400 x 6400 fits in it at 48 bytes a
// pixel and not at 56; a row wider than Qt's 16-bit pictures fits either way.
TEST_F(RenderToolDepth, SizeChecksCountASixteenBitOutputAtItsDepth) {
    ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/bin/prlimit"))) << "prlimit is missing";
    ASSERT_TRUE(mediatest::writeSixteenBitGradient(path("deep.png").toStdString(), 97, 53, false));
    QImage flat(97, 53, QImage::Format_RGB888);
    flat.fill(QColor(200, 120, 40));
    ASSERT_TRUE(flat.save(path("flat.png")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELLUCINE_TEST_FAILING_ALLOCATIONS"), QStringLiteral("100000"));
    const struct {
        const char* what;
        const char* width;
        const char* height;
        const char* reason;
    } cases[] = {
        {"memory", "6400", "6400", "6400 x 6400 pixels, needs 2.3 GB of working memory"},
        {"width", "33554432", "1", "a 16-bit picture holds at most 33,554,431 pixels a row"},
    };
    const struct {
        const char* input;
        bool eightBit;
        bool refused;
    } runs[] = {{"deep.png", false, true}, {"deep.png", true, false}, {"flat.png", false, false}};
    for (const auto& c : cases) {
        const QString filter = path(QStringLiteral("%1.plf").arg(c.what));
        QFile file(filter);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<filter version=\"4\">\n  <mod name=\"Output Size Exact\" version=\"1\" enabled=\"1\">\n"
                                  "    <var name=\"Width\" type=\"float\">%1</var>\n"
                                  "    <var name=\"Height\" type=\"float\">%2</var>\n  </mod>\n</filter>\n")
                       .arg(c.width, c.height)
                       .toUtf8());
        file.close();
        for (const auto& r : runs) {
            SCOPED_TRACE(std::string(c.what) + ", " + r.input + (r.eightBit ? " --8bit" : ""));
            QStringList arguments{"--data=4294967296", QStringLiteral(PELLUCINE_RENDER_TOOL)};
            if (r.eightBit) arguments << "--8bit";
            arguments << filter << path(r.input) << path("out.tif");
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(QStringLiteral("/usr/bin/prlimit"), arguments);
            ASSERT_TRUE(process.waitForStarted(30000) && process.waitForFinished(300000));
            const QByteArray line = process.readAllStandardError();
            EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(process.exitCode(), 1) << line.constData();
            EXPECT_EQ(line.contains(c.reason), r.refused) << line.constData();
            if (!r.refused) {
                EXPECT_TRUE(line.contains("the image is too large to render")) << line.constData();
            }
            EXPECT_FALSE(QFile::exists(path("out.tif")));
        }
    }
}

TEST_F(RenderToolDepth, APlanarSixteenBitTiffRendersAsWrittenAndFloatsAreRefused) {
    const QString convert = QStringLiteral("convert");
    const QStringList gradient = {"-size", "240x160", "gradient:yellow-blue", "-depth", "16"};
    ASSERT_EQ(run(convert, gradient + QStringList{"-interlace", "plane", path("planar16.tif")}).status, 0);
    ASSERT_EQ(run(convert, gradient + QStringList{path("gradient.png")}).status, 0);
    ASSERT_TRUE(writeFloatTiff(path("float.tif")));

    const ProgramRun planar = run(QStringLiteral(PELLUCINE_RENDER_TOOL),
                           {path("identity.plf"), path("planar16.tif"), path("planar16.png")});
    ASSERT_EQ(planar.status, 0) << planar.output.constData();
    EXPECT_EQ(mediatest::sampleBitsOfFile(path("planar16.png").toStdString()), 16);
    EXPECT_EQ(mediatest::largestLevelDifference(QImage(path("planar16.png")), QImage(path("gradient.png"))), 0);

    const ProgramRun refused =
        run(QStringLiteral(PELLUCINE_RENDER_TOOL), {path("identity.plf"), path("float.tif"), path("float.png")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.output.count('\n'), 1) << refused.output.constData();
    EXPECT_TRUE(refused.output.endsWith('\n'));
    EXPECT_TRUE(refused.output.contains("TIFF files of floating-point samples are not supported"))
        << refused.output.constData();
    EXPECT_FALSE(QFile::exists(path("float.png")));
}

// A 16-bit RGB PNG whose transparency is one colour (a tRNS chunk),
// interlaced or not: two runs write the same bytes, the 16-bit RGBA picture
// ImageMagick reads in the source, alpha 0 exactly where it reads 0.
TEST_F(RenderToolDepth, ATransparentColourSixteenBitPngRendersAsItIs) {
    const QString convert = QStringLiteral("convert");
    const auto rgba = [&](const QString& file) {
        QProcess process;
        process.start(convert, {file, "-depth", "16", "-endian", "MSB", "rgba:-"});
        const bool ran = process.waitForFinished(120000) && process.exitCode() == 0;
        return ran ? process.readAllStandardOutput() : QByteArray();
    };
    for (const char* interlace : {"none", "PNG"}) {
        SCOPED_TRACE(interlace);
        const QStringList write{"-size", "64x48", "gradient:red-blue", "-depth", "16", "-fill", "white",
                                "-draw", "rectangle 0,0 10,10", "-transparent", "white", "-interlace", interlace,
                                "-strip", "png48:" + path("clear.png")};
        ASSERT_EQ(run(convert, write).status, 0);
        for (const char* output : {"first.png", "second.png"}) {
            const QStringList arguments{path("identity.plf"), path("clear.png"), path(output)};
            ASSERT_EQ(run(QStringLiteral(PELLUCINE_RENDER_TOOL), arguments).status, 0);
        }
        QFile first(path("first.png"));
        QFile second(path("second.png"));
        ASSERT_TRUE(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
        EXPECT_TRUE(first.readAll() == second.readAll()) << "two runs wrote different files";
        EXPECT_EQ(mediatest::sampleBitsOfFile(path("first.png").toStdString()), 16);
        const QByteArray source = rgba(path("clear.png"));
        const QByteArray rendered = rgba(path("first.png"));
        ASSERT_EQ(source.size(), 64 * 48 * 8);
        ASSERT_EQ(rendered.size(), source.size());
        int transparent = 0;
        int differing = 0;
        for (int p = 0; p < source.size(); p += 8) {
            const bool clear = source.mid(p + 6, 2) == QByteArray(2, 0);
            transparent += clear;
            differing += clear ? rendered.mid(p + 6, 2) != QByteArray(2, 0) : rendered.mid(p, 8) != source.mid(p, 8);
        }
        EXPECT_EQ(transparent, 11 * 11);  // the white square
        EXPECT_EQ(differing, 0);
    }
}

}  // namespace
