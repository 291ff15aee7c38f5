// png-loader-dump: what the image loader makes of PNG files, as hashes, so
// that two builds of the loader can be compared file by file; and the PNG
// files of Qt's writer for that comparison.
//
//   png-loader-dump LIST            one line per file named in LIST (one
//                                   path a line): path, layout, result, rgba16
//   png-loader-dump --write-qt DIR  PNGs of Qt's writer, every picture format
//                                   with several colour spaces and gammas
//   png-loader-dump --write-profile FILE NAME
//                                   the ICC profile of Qt's colour space NAME
//                                   (DisplayP3, AdobeRgb, ProPhotoRgb, SRgbLinear)
//
// The layout is the IHDR's colour type, bit depth and interlace method,
// whether a tRNS chunk comes before the image data and which of gAMA, cHRM,
// sRGB and iCCP do. The result hashes three
// loads of the file: decode without the profile applied, decode with it
// applied (float precision), loadFloatKeepingAlpha; each with its outcome,
// reason, samples, alpha, orientation, bits a sample and colour profile.
// rgba16 hashes the first decode's samples as 16-bit big-endian RGBA when
// it is a 16-bit picture ("-" otherwise), to hold against ImageMagick's
// reading.

#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "foundation/ImageBuffer.h"

#include <QColorSpace>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

void addNumber(QCryptographicHash* hash, int64_t v) {
    hash->addData(reinterpret_cast<const char*>(&v), sizeof v);
}

