// pellucine-pack-bundle: packs a folder of filter files into a preset bundle
// (.bnd), the archive format that unpackBundle reads.
//
//   pellucine-pack-bundle SOURCE_FOLDER OUTPUT.bnd
//
// Every regular file of the folder becomes a record of its name; every
// sub-folder becomes a nested bundle record named after it with ".bnd"
// appended. Entries are written in name order, so the output is the same
// byte for byte on every machine. Hidden entries (a leading '.') are skipped.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdint>
#include <cstdio>

namespace {

// Bundles nested deeper than this are refused: the reader stops there too.
constexpr int kMaxDepth = 16;

void appendU32(QByteArray& out, uint32_t value) {
    const char bytes[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                           static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
    out.append(bytes, 4);
}

void appendRecord(QByteArray& out, const QByteArray& name, const QByteArray& data) {
    out.append("FILE", 4);
    appendU32(out, static_cast<uint32_t>(name.size()));
    out.append(name);
    appendU32(out, static_cast<uint32_t>(data.size()));
    out.append(data);
}

bool packFolder(const QString& folder, QByteArray& out, int depth) {
    if (depth > kMaxDepth) {
        std::fprintf(stderr, "pack-bundle: folders nested too deeply at %s\n", qPrintable(folder));
        return false;
    }
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::DirsLast);
    for (const QFileInfo& entry : entries) {
        const QByteArray name = entry.fileName().toUtf8();
        if (entry.isDir()) {
            QByteArray nested;
            if (!packFolder(entry.filePath(), nested, depth + 1)) return false;
            appendRecord(out, name + ".bnd", nested);
        } else {
            QFile file(entry.filePath());
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "pack-bundle: cannot read %s\n", qPrintable(entry.filePath()));
                return false;
            }
            appendRecord(out, name, file.readAll());
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pellucine-pack-bundle SOURCE_FOLDER OUTPUT.bnd\n");
        return 2;
    }
    const QString source = QFile::decodeName(argv[1]);
    if (!QFileInfo(source).isDir()) {
        std::fprintf(stderr, "pack-bundle: %s is no folder\n", argv[1]);
        return 1;
    }
    QByteArray bundle;
    if (!packFolder(source, bundle, 0)) return 1;
    QSaveFile output(QFile::decodeName(argv[2]));
    if (!output.open(QIODevice::WriteOnly) || output.write(bundle) != bundle.size() || !output.commit()) {
        std::fprintf(stderr, "pack-bundle: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
