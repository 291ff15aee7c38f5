// MainWindow: construction and teardown.

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPalette>
#include <QTimer>

#include <ctime>
#include <cstdlib>
#include <memory>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxPreviewChooser.h"
#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/PixelReadoutWindow.h"
#include "desktop_only/widgets/VxPanelItemBigButton.h"
#include "desktop_only/widgets/VxPanelItemListButton.h"
#include "desktop_only/widgets/VxRenderQueueWindow.h"
#include "desktop_only/widgets/VxShuttleControl.h"
#include "desktop_only/widgets/VxSubWindow.h"
#include "desktop_only/widgets/VxTabBar.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "desktop_only/widgets/VxToolTipBox.h"
#include "foundation/Preferences.h"
#include "framework/ImageLoaderSaver.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

namespace {

constexpr int kPixelInspectorHeight = 202;
constexpr int kSubWindowDrop = 30;  // sub-windows start this far below their constructor's place

// The form's palette: white text on black, tooltips light yellow.
QPalette formPalette() {
    QPalette palette;
    const QBrush white(QColor(255, 255, 255));
    const QBrush black(QColor(0, 0, 0));
    const QBrush toolTipBase(QColor(255, 255, 220));
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        palette.setBrush(group, QPalette::WindowText, disabled ? black : white);
        for (QPalette::ColorRole role : {QPalette::Button, QPalette::Light, QPalette::Midlight, QPalette::Dark,
                                         QPalette::Mid, QPalette::Base, QPalette::Window, QPalette::Shadow,
                                         QPalette::AlternateBase})
            palette.setBrush(group, role, black);
        palette.setBrush(group, QPalette::Text, disabled ? black : white);
        palette.setBrush(group, QPalette::ButtonText, disabled ? black : white);
        palette.setBrush(group, QPalette::BrightText, white);
        palette.setBrush(group, QPalette::ToolTipBase, toolTipBase);
        palette.setBrush(group, QPalette::ToolTipText, black);
    }
    return palette;
}

}  // namespace

