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

    // The window that file-open requests go to once main has built it.
    void setMainWindow(MainWindow* window) { mainWindow_ = window; }
    // The requests that arrived before the window existed, in arrival order.
    const QStringList& pendingOpenPaths() const { return pendingOpenPaths_; }

    bool event(QEvent* event) override;

private:
    QStringList pendingOpenPaths_;
    MainWindow* mainWindow_ = nullptr;
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
