#pragma once
// CustomApplication: the application object. Its one addition to
// QApplication is the desktop's file-open requests: opened in the main
// window at once, or held (in arrival order) until main has built it.

#include <QApplication>
#include <QStringList>

class MainWindow;

class CustomApplication : public QApplication {
    Q_OBJECT
public:
    CustomApplication(int& argc, char** argv);
    ~CustomApplication() override;

    QStringList pendingOpenPaths;  // requests held until the main window exists
    MainWindow* mainWindow = nullptr;

    bool event(QEvent* event) override;
};

// The file main opens after the start-up wait: the first held file-open
// request, else the first command-line argument (decoded from the file
// system's encoding, so names that are not UTF-8 survive); "" for none.
QString chooseStartupPath(const QStringList& pendingOpenPaths, int argc, char** argv);
// Whether the start-up path names an existing file that is not a folder.
bool isOpenableStartupPath(const QString& path);

// A desktop file-open request: opened in the window at once when it exists
// and is not in plug-in host mode, else held in `pending`. Returns true
// (the request is handled either way).
bool handleFileOpenRequest(QStringList& pending, MainWindow* window, const QString& path);
