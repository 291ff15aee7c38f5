#include "desktop_only/app/CustomApplication.h"

#include <QFile>
#include <QFileInfo>
#include <QFileOpenEvent>

#include "desktop_only/app/MainWindow.h"

CustomApplication::CustomApplication(int& argc, char** argv) : QApplication(argc, argv) {}

CustomApplication::~CustomApplication() = default;

bool CustomApplication::event(QEvent* event) {
    if (event->type() != QEvent::FileOpen) return QApplication::event(event);
    return handleFileOpenRequest(pendingOpenPaths_, mainWindow_, static_cast<QFileOpenEvent*>(event)->file());
}

bool handleFileOpenRequest(QStringList& pending, MainWindow* window, const QString& path) {
    if (window && !window->hostMode()) {
        window->openMediaFile(path);  // reports its own failure
        return true;
    }
    pending.append(path);
    return true;
}

QString chooseStartupPath(const QStringList& pendingOpenPaths, int argc, char** argv) {
    if (!pendingOpenPaths.isEmpty()) return pendingOpenPaths.first();
    if (argc >= 2 && argv && argv[1]) return QFile::decodeName(argv[1]);
    return QString();
}

bool isOpenableStartupPath(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}
