// pellucine: the photo editor.
//
//   pellucine [PHOTO]
//
// Starts the window, waits out the start-up phase (at least three seconds,
// painting and answering meanwhile), opens the file the desktop or the
// command line handed over, and runs until the window closes. Prints
// "pluginexited" when the event loop returns.

#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QPalette>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QThread>
#include <QTimer>

#include <clocale>
#include <cstdio>

#include "desktop_only/app/CustomApplication.h"
#include "desktop_only/app/MainWindow.h"
#include "desktop_only/widgets/ScreenPixelRatio.h"
#include "foundation/GrowString.h"
#include "foundation/Preferences.h"

namespace {

constexpr int kStartupMinimumMs = 3000;
constexpr int kStartupSleepMs = 250;

void setDarkPalette(QApplication& app) {
    QPalette palette = app.palette();
    auto solid = [&palette](QPalette::ColorRole role, int r, int g, int b) {
        palette.setBrush(role, QBrush(QColor(r, g, b)));
    };
    solid(QPalette::Window, 60, 60, 60);
    solid(QPalette::WindowText, 0, 0, 0);
    solid(QPalette::Base, 70, 70, 70);
    solid(QPalette::AlternateBase, 64, 64, 64);
    solid(QPalette::Text, 0, 0, 0);
    solid(QPalette::Link, 0, 0, 0);
    solid(QPalette::LinkVisited, 0, 0, 0);
    solid(QPalette::BrightText, 0, 0, 0);
    solid(QPalette::HighlightedText, 0, 0, 0);
    solid(QPalette::Highlight, 100, 100, 100);
    solid(QPalette::ButtonText, 0, 0, 0);
    solid(QPalette::Button, 80, 80, 80);
    palette.setBrush(QPalette::Disabled, QPalette::Text, QBrush(QColor(40, 40, 40)));
    solid(QPalette::Light, 80, 80, 80);
    solid(QPalette::Midlight, 73, 73, 73);
    solid(QPalette::Mid, 60, 60, 60);
    solid(QPalette::Dark, 47, 47, 47);
    solid(QPalette::Shadow, 40, 40, 40);
    QApplication::setPalette(palette);
}

}  // namespace

int main(int argc, char** argv) {
    CustomApplication app(argc, argv);
    // Numbers in text files are read and written in the C locale.
    std::setlocale(LC_NUMERIC, "C");
    // The preferences are loaded at start, before anything asks for them:
    // an unreadable file is set aside now, and the line saying so comes
    // first. They are written again at exit.
    globalPreferences();
    screenDevicePixelRatio = app.primaryScreen() ? static_cast<float>(app.primaryScreen()->devicePixelRatio()) : 1.0f;
    QStyle* fusion = QStyleFactory::create("fusion");
    QFontDatabase::addApplicationFont(":/fonts/Vera.ttf");
    QFontDatabase::addApplicationFont(":/fonts/VeraBd.ttf");
    setDarkPalette(app);
    if (fusion) QApplication::setStyle(fusion);

    GrowString sheet;
    for (const char* piece : {"QWidget {", "color: #ffffff;", "font: 11px 'Bitstream Vera Sans';", "}",
                              "QWidget[enabled=\"false\"] {", "color: #777777;", "}", "QWidget:disabled {",
                              "color: #777777;", "}"})
        sheet.append(piece);
    const QString styleSheet = QString::fromUtf8(sheet.c_str());

    QApplication::processEvents();

    // Toolkit plug-ins shipped beside the program; only a folder that exists
    // is added, never the folder above the program's.
    QDir plugIns(QCoreApplication::applicationDirPath());
    if (plugIns.cdUp() && plugIns.cd("PlugIns")) QCoreApplication::addLibraryPath(plugIns.absolutePath());

    QTimer startupTimer;
    startupTimer.setSingleShot(true);
    startupTimer.start(kStartupMinimumMs);

    MainWindow* window = new MainWindow(styleSheet);
    app.setMainWindow(window);
    window->show();

    do {
        QThread::msleep(kStartupSleepMs);
        QApplication::processEvents();
    } while (startupTimer.isActive());

    const QString path = chooseStartupPath(app.pendingOpenPaths(), argc, argv);
    if (isOpenableStartupPath(path)) window->openMediaFile(path);

    // A window closed during the start-up wait asked to quit before the
    // event loop ran, which a quit cannot reach: then there is no loop to run.
    const int code = window->isVisible() ? app.exec() : 0;
    std::fputs("pluginexited\n", stdout);
    std::fflush(stdout);
    // The window is not deleted; its views' display passes end before the
    // process's statics go.
    window->stopDisplayThreads();
    return code;
}