MainWindow::MainWindow(const QString& styleSheet) : QMainWindow(nullptr), d(std::make_unique<State>()) {
    d->ui = new MainWindowForm();
    setStyleSheet(styleSheet);

    d->processingInfoTimer = new QTimer(this);
    connect(d->processingInfoTimer, &QTimer::timeout, this, &MainWindow::processingInfoTimerFired);
    d->previewProcessorTimer = new QTimer(this);
    connect(d->previewProcessorTimer, &QTimer::timeout, this, &MainWindow::previewProcessorTimerFired);

    // Native window behaviour (full-screen collection, tabbing mode): nothing
    // to set on this desktop.

    if (!gImageLoaderSaver) gImageLoaderSaver = new DesktopImageLoaderSaver();
    d->secondQueue.installLoader(std::make_unique<DesktopImageLoaderSaver>());
    d->saveQueue.installLoader(std::make_unique<DesktopImageLoaderSaver>());

    d->nextTabId = 0;
    d->presetIndex = 0;
    d->autohideControls = globalPreferences().getBool(GrowString("AutohideControls"), true);

    setUpPresetFolders();

    registerVideoLoaderSaverTime();

    // The form.
    if (objectName().isEmpty()) setObjectName("MainWindow");
    resize(950, 650);
    setPalette(formPalette());
    d->ui->actionOpen = new QAction(this);
    d->ui->actionSave = new QAction(this);
    d->ui->actionSave_Copy = new QAction(this);
    d->ui->actionSave_As = new QAction(this);
    d->ui->centralwidget = new QWidget(this);
    d->ui->horizontalLayout_2 = new QHBoxLayout(d->ui->centralwidget);
    setCentralWidget(d->ui->centralwidget);
    setWindowTitle(QApplication::translate("MainWindow", "MainWindow"));
    d->ui->actionOpen->setText(QApplication::translate("MainWindow", "Open"));
    d->ui->actionOpen->setShortcut(QKeySequence(QApplication::translate("MainWindow", "Ctrl+O")));
    d->ui->actionSave->setText(QApplication::translate("MainWindow", "Save"));
    d->ui->actionSave_Copy->setText(QApplication::translate("MainWindow", "Save Copy"));
    d->ui->actionSave_As->setText(QApplication::translate("MainWindow", "Save As..."));

    d->backgroundLabel = new QLabel(this);
    d->toolTipBox = new VxToolTipBox(this);
    d->toolTipBox->hide();

    d->mediaArea = new QWidget(this);
    d->activeViewFrame = new QWidget(d->mediaArea);
    d->activeViewFrame->setStyleSheet(QString("background-color:transparent;") +
                                      "border-image: url(:/img/active_media_panel_bg.png) 16 16 16 16;" +
                                      "border-top: 8px transparent;" + "border-bottom: 8px transparent;" +
                                      "border-right: 8px transparent;" + "border-left: 8px transparent;");
    d->activeViewFrame->hide();
    d->trayArea = new QWidget(this);
    buildControlStrip();

    d->tabBar = new VxTabBar(this);
    connect(d->tabBar, &VxTabBar::tabActivated, this, &MainWindow::documentTabChosen);
    connect(d->tabBar, &VxTabBar::tabRequestedClose, this, &MainWindow::documentTabWantsClosing);
    d->tabBar->hide();

    buildDocumentTab();
    buildToolPanel();

    d->renderQueueWindow = new VxRenderQueueWindow(d->mediaArea, GrowString("Render Queue"));
    d->renderQueueWindow->move(d->renderQueueWindow->x(), d->renderQueueWindow->y() + kSubWindowDrop);
    d->renderQueueWindow->hide();
    connect(d->renderQueueWindow, &VxRenderQueueWindow::cancelItemRequested, this, &MainWindow::cancelRenderQueueItem);

    PixelInspectorWindow* inspector = new PixelInspectorWindow(d->mediaArea);
    d->pixelInspectorWindow = inspector;
    d->pixelSwatch = inspector->swatchWidget;
    d->pixelInspectorWindow->move(d->pixelInspectorWindow->x(), d->pixelInspectorWindow->y() + kSubWindowDrop);
    d->pixelInspectorWindow->resize(d->pixelInspectorWindow->width(), kPixelInspectorHeight);
    d->pixelInspectorWindow->hide();

    d->previewChooser = new VxPreviewChooser(this);
    d->previewChooser->hide();
    connect(d->previewChooser, &VxPreviewChooser::previewChosen, this, &MainWindow::filterPreviewChosen);
    connect(d->previewChooser, &VxPreviewChooser::sectionEnabled, this, &MainWindow::previewSectionEnabled);

    std::srand(static_cast<unsigned>(std::time(nullptr)));
    d->backgroundLabel->setStyleSheet(QString("background-image: url(:/img/main_bg.png);") +
                                      "background-color: #3a3a3a;");
    setAcceptDrops(true);
    setAttribute(Qt::WA_Hover, true);  // hover moves drive the Pixel Inspector
    setFocusPolicy(Qt::StrongFocus);

    buildMenus();
    buildButtonsAndRestoreState();
}

MainWindow::~MainWindow() {
    // A tool overlay and the views go with Qt parenthood; the views wait for
    // their display threads in their own destructors.
    // The children outlive this body (the base class deletes them), so no
    // signal of theirs may reach a slot of the window from here on: the
    // connections call the slots directly, on a window already taken apart.
    for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
    delete d->ui;
    d->ui = nullptr;
    d->pluginId = GrowString();
    forgetPreviewSource();
    d->previewSource.release();
    // The strip's controls go now, while the window is whole.
    delete d->controlStrip;
    d->controlStrip = nullptr;
    d->startScreenButtons.destroy();
    d->documentTabs.destroy();
    d->toolDisabledActions.destroy();
    freePrototypeList(d->tilePrototypes);
}

