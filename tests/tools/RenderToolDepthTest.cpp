// pellucine-render keeps its input's depth: a PNG or TIFF of a 16-bit input
// is written with 16 bits a sample (within a level of the input through a
// chain that changes nothing); 8-bit inputs, JPEG and --8bit stay 8-bit.
// Its size checks count such an output at 16 bits a sample.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
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

// An output that fits at 8 bits but not at 16 is refused before rendering
// for a 16-bit input written as TIFF, with the reason, and not for that
// reason with --8bit or from an 8-bit input: those go on to render, which
// fails here at once as every image allocation fails. Under a 4 GB data
// limit the tool allows 2 GB of memory: 6400 x 6400 fits in it at 48 bytes a
// pixel and not at 56; a row wider than Qt's 16-bit pictures fits either way.
TEST(RenderToolDepth, SizeChecksCountASixteenBitOutputAtItsDepth) {
    ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/bin/prlimit"))) << "prlimit is missing";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto path = [&folder](const QString& name) { return folder.filePath(name); };
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

}  // namespace
