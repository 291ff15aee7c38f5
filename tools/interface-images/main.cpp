// pellucine-interface-images: draws the interface images of the program.
//
//   pellucine-interface-images OUTPUT_FOLDER LIST_FILE
//
// Every image is drawn with QPainter at twice the size it is shown at, so it
// stays sharp on screens of device-pixel ratio 2; the widgets draw them at
// half size (border images use slices twice their border widths). One dark
// theme: charcoal panels with a faint light rim, soft shadows, white and
// grey glyphs, a single blue accent for what is active. The file names go
// to LIST_FILE, one a line, for the resource list.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct ImageSpec {
    const char* name;
    int width;
    int height;
    std::function<void(QPainter&, const QSizeF&)> draw;
};

void placeholder(QPainter& p, const QSizeF& size) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 70, 70));
    p.drawRoundedRect(QRectF(QPointF(0, 0), size), 6, 6);
}

std::vector<ImageSpec> imageSpecs() {
    return {
        {"generic_tool_bg.png", 128, 128, placeholder},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pellucine-interface-images OUTPUT_FOLDER LIST_FILE\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QFile::decodeName(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "interface-images: cannot create %s\n", argv[1]);
        return 1;
    }
    QFile list(QFile::decodeName(argv[2]));
    if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "interface-images: cannot write %s\n", argv[2]);
        return 1;
    }
    QTextStream names(&list);
    for (const ImageSpec& spec : imageSpecs()) {
        QImage image(spec.width, spec.height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            spec.draw(painter, QSizeF(spec.width, spec.height));
        }
        const QString path = folder + QLatin1Char('/') + QLatin1String(spec.name);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "interface-images: cannot write %s\n", qPrintable(path));
            return 1;
        }
        names << spec.name << '\n';
    }
    return 0;
}
