#include "desktop_only/app/DesktopServices.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

std::function<bool(const QUrl&)>& urlHandler() {
    static std::function<bool(const QUrl&)> handler;
    return handler;
}

bool& fileManagerCalls() {
    static bool enabled = true;
    return enabled;
}

constexpr int kFileManagerTimeoutMs = 2000;

}  // namespace

bool openDesktopUrl(const QUrl& url) {
    if (urlHandler()) return urlHandler()(url);
    return QDesktopServices::openUrl(url);
}

void setDesktopUrlHandler(std::function<bool(const QUrl&)> handler) { urlHandler() = std::move(handler); }

void setFileManagerCallsEnabled(bool enabled) { fileManagerCalls() = enabled; }

bool revealFileInBrowser(const QString& path) {
    const QFileInfo info(path);
    if (fileManagerCalls()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                               "/org/freedesktop/FileManager1",
                                                               "org.freedesktop.FileManager1", "ShowItems");
            call << QStringList{QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded)}
                 << QString();
            const QDBusMessage reply = bus.call(call, QDBus::Block, kFileManagerTimeoutMs);
            if (reply.type() == QDBusMessage::ReplyMessage) return true;
        }
    }
    return openDesktopUrl(QUrl::fromLocalFile(info.absolutePath()));
}

QUrl readmeUrl() {
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath("README.md");
    if (QFileInfo::exists(beside)) return QUrl::fromLocalFile(beside);
#ifdef PELLUCINE_SOURCE_DIR
    return QUrl::fromLocalFile(QDir(QStringLiteral(PELLUCINE_SOURCE_DIR)).filePath("README.md"));
#else
    return QUrl::fromLocalFile(beside);
#endif
}
