// MainWindow: the menu bar, the window-level actions that exist for their
// keys, and (made by the control strip) the context menu of curve controls.
//
// No action has a handler of its own: every menu hands the chosen action to
// menuTriggered, every window-level action to actionTriggered, and both go
// to the dispatcher (MainWindowDispatch.cpp), which knows the actions by
// their texts. The texts here are therefore exact, trailing blanks and
// "..." included.

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QMenu>
#include <QMenuBar>

#include "desktop_only/app/MainWindow.h"

namespace {

QKeySequence keyText(const char* text) { return QKeySequence::fromString(text, QKeySequence::NativeText); }

}  // namespace

// One menu entry; disabledByTool puts it on the list of actions a tool
// overlay disables.
QAction* MainWindow::addMenuEntry(QMenu* menu, const char* text, const QList<QKeySequence>& keys,
                                  bool disabledByTool) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    if (!keys.isEmpty()) action->setShortcuts(keys);
    if (disabledByTool) toolDisabledActions.append(action);
    return action;
}

QAction* MainWindow::addWindowAction(const char* text, const QKeySequence& key, bool disabledByTool) {
    QAction* action = new QAction(QString::fromUtf8(text), this);
    if (disabledByTool) toolDisabledActions.append(action);
    action->setShortcut(key);
    addAction(action);
    connect(action, &QAction::triggered, this, QOverload<>::of(&MainWindow::actionTriggered));
    return action;
}

void MainWindow::buildMenus() {
    // The menu bar is drawn inside the window on this desktop.
    menuBar()->setNativeMenuBar(false);
    fileMenu = new QMenu("File", menuBar());
    editMenu = new QMenu("Edit", menuBar());
    viewMenu = new QMenu("View", menuBar());
    helpMenu = new QMenu("Help ", menuBar());
    menuBar()->addMenu(fileMenu);
    menuBar()->addMenu(editMenu);
    menuBar()->addMenu(viewMenu);
    menuBar()->addMenu(helpMenu);

    addWindowAction("Quicklook Presets (Append)", keyText("Shift+F"), true);
    if (!hostMode) {
        addWindowAction("Left Pressed", QKeySequence(Qt::Key_Left), false);
        addWindowAction("Right Pressed", QKeySequence(Qt::Key_Right), false);
    }

    using Keys = QList<QKeySequence>;
    connect(fileMenu, &QMenu::triggered, this, &MainWindow::menuTriggered);
    if (!hostMode) {
        addMenuEntry(fileMenu, "Load Photo...", Keys{keyText("o"), keyText("Ctrl+o")}, true);
        addMenuEntry(fileMenu, "Save As...", Keys{keyText("s"), keyText("Ctrl+Shift+s")}, false);
        addMenuEntry(fileMenu, "Save Over Original", Keys{keyText("Ctrl+s")}, false);
        addMenuEntry(fileMenu, "Close Photo", Keys{keyText("Ctrl+W")}, true);
        fileMenu->addSeparator();
        addMenuEntry(fileMenu, "Reveal Current File", Keys{}, false);
        addMenuEntry(fileMenu, "Load Next", Keys{QKeySequence(Qt::SHIFT + Qt::Key_Right)}, true);
        addMenuEntry(fileMenu, "Load Previous", Keys{QKeySequence(Qt::SHIFT + Qt::Key_Left)}, true);
        addMenuEntry(fileMenu, "Batch Process Folder...", Keys{keyText("Ctrl+B")}, true);
    } else {
        addMenuEntry(fileMenu, "Send To Host", Keys{keyText("s"), keyText("Ctrl+s")}, false);
    }
    fileMenu->addSeparator();
    addMenuEntry(fileMenu, "Load Preset...", Keys{keyText("Ctrl+l")}, true);
    addMenuEntry(fileMenu, "Export Preset...", Keys{keyText("Ctrl+e")}, false);
    addMenuEntry(fileMenu, "Preferences...", Keys{}, true);

    connect(editMenu, &QMenu::triggered, this, &MainWindow::menuTriggered);
    editMenu->setTitle("Edit ");
    if (!hostMode) {
        addMenuEntry(editMenu, "Crop/Straighten", Keys{keyText("Ctrl+K")}, false);
        editMenu->addSeparator();
    }
    addMenuEntry(editMenu, "Undo", Keys{keyText("Ctrl+Z")}, false);
    addMenuEntry(editMenu, "Redo", Keys{keyText("Ctrl+Shift+Z")}, false);
    editMenu->addSeparator();
    if (!hostMode) {
        addMenuEntry(editMenu, "Rotate Left", Keys{keyText("L")}, true);
        addMenuEntry(editMenu, "Rotate Right", Keys{keyText("R")}, true);
        editMenu->addSeparator();
    }
    addMenuEntry(editMenu, "Toggle Original", Keys{keyText("/")}, true);

    connect(viewMenu, &QMenu::triggered, this, &MainWindow::menuTriggered);
    addMenuEntry(viewMenu, "Zoom To 100%", Keys{keyText("8")}, false);
    addMenuEntry(viewMenu, "Zoom To Fit", Keys{keyText("9")}, false);
    addMenuEntry(viewMenu, "Zoom Toggle", Keys{keyText("0")}, false);
    viewMenu->addSeparator();
    addMenuEntry(viewMenu, "Show/Hide Tray", Keys{keyText("T")}, true);
    addMenuEntry(viewMenu, "Show/Hide Tool Panel", Keys{keyText("P")}, true);
    addMenuEntry(viewMenu, "Show/Hide Render Queue", Keys{keyText("Q")}, false);
    addMenuEntry(viewMenu, "Show/Hide Pixel Inspector", Keys{keyText("I")}, false);
    viewMenu->addSeparator();
    addMenuEntry(viewMenu, "Luminance Histogram", Keys{keyText("1")}, false);
    addMenuEntry(viewMenu, "RGB Histogram", Keys{keyText("2")}, false);
    addMenuEntry(viewMenu, "Luminance Waveform", Keys{keyText("3")}, false);
    addMenuEntry(viewMenu, "RGB Waveform", Keys{keyText("4")}, false);
    addMenuEntry(viewMenu, "Chrominance Chart", Keys{keyText("5")}, false);
    viewMenu->addSeparator();
    addMenuEntry(viewMenu, "Toggle Interface", Keys{keyText("Shift+Tab")}, true);
    addMenuEntry(viewMenu, "Cycle Interface", Keys{keyText("Alt+Tab")}, true);
    if (!hostMode) viewMenu->addSeparator();
    autohideControlsAction = addMenuEntry(viewMenu, "Autohide Controls", Keys{}, false);
    autohideControlsAction->setCheckable(true);
    hoverPreviewsAction = addMenuEntry(viewMenu, "Show Hover Previews", Keys{}, false);
    hoverPreviewsAction->setCheckable(true);

    connect(helpMenu, &QMenu::triggered, this, &MainWindow::menuTriggered);
    addMenuEntry(helpMenu, "Help Website", Keys{}, false);
    helpMenu->addSeparator();
    addMenuEntry(helpMenu, "Send Feedback", Keys{}, false);
    addMenuEntry(helpMenu, "About", Keys{}, false);

    // The curve controls' context menu is the strip's; its entries reach
    // menuTriggered (connected when the strip was made).
    controlStrip->buildCurveMenu();
}

void MainWindow::menuTriggered(QAction* act) { actionTriggered(act); }

void MainWindow::actionTriggered() {
    if (QAction* action = qobject_cast<QAction*>(sender())) actionTriggered(action);
}