void addBytes(QCryptographicHash* hash, const std::vector<uint8_t>& bytes) {
    addNumber(hash, static_cast<int64_t>(bytes.size()));
    hash->addData(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

void addPicture(QCryptographicHash* hash, const QImage& picture) {
    addNumber(hash, picture.format());
    addNumber(hash, picture.width());
    addNumber(hash, picture.height());
    const int rowBytes = picture.width() * picture.depth() / 8;  // without the row padding
    for (int y = 0; y < picture.height(); ++y)
        hash->addData(reinterpret_cast<const char*>(picture.constScanLine(y)), rowBytes);
}

void addOutcome(QCryptographicHash* hash, bool ok, const GrowString& reason) {
    addNumber(hash, ok);
    hash->addData(reason.c_str(), static_cast<int>(std::strlen(reason.c_str())));
}

void addDecoded(QCryptographicHash* hash, const DecodedSource& d) {
    addPicture(hash, d.pixels);
    addNumber(hash, d.orientation);
    addNumber(hash, d.hasAlpha);
    addNumber(hash, d.metadata.bitsPerSample);
    addBytes(hash, d.metadata.iccProfile);
}

QString layoutOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("unreadable");
    const QByteArray d = file.readAll();
    if (d.size() < 33 || d.mid(12, 4) != "IHDR") return QStringLiteral("no-header");
    bool trns = false;
    QStringList colour;  // the chunks that make a colour space
    for (int i = 8; i + 12 <= d.size();) {
        const uint32_t length = static_cast<uint8_t>(d[i]) << 24 | static_cast<uint8_t>(d[i + 1]) << 16 |
                                static_cast<uint8_t>(d[i + 2]) << 8 | static_cast<uint8_t>(d[i + 3]);
        const QByteArray type = d.mid(i + 4, 4);
        if (type == "IDAT" || type == "IEND" || length > uint32_t(d.size() - i - 12)) break;
        trns = trns || type == "tRNS";
        if (type == "gAMA" || type == "cHRM" || type == "sRGB" || type == "iCCP") colour << QString::fromLatin1(type);
        i += 12 + static_cast<int>(length);
    }
    return QStringLiteral("ct=%1,depth=%2,interlace=%3,trns=%4,colour=%5")
        .arg(int(d[25]))
        .arg(int(d[24]))
        .arg(int(d[28]))
        .arg(int(trns))
        .arg(colour.isEmpty() ? QStringLiteral("none") : colour.join('+'));
}

QString rgba16Of(const QImage& picture) {
    if (picture.format() != QImage::Format_RGBA64) return QStringLiteral("-");
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (int y = 0; y < picture.height(); ++y) {
        const quint16* row = reinterpret_cast<const quint16*>(picture.constScanLine(y));
        for (int i = 0; i < picture.width() * 4; ++i) {
            const char big[2] = {static_cast<char>(row[i] >> 8), static_cast<char>(row[i] & 0xff)};
            hash.addData(big, 2);
        }
    }
    return QString::fromLatin1(hash.result().toHex());
}

int dumpList(const QString& list) {
    QFile file(list);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return 2;
    QTextStream in(&file);
    QTextStream out(stdout);
    DesktopImageLoaderSaver io;
    while (!in.atEnd()) {
        const QString path = in.readLine();
        if (path.isEmpty()) continue;
        const GrowString name(QFile::encodeName(path).constData());
        QCryptographicHash hash(QCryptographicHash::Sha1);
        DecodedSource plain;
        GrowString reason;
        addOutcome(&hash, io.decode(name, false, false, true, &plain, &reason), reason);
        addDecoded(&hash, plain);
        DecodedSource converted;
        reason = GrowString();
        addOutcome(&hash, io.decode(name, true, true, true, &converted, &reason), reason);
        addDecoded(&hash, converted);
        ImageBuffer loaded;
        std::unique_ptr<ImageMetadata> metadata;
        reason = GrowString();
        addOutcome(&hash, io.loadFloatKeepingAlpha(name, &loaded, true, &metadata, &reason), reason);
        addNumber(&hash, loaded.width);
        addNumber(&hash, loaded.height);
        addNumber(&hash, loaded.channels);
        if (loaded.data)
            hash.addData(reinterpret_cast<const char*>(loaded.floats()), static_cast<int>(loaded.sampleCount() * 4));
        if (metadata) addBytes(&hash, metadata->iccProfile);
        out << path << '\t' << layoutOf(path) << '\t' << hash.result().toHex() << '\t' << rgba16Of(plain.pixels)
            << '\n';
    }
    return 0;
}

// A picture with every channel distinct, alpha from opaque to clear, and a
// few exact repeats (flat blocks) for palettes and tRNS colours.
QImage testPicture(int w, int h) {
    QImage picture(w, h, QImage::Format_RGBA64);
    for (int y = 0; y < h; ++y) {
        quint16* row = reinterpret_cast<quint16*>(picture.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const bool block = x < w / 3 && y < h / 2;
            row[4 * x] = block ? 0x8000 : static_cast<quint16>(x * 65535 / (w > 1 ? w - 1 : 1));
            row[4 * x + 1] = block ? 0x4000 : static_cast<quint16>(y * 65535 / (h > 1 ? h - 1 : 1));
            row[4 * x + 2] = static_cast<quint16>(1000 + 977 * (x + y));
            row[4 * x + 3] = block ? 0 : static_cast<quint16>(65535 - 401 * x);
        }
    }
    return picture;
}

int writeQt(const QString& folder) {
    QDir().mkpath(folder);
    const QImage::Format formats[] = {
        QImage::Format_Mono, QImage::Format_MonoLSB, QImage::Format_Indexed8, QImage::Format_RGB32,
        QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB16, QImage::Format_RGB888,
        QImage::Format_RGBA8888, QImage::Format_RGBX8888, QImage::Format_Grayscale8, QImage::Format_Grayscale16,
        QImage::Format_RGBX64, QImage::Format_RGBA64, QImage::Format_RGBA64_Premultiplied, QImage::Format_Alpha8,
        QImage::Format_BGR888, QImage::Format_A2BGR30_Premultiplied,
    };
    const struct {
        const char* name;
        QColorSpace space;
    } spaces[] = {
        {"none", QColorSpace()},
        {"srgb", QColorSpace(QColorSpace::SRgb)},
        {"linear", QColorSpace(QColorSpace::SRgbLinear)},
        {"p3", QColorSpace(QColorSpace::DisplayP3)},
        {"adobe", QColorSpace(QColorSpace::AdobeRgb)},
        {"gamma18", QColorSpace(QColorSpace::Primaries::SRgb, 1.8f)},
    };
    const struct {
        int w, h;
    } sizes[] = {{1, 1}, {37, 23}};
    int written = 0;
    for (const auto& size : sizes) {
        const QImage picture = testPicture(size.w, size.h);
        for (const QImage::Format format : formats) {
            QImage converted = picture.convertToFormat(format);
            for (const auto& space : spaces) {
                if (space.space.isValid() && converted.isGrayscale() && format != QImage::Format_Indexed8) continue;
                for (const float gamma : {0.0f, 0.45455f}) {
                    for (const bool text : {false, true}) {
                        QImage image = converted;
                        if (space.space.isValid()) image.setColorSpace(space.space);
                        if (text) image.setText(QStringLiteral("Comment"), QStringLiteral("written by Qt"));
                        const QString path = QStringLiteral("%1/qt-%2x%3-f%4-%5-g%6-t%7.png")
                                                 .arg(folder)
                                                 .arg(size.w)
                                                 .arg(size.h)
                                                 .arg(int(format))
                                                 .arg(space.name)
                                                 .arg(gamma > 0 ? 1 : 0)
                                                 .arg(int(text));
                        QImageWriter writer(path, "png");
                        if (gamma > 0) writer.setGamma(gamma);
                        if (writer.write(image)) ++written;
                    }
                }
            }
        }
    }
    std::printf("%d\n", written);
    return written > 0 ? 0 : 1;
}

int writeProfile(const QString& path, const QString& name) {
    const struct {
        const char* name;
        QColorSpace::NamedColorSpace space;
    } named[] = {{"DisplayP3", QColorSpace::DisplayP3},
                 {"AdobeRgb", QColorSpace::AdobeRgb},
                 {"ProPhotoRgb", QColorSpace::ProPhotoRgb},
                 {"SRgbLinear", QColorSpace::SRgbLinear}};
    for (const auto& n : named) {
        if (name != QLatin1String(n.name)) continue;
        QFile file(path);
        const QByteArray icc = QColorSpace(n.space).iccProfile();
        return file.open(QIODevice::WriteOnly) && file.write(icc) == icc.size() ? 0 : 1;
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--write-qt")) return writeQt(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("--write-profile")) return writeProfile(args[2], args[3]);
    if (args.size() == 2) return dumpList(args[1]);
    std::fprintf(stderr, "usage: png-loader-dump LIST | --write-qt DIR | --write-profile FILE NAME\n");
    return 2;
}
