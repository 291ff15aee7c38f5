// No valid JPEG is refused: the files libjpeg-turbo's own encoder (cjpeg)
// writes with arithmetic coding, progression, scan scripts (successive
// approximation, DC on its own), restart markers, every sampling and
// qualities from 10 to 100 load with the pixels of its own decoder (djpeg),
// and so do its Huffman-coded files without their end marker. The pictures
// include those an arithmetic encoder codes in almost no bytes (flat, ramps
// both ways, stripes, a pattern repeating every 2 x 2 MCUs, a flat end after
// detail), whose scans meet the end of their data long before their last
// row. tests/desktop_only/media/jpeg_valid_files.py runs thousands more,
// from several encoders, outside ctest.
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

QImage picture(const std::string& kind, int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    if (kind == "photo") {
        image = QImage(QString::fromStdString(testData("png/flower.png")))
                    .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_RGB888);
    } else if (kind == "flat") {
        image.fill(QColor(90, 100, 110));
    } else if (kind == "noise") {
        uint32_t state = 12345;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w * 3; ++x) {
                state = state * 1664525u + 1013904223u;
                image.scanLine(y)[x] = static_cast<uchar>(state >> 24);
            }
    } else if (kind == "half-black" || kind == "flat-end") {  // detail over a flat lower part
        image = picture("photo", w, h);
        const int top = kind == "half-black" ? h / 2 : h / 3;
        QPainter(&image).fillRect(0, top, w, h - top, kind == "half-black" ? QColor(Qt::black) : QColor(120, 140, 60));
    } else {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int across = 255 * (w - 1 - x) / std::max(1, w - 1), down = 255 * y / std::max(1, h - 1);
                QColor c;
                if (kind == "ramp-across") c = QColor(across, across, across);  // white to black, every row the same
                else if (kind == "ramp-down") c = QColor(down, 80, 255 - down);
                else if (kind == "grey-stripes" || kind == "grey-bands")  // 8 pixels wide, upright or lying
                    c = ((kind == "grey-stripes" ? x : y) / 8) % 2 ? QColor(200, 200, 200) : QColor(40, 40, 40);
                else if (kind == "mcu-pattern") c = QColor((x * 7 + y * 3) % 32 * 8, x % 32 * 8, y % 32 * 8);
                else c = (y / 3) % 2 ? QColor(230, 230, 40) : QColor(20, 40, 160);  // stripes
                image.setPixelColor(x, y, c);
            }
    }
    return image;
}

QString writeScript(const TempFolder& folder, const char* name, const char* text) {
    const QString path = QString::fromStdString(folder.file(name));
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly) || script.write(text) <= 0) return {};
    return path;
}

}  // namespace

