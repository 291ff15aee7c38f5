// pellucine-render renders through the output geometry of the filter: the
// crop, the border and the output size decide the picture the chain runs on.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace {

const QString kTool = QStringLiteral(PELLUCINE_RENDER_TOOL);

struct ToolResult {
    int status = -1;
    QByteArray standardError;
};

ToolResult runTool(const QStringList& arguments) {
    QProcess process;
    process.start(kTool, arguments);
    ToolResult run;
    if (!process.waitForStarted(30000)) return run;
    process.closeWriteChannel();
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit) return run;
    run.status = process.exitCode();
    run.standardError = process.readAllStandardError();
    return run;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The size in the header of a portable float map.
QSize floatMapSize(const QByteArray& bytes) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^PF\\n(\\d+) (\\d+)\\n")).match(QString::fromLatin1(bytes.left(64)));
    return match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
}

QByteArray filter(const char* mods) {
    return QByteArray("<filter version=\"4\">\n") + mods + "</filter>\n";
}

class RenderToolGeometry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        // A 4000 x 3000 photo with detail everywhere, written without
        // compression to keep the test quick.
        QImage image(4000, 3000, QImage::Format_RGB888);
        for (int y = 0; y < image.height(); ++y) {
            uchar* row = image.scanLine(y);
            for (int x = 0; x < image.width(); ++x) {
                row[3 * x] = static_cast<uchar>(x * 7 + y);
                row[3 * x + 1] = static_cast<uchar>(y * 3);
                row[3 * x + 2] = static_cast<uchar>((x ^ y) & 0xFF);
            }
        }
        photo = folder.filePath("photo.png");
        ASSERT_TRUE(image.save(photo, "PNG", 100));
    }
    QString writeFilter(const char* name, const char* mods) {
        const QString path = folder.filePath(QString::fromUtf8(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(filter(mods));
        return path;
    }
    QString path(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }

    QTemporaryDir folder;
    QString photo;
};

const char* const kOutputSize =
    "  <mod name=\"Output Size\" version=\"2\" enabled=\"1\">\n"
    "    <var name=\"Width\" type=\"float\">1200</var>\n    <var name=\"Height\" type=\"float\">1200</var>\n"
    "  </mod>\n";

}  // namespace

TEST_F(RenderToolGeometry, OutputSizeRendersAtTheSameSizeForEveryThreadCount) {
    const QString sized = writeFilter("sized.plf", kOutputSize);
    for (const char* mode : {"float", "8bit"}) {
        SCOPED_TRACE(mode);
        QStringList common;
        if (QByteArray(mode) == "8bit") common << "--8bit";
        const ToolResult one = runTool(QStringList(common) << "--threads" << "1" << sized << photo << path("one.pfm"));
        const ToolResult eight = runTool(QStringList(common) << "--threads" << "8" << sized << photo << path("eight.pfm"));
        ASSERT_EQ(one.status, 0) << one.standardError.constData();
        ASSERT_EQ(eight.status, 0) << eight.standardError.constData();
        const QByteArray a = fileBytes(path("one.pfm"));
        EXPECT_EQ(floatMapSize(a), QSize(1200, 900));
        EXPECT_TRUE(a == fileBytes(path("eight.pfm")));
    }
    ASSERT_EQ(runTool({sized, photo, path("sized.png")}).status, 0);
    EXPECT_EQ(QImage(path("sized.png")).size(), QSize(1200, 900));
}

TEST_F(RenderToolGeometry, CropBorderAndSizeTogether) {
    // Crop 10% at the left and right, a 5% border, then Maximum Size.
    const QString chain = writeFilter(
        "chain.plf",
        "  <mod name=\"Crop\" version=\"1\" enabled=\"1\">\n"
        "    <var name=\"Left\" type=\"float\">0.1</var>\n    <var name=\"Right\" type=\"float\">0.1</var>\n"
        "  </mod>\n"
        "  <mod name=\"Custom Rounded\" version=\"1\" enabled=\"1\">\n"
        "    <var name=\"Thickness\" type=\"float\">5</var>\n    <var name=\"Rounding\" type=\"float\">20</var>\n"
        "  </mod>\n");
    const ToolResult one = runTool({"--threads", "1", chain, photo, path("one.pfm")});
    const ToolResult eight = runTool({"--threads", "8", chain, photo, path("eight.pfm")});
    ASSERT_EQ(one.status, 0) << one.standardError.constData();
    ASSERT_EQ(eight.status, 0) << eight.standardError.constData();
    const QByteArray a = fileBytes(path("one.pfm"));
    // 3200 x 3000 after the crop, band 150: 3500 x 3300.
    EXPECT_EQ(floatMapSize(a), QSize(3500, 3300));
    EXPECT_TRUE(a == fileBytes(path("eight.pfm")));
}

