// The render tool on the masks, Dead Pixel, Watermark, the built-in frames
// and the noise and grain tiles: every one renders in both pipelines with
// the same samples for 1 and 8 threads, the frames and a watermark come
// from the program's own resources, and a frame gives the picture the
// frame's size.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstring>

namespace {

const QString kTool = QStringLiteral(PELLUCINE_RENDER_TOOL);
const QString kFlower = QStringLiteral(PELLUCINE_TESTDATA_DIR "/png/flower.png");

int runTool(const QStringList& arguments, QByteArray* errors = nullptr) {
    QProcess process;
    process.start(kTool, arguments);
    if (!process.waitForStarted(30000) || !process.waitForFinished(300000) ||
        process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (errors) *errors = process.readAllStandardError();
    return process.exitCode();
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The width and height in a float map's header.
bool mapSize(const QByteArray& bytes, int* width, int* height) {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^PF\\n(\\d+) (\\d+)\\n")).match(QString::fromLatin1(bytes.left(40)));
    if (!m.hasMatch()) return false;
    *width = m.captured(1).toInt();
    *height = m.captured(2).toInt();
    return true;
}

// Sample c of pixel (x, y) (y from the top) of a float map of RGB samples.
float mapSample(const QByteArray& bytes, int width, int height, int x, int y, int c) {
    const int header = bytes.indexOf("-1.0\n") + 5;
    float v = 0;
    std::memcpy(&v, bytes.constData() + header + ((static_cast<qsizetype>(height - 1 - y) * width + x) * 3 + c) * 4, 4);
    return v;
}

struct Chain {
    const char* label;
    const char* mods;  // the filter's mod elements
};

const Chain kChains[] = {
    {"hue", "<mod name=\"Hue Mask\" version=\"1\" enabled=\"1\"/>"
            "<mod name=\"Exposure\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">1.6</var></mod>"},
    {"hsv", "<mod name=\"HSV Mask\" version=\"1\" enabled=\"1\"/>"
            "<mod name=\"Exposure\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">0.5</var></mod>"},
    {"luminance", "<mod name=\"Luminance Mask\" version=\"1\" enabled=\"1\">"
                  "<var name=\"Curve\" type=\"curve\">0 0 .5 1 1 0 </var></mod>"
                  "<mod name=\"Exposure\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">1.4</var></mod>"},
    {"deadpixel", "<mod name=\"Dead Pixel\" version=\"1\" enabled=\"1\">"
                  "<var name=\"Pixel X\" type=\"float\">400</var><var name=\"Pixel Y\" type=\"float\">378</var>"
                  "<var name=\"Radius\" type=\"float\">6</var></mod>"},
    {"watermark", "<mod name=\"Watermark\" version=\"1\" enabled=\"1\">"
                  "<var name=\"File\" type=\"file\">:/img/record_thumb.png</var>"
                  "<var name=\"Anchor\" type=\"choice\">Center</var>"
                  "<var name=\"Scale\" type=\"float\">30</var><var name=\"Opacity\" type=\"float\">0.6</var></mod>"},
    {"insta", "<mod name=\"Insta\" version=\"1\" enabled=\"1\"/>"},
    {"strip", "<mod name=\"75mm Strip\" version=\"1\" enabled=\"1\"/>"},
    {"eroded", "<mod name=\"Eroded\" version=\"1\" enabled=\"1\"/>"},
    // The noise and grain tiles. (Grain version 1 is left out: which of its
    // grains count as near a band edge depends on where the bands start.)
    {"noise", "<mod name=\"Noise\" version=\"4\" enabled=\"1\"><var name=\"Amount\" type=\"float\">60</var>"
              "<var name=\"Scale\" type=\"float\">20</var><var name=\"Offset\" type=\"float\">3</var></mod>"},
    {"oldnoise", "<mod name=\"Noise\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">60</var></mod>"},
    {"discolor", "<mod name=\"Discolor\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">0.8</var>"
                 "<var name=\"Scale\" type=\"float\">1.8</var></mod>"},
    {"lightleak", "<mod name=\"Lightleak\" version=\"1\" enabled=\"1\"><var name=\"Variation\" type=\"float\">37</var></mod>"},
    {"grain", "<mod name=\"Grain\" version=\"3\" enabled=\"1\"><var name=\"Amount\" type=\"float\">60</var>"
              "<var name=\"Scale\" type=\"float\">100</var></mod>"},
    {"grain2", "<mod name=\"Grain\" version=\"2\" enabled=\"1\"/>"},
};

class TileRenderTool : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QString path(const QString& name) const { return folder.filePath(name); }
    QString writeFilter(const Chain& chain) {
        const QString file = path(QStringLiteral("%1.plf").arg(QLatin1String(chain.label)));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QByteArray("<filter version=\"4\">") + chain.mods + "</filter>\n");
        return file;
    }
    // A colourful 640 x 427 picture, quicker to render than a photo.
    QString picture() {
        const QString file = path(QStringLiteral("picture.png"));
        QImage image(640, 427, QImage::Format_RGB888);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb((x * 255) / 639, (y * 255) / 426, ((x ^ y) * 7) & 255));
        EXPECT_TRUE(image.save(file));
        return file;
    }
    QTemporaryDir folder;
};

}  // namespace

TEST_F(TileRenderTool, EveryTileRendersTheSameForOneAndEightThreads) {
    const QString input = picture();
    for (const Chain& chain : kChains) {
        SCOPED_TRACE(chain.label);
        const QString filter = writeFilter(chain);
        for (const char* depth : {"", "--8bit"}) {
            QStringList one{QStringLiteral("--threads"), QStringLiteral("1")};
            QStringList eight{QStringLiteral("--threads"), QStringLiteral("8")};
            if (*depth) {
                one.prepend(QLatin1String(depth));
                eight.prepend(QLatin1String(depth));
            }
            const QString a = path(QStringLiteral("one.pfm"));
            const QString b = path(QStringLiteral("eight.pfm"));
            QByteArray errors;
            ASSERT_EQ(0, runTool(one << filter << input << a, &errors)) << errors.constData();
            ASSERT_EQ(0, runTool(eight << filter << input << b, &errors)) << errors.constData();
            const QByteArray first = fileBytes(a);
            EXPECT_FALSE(first.isEmpty());
            EXPECT_TRUE(first == fileBytes(b)) << depth;
        }
    }
}

TEST_F(TileRenderTool, FrameFromTheProgramsResourcesSetsTheSize) {
    // flower.png is 2268 x 1512; "Vinyl" needs the box 2387.4 x 1591.6 and
    // keeps its square shape: 1592 x 1591, under the bitmap's 2000.
    const Chain vinyl{"vinyl", "<mod name=\"Vinyl\" version=\"1\" enabled=\"1\"/>"};
    const QString out = path(QStringLiteral("vinyl.pfm"));
    QByteArray errors;
    ASSERT_EQ(0, runTool({writeFilter(vinyl), kFlower, out}, &errors)) << errors.constData();
    const QByteArray bytes = fileBytes(out);
    int width = 0;
    int height = 0;
    ASSERT_TRUE(mapSize(bytes, &width, &height));
    EXPECT_EQ(1592, width);
    EXPECT_EQ(1591, height);
    // The sleeve's light cardboard at the corner, not the photo or black.
    for (int c = 0; c < 3; ++c) EXPECT_GT(mapSample(bytes, width, height, 8, height / 2, c), 150.0f) << c;
}