TEST(MediaJpeg, EveryValidFileOfTheEncoderLoadsWithItsDecodersPixels) {
    const QString cjpeg = QStandardPaths::findExecutable("cjpeg");
    const QString djpeg = QStandardPaths::findExecutable("djpeg");
    ASSERT_FALSE(cjpeg.isEmpty() || djpeg.isEmpty()) << "libjpeg-turbo's cjpeg and djpeg are installed by setup.sh";
    TempFolder folder;
    // One sequential scan a component; each component's DC on its own
    // before its AC; successive approximation of DC and AC.
    const QString perComponent = writeScript(folder, "per-component.txt", "0;\n1;\n2;\n");
    const QString dcOnItsOwn = writeScript(folder, "dc-on-its-own.txt",
                                           "0: 0 0 0 0;\n1: 0 0 0 0;\n2: 0 0 0 0;\n0: 1 63 0 0;\n1: 1 63 0 0;\n"
                                           "2: 1 63 0 0;\n");
    const QString successive = writeScript(folder, "successive.txt",
                                           "0,1,2: 0 0 0 1;\n0: 1 5 0 2;\n2: 1 63 0 1;\n1: 1 63 0 1;\n"
                                           "0: 6 63 0 2;\n0: 1 63 2 1;\n0,1,2: 0 0 1 0;\n2: 1 63 1 0;\n"
                                           "1: 1 63 1 0;\n0: 1 63 1 0;\n");
    ASSERT_FALSE(perComponent.isEmpty() || dcOnItsOwn.isEmpty() || successive.isEmpty());
    const QStringList options[] = {
        {"-arithmetic", "-quality", "90"},
        {"-arithmetic", "-progressive", "-quality", "85"},
        {"-arithmetic", "-sample", "1x1", "-quality", "10"},
        {"-arithmetic", "-sample", "2x1", "-progressive", "-quality", "15"},
        {"-arithmetic", "-sample", "4x1", "-quality", "95"},
        {"-arithmetic", "-sample", "1x2", "-quality", "100", "-progressive"},
        {"-arithmetic", "-sample", "1x4", "-quality", "90"},
        {"-arithmetic", "-restart", "1"},
        {"-arithmetic", "-grayscale", "-progressive", "-quality", "20"},
        {"-arithmetic", "-scans", perComponent},
        {"-arithmetic", "-scans", successive, "-quality", "85"},
        {"-arithmetic", "-scans", dcOnItsOwn, "-sample", "1x2", "-quality", "95"},
        {"-scans", perComponent},
        {"-progressive", "-optimize", "-restart", "2B"},
        {"-scans", successive, "-quality", "10"},
        {"-sample", "4x1", "-quality", "15"},
    };
    struct File {
        std::string kind;
        int w, h;
        QStringList option;
    };
    std::vector<File> files;
    for (const char* kind : {"photo", "flat", "ramp-across", "ramp-down", "grey-stripes", "stripes", "mcu-pattern",
                             "flat-end", "half-black", "noise"})
        for (const auto& [w, h] : {std::pair<int, int>{1, 1}, {17, 33}, {333, 177}})
            for (const QStringList& option : options) files.push_back({kind, w, h, option});
    // Whole pictures whose scans end far before their last row: a ramp
    // across (every row the same), stripes both ways, a pattern repeating
    // every 2 x 2 MCUs.
    files.push_back({"ramp-across", 1024, 768, {"-arithmetic", "-progressive", "-quality", "85"}});
    files.push_back({"ramp-across", 333, 777, {"-arithmetic", "-quality", "70"}});
    for (const char* quality : {"50", "75", "95"})
        for (const QString& script : {successive, dcOnItsOwn})
            files.push_back({"ramp-across", 1024, 768, {"-arithmetic", "-quality", quality, "-scans", script}});
    for (const char* kind : {"grey-stripes", "grey-bands"})
        for (const char* sample : {"2x2", "1x2", "1x4"})
            files.push_back({kind, 640, 480, {"-arithmetic", "-quality", "90", "-sample", sample}});
    for (const QStringList& mode : {QStringList(), QStringList{"-progressive"}, QStringList{"-scans", successive}})
        files.push_back({"mcu-pattern", 640, 480, QStringList{"-arithmetic", "-sample", "2x2"} + mode});

    DesktopImageLoaderSaver io;
    const std::string source = folder.file("source.ppm");
    std::string made;
    for (const File& f : files) {
        SCOPED_TRACE(f.kind + " " + std::to_string(f.w) + "x" + std::to_string(f.h) + " " +
                     f.option.join(' ').toStdString());
        const std::string key = f.kind + std::to_string(f.w) + "x" + std::to_string(f.h);
        if (key != made) {
            ASSERT_TRUE(picture(f.kind, f.w, f.h).save(QString::fromStdString(source), "PPM"));
            made = key;
        }
        const std::string jpeg = folder.file("file.jpg");
        const std::string decoded = folder.file("decoded.pnm");
        ASSERT_TRUE(runTool(cjpeg, QStringList(f.option) << "-outfile" << QString::fromStdString(jpeg)
                                                          << QString::fromStdString(source)));
        ASSERT_TRUE(runTool(djpeg, {"-outfile", QString::fromStdString(decoded), QString::fromStdString(jpeg)}));
        const QImage reference = QImage(QString::fromStdString(decoded)).convertToFormat(QImage::Format_RGB888);
        ASSERT_FALSE(reference.isNull());
        // A Huffman-coded file loads without its end marker too (libjpeg's
        // own decoder warns and gives every pixel).
        std::vector<std::string> paths = {jpeg};
        if (!f.option.contains("-arithmetic")) {
            std::vector<char> bytes = readFile(jpeg);
            ASSERT_GT(bytes.size(), 2u);
            bytes.resize(bytes.size() - 2);
            paths.push_back(folder.file("without-end.jpg"));
            writeFile(paths.back(), bytes);
        }
        for (const std::string& path : paths) {
            ImageBuffer loaded;
            GrowString reason;
            ASSERT_TRUE(io.load8(gs(path), &loaded, false, &reason)) << path << ": " << reason.c_str();
            ASSERT_EQ(loaded.width, reference.width());
            ASSERT_EQ(loaded.height, reference.height());
            ASSERT_EQ(loaded.channelCount(), 3);
            for (int y = 0; y < f.h; ++y)
                ASSERT_EQ(std::memcmp(loaded.bytes() + static_cast<size_t>(y) * f.w * 3, reference.constScanLine(y),
                                      static_cast<size_t>(f.w) * 3),
                          0)
                    << path << " row " << y;
        }
    }
}