TEST_F(RenderToolGeometry, TooLargeAPictureExitsWithOneLine) {
    const QString huge = writeFilter("huge.plf",
                                     "  <mod name=\"Output Size Exact\" version=\"1\" enabled=\"1\">\n"
                                     "    <var name=\"Width\" type=\"float\">100000</var>\n"
                                     "    <var name=\"Height\" type=\"float\">100000</var>\n  </mod>\n");
    const ToolResult run = runTool({huge, photo, path("huge.png")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.standardError.endsWith(
        ": cannot make the output picture: the picture would be 100000 x 100000 pixels, beyond one gigapixel\n"))
        << run.standardError.constData();
    EXPECT_EQ(run.standardError.count('\n'), 1);
    EXPECT_FALSE(QFile::exists(path("huge.png")));
}

// The output size is held against the working memory before anything is
// drawn: under a 4 GB data limit (inherited by the tool) the tool allows 2 GB
// for a picture, so the 175-byte filter asking for 24000 x 24000 (27.6 GB to
// render) is refused at once with one line, while a modest size renders.
TEST_F(RenderToolGeometry, AnOutputBeyondMemoryIsRefusedBeforeRendering) {
    const QString huge = writeFilter("exact.plf",
                                     "  <mod name=\"Output Size Exact\" version=\"1\" enabled=\"1\">\n"
                                     "    <var name=\"Width\" type=\"float\">24000</var>\n"
                                     "    <var name=\"Height\" type=\"float\">24000</var>\n  </mod>\n");
    const QString modest = writeFilter("modest.plf",
                                       "  <mod name=\"Output Size Exact\" version=\"1\" enabled=\"1\">\n"
                                       "    <var name=\"Width\" type=\"float\">2000</var>\n"
                                       "    <var name=\"Height\" type=\"float\">2000</var>\n  </mod>\n");
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_DATA, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = rlim_t(4) << 30;
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < limited.rlim_cur) limited.rlim_cur = saved.rlim_max;
    ASSERT_EQ(setrlimit(RLIMIT_DATA, &limited), 0);
    const ToolResult refused = runTool({huge, photo, path("huge.png")});
    const ToolResult rendered = runTool({modest, photo, path("modest.png")});
    setrlimit(RLIMIT_DATA, &saved);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.standardError.count('\n'), 1);
    EXPECT_TRUE(refused.standardError.contains("24000 x 24000 pixels, needs 27.6 GB of working memory"))
        << refused.standardError.constData();
    EXPECT_FALSE(QFile::exists(path("huge.png")));
    ASSERT_EQ(rendered.status, 0) << rendered.standardError.constData();
    EXPECT_EQ(QImage(path("modest.png")).size(), QSize(2000, 2000));
}

// A side the output's format cannot hold is refused before rendering, with
// the format's limit; the same picture as a PNG (which holds it) is written.
TEST_F(RenderToolGeometry, ASideBeyondTheFormatsLimitIsRefusedBeforeRendering) {
    const QString wide = writeFilter("wide.plf",
                                     "  <mod name=\"Output Size Exact\" version=\"1\" enabled=\"1\">\n"
                                     "    <var name=\"Width\" type=\"float\">70000</var>\n"
                                     "    <var name=\"Height\" type=\"float\">4</var>\n  </mod>\n");
    const ToolResult jpeg = runTool({wide, photo, path("wide.jpg")});
    EXPECT_EQ(jpeg.status, 1);
    EXPECT_EQ(jpeg.standardError.count('\n'), 1);
    EXPECT_TRUE(jpeg.standardError.contains("JPEG holds at most 65,500 pixels a side")) << jpeg.standardError.constData();
    EXPECT_FALSE(QFile::exists(path("wide.jpg")));
    const ToolResult png = runTool({wide, photo, path("wide.png")});
    ASSERT_EQ(png.status, 0) << png.standardError.constData();
    EXPECT_EQ(QImage(path("wide.png")).size(), QSize(70000, 4));
}
