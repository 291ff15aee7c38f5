// pellucine-render on TIFF inputs Qt's reader got wrong: a 16-bit file of
// separate colour planes renders through a chain that changes nothing to a
// 16-bit PNG equal to its source; a file of floating-point samples is
// refused with one line giving the reason (exit status 1), no picture written.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "desktop_only/media/MediaTestHelpers.h"

#include <tiffio.h>

namespace {

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

TEST(RenderToolTiff, PlanarSixteenBitRendersAsWrittenAndFloatsAreRefused) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto path = [&folder](const char* name) { return folder.filePath(QString::fromUtf8(name)); };
    QFile filter(path("identity.plf"));
    ASSERT_TRUE(filter.open(QIODevice::WriteOnly) && filter.write(kIdentityFilter) == kIdentityFilter.size());
    filter.close();
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

}  // namespace
