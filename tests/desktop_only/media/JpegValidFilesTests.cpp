// No valid JPEG is refused: the files libjpeg-turbo's own encoder (cjpeg)
// writes with arithmetic coding, progression, scan scripts, restart markers
// and every sampling load with the pixels of its own decoder (djpeg). The
// pictures include those an arithmetic encoder codes in almost no bytes
// (flat, a ramp, stripes, a flat lower half), whose scans meet the end of
// their data long before their last row.
#include "MediaTestHelpers.h"

#include "desktop_only/media/DesktopImageLoaderSaver.h"

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

using namespace mediatest;

namespace {

bool runTool(const QString& tool, const QStringList& arguments) {
    QProcess process;
    process.start(tool, arguments);
    return process.waitForStarted(30000) && process.waitForFinished(120000) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QImage picture(const char* kind, int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    const std::string k = kind;
    if (k == "photo") {
        image = QImage(QString::fromStdString(testData("png/flower.png")))
                    .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_RGB888);
    } else if (k == "flat") {
        image.fill(QColor(90, 100, 110));
    } else if (k == "noise") {
        uint32_t state = 12345;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w * 3; ++x) {
                state = state * 1664525u + 1013904223u;
                image.scanLine(y)[x] = static_cast<uchar>(state >> 24);
            }
    } else {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                QColor c;
                if (k == "ramp") c = QColor(255 * y / std::max(1, h - 1), 80, 255 - 255 * y / std::max(1, h - 1));
                else c = (y / 3) % 2 ? QColor(230, 230, 40) : QColor(20, 40, 160);  // stripes
                image.setPixelColor(x, y, c);
            }
    }
    if (k == "half-black") {  // a photo over a flat black lower half
        image = picture("photo", w, h);
        QPainter(&image).fillRect(0, h / 2, w, h - h / 2, Qt::black);
    }
    return image;
}

}  // namespace

TEST(MediaJpeg, EveryValidFileOfTheEncoderLoadsWithItsDecodersPixels) {
    const QString cjpeg = QStandardPaths::findExecutable("cjpeg");
    const QString djpeg = QStandardPaths::findExecutable("djpeg");
    ASSERT_FALSE(cjpeg.isEmpty() || djpeg.isEmpty()) << "libjpeg-turbo's cjpeg and djpeg are installed by setup.sh";
    TempFolder folder;
    const QString scans = QString::fromStdString(folder.file("scan-per-component.txt"));
    {
        QFile script(scans);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly) && script.write("0;\n1;\n2;\n") > 0);
    }
    const QStringList options[] = {
        {"-arithmetic"},
        {"-arithmetic", "-progressive"},
        {"-arithmetic", "-sample", "1x1"},
        {"-arithmetic", "-sample", "2x1", "-progressive"},
        {"-arithmetic", "-sample", "1x2", "-quality", "100", "-progressive"},
        {"-arithmetic", "-restart", "1"},
        {"-arithmetic", "-grayscale", "-progressive"},
        {"-arithmetic", "-scans", scans},
        {"-scans", scans},
        {"-progressive", "-optimize", "-restart", "2B"},
    };
    const std::pair<int, int> sizes[] = {{1, 1}, {17, 33}, {333, 177}, {640, 48}};
    DesktopImageLoaderSaver io;
    for (const char* kind : {"photo", "flat", "ramp", "stripes", "half-black", "noise"}) {
        for (const auto& [w, h] : sizes) {
            const std::string source = folder.file("source.ppm");
            ASSERT_TRUE(picture(kind, w, h).save(QString::fromStdString(source), "PPM"));
            for (const QStringList& option : options) {
                SCOPED_TRACE(std::string(kind) + " " + std::to_string(w) + "x" + std::to_string(h) + " " +
                             option.join(' ').toStdString());
                const std::string jpeg = folder.file("file.jpg");
                const std::string decoded = folder.file("decoded.pnm");
                ASSERT_TRUE(runTool(cjpeg, QStringList(option) << "-outfile" << QString::fromStdString(jpeg)
                                                                << QString::fromStdString(source)));
                ASSERT_TRUE(runTool(djpeg, {"-outfile", QString::fromStdString(decoded), QString::fromStdString(jpeg)}));
                const QImage reference = QImage(QString::fromStdString(decoded)).convertToFormat(QImage::Format_RGB888);
                ASSERT_FALSE(reference.isNull());
                ImageBuffer loaded;
                GrowString reason;
                ASSERT_TRUE(io.load8(gs(jpeg), &loaded, false, &reason)) << reason.c_str();
                ASSERT_EQ(loaded.width, reference.width());
                ASSERT_EQ(loaded.height, reference.height());
                ASSERT_EQ(loaded.channelCount(), 3);
                for (int y = 0; y < h; ++y)
                    ASSERT_EQ(std::memcmp(loaded.bytes() + static_cast<size_t>(y) * w * 3, reference.constScanLine(y),
                                          static_cast<size_t>(w) * 3),
                              0)
                        << "row " << y;
            }
        }
    }
}
