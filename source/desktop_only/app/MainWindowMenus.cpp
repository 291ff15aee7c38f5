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

#include "desktop_only/app/MainWindowPrivate.h"

namespace {

QKeySequence keyText(const char* text) { return QKeySequence::fromString(text, QKeySequence::NativeText); }

}  // namespace

// One menu entry; disabledByTool puts it on the list of actions a tool
// overlay disables.
QAction* MainWindow::addMenuEntry(QMenu* menu, const char* text, const QList<QKeySequence>& keys,
                                  bool disabledByTool) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    if (!keys.isEmpty()) action->setShortcuts(keys);
    if (disabledByTool) d->toolDisabledActions.append(action);
    return action;
}

QAction* MainWindow::addWindowAction(const char* text, const QKeySequence& key, bool disabledByTool) {
    QAction* action = new QAction(QString::fromUtf8(text), this);
    if (disabledByTool) d->toolDisabledActions.append(action);
    action->setShortcut(key);
    addAction(action);
    connect(action, &QAction::triggered, this, QOverload<>::of(&MainWindow::actionTriggered));
    return action;
}

void MainWindow::buildMenus() {
    // The menu bar is drawn inside the window on this desktop.
    menuBar()->setNativeMenuBar(false);
    d->fileMenu = new QMenu("File", menuBar());
    d->editMenu = new QMenu("Edit", menuBar());
    d->viewMenu = new QMenu("View", menuBar());
    d->helpMenu = new QMenu("Help ", menuBar());
    menuBar()->addMenu(d->fileMenu);
    menuBar()->addMenu(d->editMenu);
    menuBar()->addMenu(d->viewMenu);
    menuBar()->addMenu(d->helpMenu);

    addWindowAction("Quicklook Presets (Append)", keyText("Shift+F"), true);
    if (!d->hostMode) {
        addWindowAction("Left Pressed", QKeySequence(Qt::Key_Left), false);
        addWindowAction("Right Pressed", QKeySequence(Qt::Key_Right), false);
    }

    using Keys = QList<QKeySequence>;
    connect(d->fileMenu, &QMenu::triggered, this, &MainWindow::menuTriggered);
    if (!d->hostMode) {
        addMenuEntry(d->fileMenu, "Load Photo...", Keys{keyText("o"), keyText("Ctrl+o")}, true);
        addMenuEntry(d->fileMenu, "Save As...", Keys{keyText("s"), keyText("Ctrl+Shift+s")}, false);
        addMenuEntry(d->fileMenu, "Save Over Original", Keys{keyText("Ctrl+s")}, false);
        addMenuEntry(d->fileMenu, "Close Photo", Keys{keyText("Ctrl+W")}, true);
        d->fileMenu->addSeparator();
        addMenuEntry(d->fileMenu, "Reveal Current File", Keys{}, false);
        addMenuEntry(d->fileMenu, "Load Next", Keys{QKeySequence(Qt::SHIFT + Qt::Key_Right)}, true);
        addMenuEntry(d->fileMenu, "Load Previous", Keys{QKeySequence(Qt::SHIFT + Qt::Key_Left)}, true);
        addMenuEntry(d->fileMenu, "Batch Process Folder...", Keys{keyText("Ctrl+B")}, true);
    } else {
        addMenuEntry(d->fileMenu, "Send To Host", Keys{keyText("s"), keyText("Ctrl+s")}, false);
    }
    d->fileMenu->addSeparator();
    addMenuEntry(d->fileMenu, "Load Preset...", Keys{keyText("Ctrl+l")}, true);
    addMenuEntry(d->fileMenu, "Export Preset...", Keys{keyText("Ctrl+e")}, false);
    addMenuEntry(d->fileMenu, "Preferences...", Keys{}, true);

    connect(d->editMenu, &QMenu::triggered, this, &MainWindow::menuTriggered);
    d->editMenu->setTitle("Edit ");
    if (!d->hostMode) {
        addMenuEntry(d->editMenu, "Crop/Straighten", Keys{keyText("Ctrl+K")}, false);
        d->editMenu->addSeparator();
    }
    addMenuEntry(d->editMenu, "Undo", Keys{keyText("Ctrl+Z")}, false);
    addMenuEntry(d->editMenu, "Redo", Keys{keyText("Ctrl+Shift+Z")}, false);
    d->editMenu->addSeparator();
    if (!d->hostMode) {
        addMenuEntry(d->editMenu, "Rotate Left", Keys{keyText("L")}, true);
        addMenuEntry(d->editMenu, "Rotate Right", Keys{keyText("R")}, true);
        d->editMenu->addSeparator();
    }
    addMenuEntry(d->editMenu, "Toggle Original", Keys{keyText("/")}, true);

    connect(d->viewMenu, &QMenu::triggered, this, &MainWindow::menuTriggered);
    addMenuEntry(d->viewMenu, "Zoom To 100%", Keys{keyText("8")}, false);
    addMenuEntry(d->viewMenu, "Zoom To Fit", Keys{keyText("9")}, false);
    addMenuEntry(d->viewMenu, "Zoom Toggle", Keys{keyText("0")}, false);
    d->viewMenu->addSeparator();
    addMenuEntry(d->viewMenu, "Show/Hide Tray", Keys{keyText("T")}, true);
    addMenuEntry(d->viewMenu, "Show/Hide Tool Panel", Keys{keyText("P")}, true);
    addMenuEntry(d->viewMenu, "Show/Hide Render Queue", Keys{keyText("Q")}, false);
    addMenuEntry(d->viewMenu, "Show/Hide Pixel Inspector", Keys{keyText("I")}, false);
    d->viewMenu->addSeparator();
    addMenuEntry(d->viewMenu, "Luminance Histogram", Keys{keyText("1")}, false);
    addMenuEntry(d->viewMenu, "RGB Histogram", Keys{keyText("2")}, false);
    addMenuEntry(d->viewMenu, "Luminance Waveform", Keys{keyText("3")}, false);
    addMenuEntry(d->viewMenu, "RGB Waveform", Keys{keyText("4")}, false);
    addMenuEntry(d->viewMenu, "Chrominance Chart", Keys{keyText("5")}, false);
    d->viewMenu->addSeparator();
    addMenuEntry(d->viewMenu, "Toggle Interface", Keys{keyText("Shift+Tab")}, true);
    addMenuEntry(d->viewMenu, "Cycle Interface", Keys{keyText("Alt+Tab")}, true);
    if (!d->hostMode) d->viewMenu->addSeparator();
    d->autohideControlsAction = addMenuEntry(d->viewMenu, "Autohide Controls", Keys{}, false);
    d->autohideControlsAction->setCheckable(true);
    d->hoverPreviewsAction = addMenuEntry(d->viewMenu, "Show Hover Previews", Keys{}, false);
    d->hoverPreviewsAction->setCheckable(true);

    connect(d->helpMenu, &QMenu::triggered, this, &MainWindow::menuTriggered);
    addMenuEntry(d->helpMenu, "Help Website", Keys{}, false);
    d->helpMenu->addSeparator();
    addMenuEntry(d->helpMenu, "Send Feedback", Keys{}, false);
    addMenuEntry(d->helpMenu, "About", Keys{}, false);

    // The curve controls' context menu is the strip's; its entries reach
    // menuTriggered (connected when the strip was made).
    d->controlStrip->buildCurveMenu();
}

void MainWindow::menuTriggered(QAction* act) { actionTriggered(act); }

void MainWindow::actionTriggered() {
    if (QAction* action = qobject_cast<QAction*>(sender())) actionTriggered(action);
}
