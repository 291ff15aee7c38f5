// pellucine-render keeps its input's depth: a PNG or TIFF of a 16-bit input
// is written with 16 bits a sample (within a level of the input through a
// chain that changes nothing); 8-bit inputs, JPEG and --8bit stay 8-bit.

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "desktop_only/media/MediaTestHelpers.h"

namespace {

// A chain that changes no sample: Exposure at its identity Amount.
const QByteArray kIdentityFilter = "<filter version=\"4\">\n  <mod name=\"Exposure\" version=\"1\" enabled=\"1\">\n"
                                   "    <var name=\"Amount\" type=\"float\">1.000000</var>\n  </mod>\n</filter>\n";

int runTool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(PELLUCINE_RENDER_TOOL), arguments);
    if (!process.waitForStarted(30000) || !process.waitForFinished(300000)) return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

TEST(RenderToolDepth, OutputsKeepTheDepthOfTheirInput) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto path = [&folder](const char* name) { return folder.filePath(QString::fromUtf8(name)); };
    QFile filter(path("identity.plf"));
    ASSERT_TRUE(filter.open(QIODevice::WriteOnly) && filter.write(kIdentityFilter) == kIdentityFilter.size());
    filter.close();
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
        ASSERT_EQ(runTool(arguments), 0);
        EXPECT_EQ(mediatest::sampleBitsOfFile(path(c.output).toStdString()), c.bits);
        if (c.bits == 16) {
            EXPECT_LE(mediatest::largestLevelDifference(QImage(path(c.output)), QImage(path(c.input))), 1);
        }
    }
}

}  // namespace
