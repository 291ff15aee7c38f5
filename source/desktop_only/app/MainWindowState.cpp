// MainWindow: the last stretch of construction: the buttons floating over
// the window, the two labels, the start-screen button, one render of the
// empty document, and the window geometry and panel state restored from the
// preferences.

#include <QAction>
#include <QApplication>
#include <QDesktopWidget>
#include <QLabel>
#include <QPixmap>
#include <QScreen>

#include <cmath>
#include <algorithm>
#include <limits>
#include <string>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/widgets/VxPanelItemBigButton.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "foundation/Preferences.h"
#include "foundation/TextNumbers.h"
#include "foundation/XmlNode.h"

namespace {

const char* const kMiniButtonStyle =
    "QPushButton {"
    "background-color:transparent;"
    "background-image:none;"
    "border-image: url(:/img/mini_button_bg.png) 8 8 8 8;"
    "border-top: 4px transparent;"
    "border-bottom: 4px transparent;"
    "border-right: 4px transparent;"
    "border-left: 4px transparent;"
    "}";

VxPushButton* viewLayoutButton(QWidget* parent, const char* normal, const char* active) {
    auto* button = new VxPushButton(parent);
    button->setPixmaps(QPixmap(normal), QPixmap(active), true, true);
    button->setCheckable(true);
    button->hide();
    return button;
}

VxPushButton* miniButton(QWidget* parent, const char* normal, const char* active, bool checkable, int w, int h,
                         const char* toolTip) {
    auto* button = new VxPushButton(parent);
    button->setPixmaps(QPixmap(normal), active ? QPixmap(active) : QPixmap(), false, false);
    button->setCheckable(checkable);
    button->setFixedSize(w, h);
    button->setStyleSheet(kMiniButtonStyle);
    button->setToolTipText(toolTip);
    return button;
}

// The tab ids and sections collapsed when the key is missing.
GrowArray<GrowString> defaultCollapsedSections() {
    GrowArray<GrowString> defaults;
    for (const char* entry : {"0 Advanced Light", "0 Advanced Color", "0 Photographic", "0 Borders", "0 Utility",
                              "0 Masks"})
        defaults.append(GrowString(entry));
    return defaults;
}

}  // namespace

int32_t saturatedIntFromText(const char* text, const char** end) {
    char* stop = nullptr;
    const double value = cStrtod(text, &stop);
    if (end) *end = stop ? stop : text;
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

QRect restoredGeometry(const GrowString& text, int32_t screenWidth, int32_t screenHeight) {
    if (text.isEmpty()) return QRect(0, 0, 900, 700);
    // Four blank-separated numbers; a missing one reads as 0. Values are
    // saturated, so any text gives a sane window; sums are taken in 64 bits.
    int64_t v[4] = {0, 0, 0, 0};
    const char* p = text.c_str();
    for (int64_t& value : v) {
        while (*p == ' ' || *p == '\t') ++p;
        const char* token = p;
        while (*p && *p != ' ' && *p != '\t') ++p;
        const std::string piece(token, static_cast<size_t>(p - token));
        value = piece.empty() ? 0 : saturatedIntFromText(piece.c_str(), nullptr);
    }
    const int64_t SW = screenWidth, SH = screenHeight;
    const int64_t X = v[0] < 0 ? 0 : std::min(v[0], SW - 400);
    const int64_t Y = v[1] < 0 ? 0 : std::min(v[1], SH - 400);
    const int64_t W = v[2] < 400 ? 400 : std::min(v[2], SW - X);
    const int64_t H = v[3] < 400 ? 400 : std::min(v[3], SH - Y);
    return QRect(static_cast<int>(X), static_cast<int>(Y), static_cast<int>(W), static_cast<int>(H));
}

void MainWindow::buildButtonsAndRestoreState() {
    d->singleViewButton = viewLayoutButton(this, ":/img/panels_single_inactive.png", ":/img/panels_single_active.png");
    d->splitVerticalButton =
        viewLayoutButton(this, ":/img/panels_vertical_inactive.png", ":/img/panels_vertical_active.png");
    d->splitHorizontalButton =
        viewLayoutButton(this, ":/img/panels_horizontal_inactive.png", ":/img/panels_horizontal_active.png");
    for (VxPushButton* button : {d->singleViewButton, d->splitVerticalButton, d->splitHorizontalButton})
        connect(button, &VxPushButton::released, this, &MainWindow::viewportButtonPressed);

    d->hidePanelButton = miniButton(this, ":/img/minib_icon_hide_p.png", ":/img/minib_icon_show_p.png", true, 32, 22,
                                    "Show and hide the side panel.");
    d->hideTrayButton = miniButton(this, ":/img/minib_icon_hide_t.png", ":/img/minib_icon_show_t.png", true, 22, 32,
                                   "Show and hide the bottom tray.");
    d->previewButton = miniButton(this, ":/img/minib_icon_visible.png", nullptr, false, 22, 32,
                                  "Temporarily disable and re-enable the image modification tiles in the tray.");
    d->deleteNodesButton = miniButton(this, ":/img/minib_icon_del.png", nullptr, false, 22, 32,
                                      "Delete the image modification tiles in the tray. Press a second time to also "
                                      "delete pinned tiles.");
    connect(d->hidePanelButton, &VxPushButton::released, this, &MainWindow::hidePanelButtonPressed);
    connect(d->hideTrayButton, &VxPushButton::released, this, &MainWindow::hideTrayButtonPressed);
    connect(d->previewButton, &VxPushButton::pressed, this, &MainWindow::previewButtonPressed);
    connect(d->deleteNodesButton, &VxPushButton::pressed, this, &MainWindow::deleteNodesButtonPressed);

    d->cancelProcessingButton = new VxPushButton(this);
    d->cancelProcessingButton->setPixmaps(QPixmap(":/img/mini_icon_close.png"), QPixmap(), true, false);
    d->cancelProcessingButton->setFixedSize(18, 18);
    d->cancelProcessingButton->setToolTipText("Cancel all items currently queued for processing.");
    d->cancelProcessingButton->hide();
    connect(d->cancelProcessingButton, &VxPushButton::released, this, &MainWindow::cancelProcessingButtonPressed);

    if (d->hostMode) {
        d->sendToHostButton = new VxPanelItemBigButton(-1, GrowString("Send To Host"), this);
        // The panel's big button reports a click through pressed(), its one signal.
        connect(d->sendToHostButton, &VxPanelItemBigButton::pressed, this, &MainWindow::sendToPluginHost);
    }

    d->filterNameLabel = new QLabel(this);
    d->filterNameLabel->adjustSize();
    d->processingInfoLabel = new QLabel("ProcessingInfo", this);
    d->processingInfoLabel->adjustSize();
    d->processingInfoLabel->hide();

    // The start-screen button shows its image through the style sheet; the
    // image at half size gives its size.
    const QPixmap loadPhoto(":/img/startup_loadphoto.png");
    d->startLoadButton = new VxPushButton(d->mediaArea);
    d->startLoadButton->raise();
    d->startScreenButtons.append(d->startLoadButton);
    for (int32_t i = 0; i < d->startScreenButtons.count; ++i) {
        auto* button = static_cast<VxPushButton*>(d->startScreenButtons[i]);
        const QString style = QString("QPushButton {") + "background:none;" + "border-image: url(" +
                              ":/img/startup_loadphoto.png" + ");" + "border: 0px;" + "}" +
                              "QPushButton:hover {" + "background:none;" + "border-image: url(" +
                              ":/img/startup_loadphoto_high.png" + ");" + "border: 0px;" + "}";
        const QPixmap scaled =
            loadPhoto.isNull() ? QPixmap()
                               : loadPhoto.scaled(static_cast<int>(std::lround(loadPhoto.width() / 2.0)),
                                                  static_cast<int>(std::lround(loadPhoto.height() / 2.0)),
                                                  Qt::KeepAspectRatio, Qt::SmoothTransformation);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFlat(true);
        button->resize(scaled.size());
        button->setStyleSheet(style);
        button->raise();
        connect(button, &VxPushButton::released, this, &MainWindow::startupButtonPressed);
    }

    refreshView();
    restoreWindowState();
    updateTitle();
    setMinimumSize(600, 400);
    if (d->presetsMigrated && d->filtersOutdated)
        showMessageDialog(this, "Filters Updated",
                          "Your filters have been updated! You can always find archived backups of previous versions "
                          "by choosing \"Reveal Presets Folder\" from the File menu and browsing up one level to the "
                          "Presets Archive folder.",
                          "OK", "", "");
    d->layoutReady = true;
    layoutWindow();
}

void MainWindow::restoreWindowState() {
    Preferences& preferences = globalPreferences();
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                          : QRect(0, 0, 1280, 800);
    const GrowString geometryText =
        preferences.getString(GrowString("WindowGeometry"), GrowString("100 100 1200 800"));
    setGeometry(restoredGeometry(geometryText, screen.width(), screen.height()));
    if (preferences.getBool(GrowString("IsFullscreen"), false)) showMaximized();
    d->toolPanel->setHoverPreview(preferences.getBool(GrowString("UseHoverPreviews"), true));
    if (d->hoverPreviewsAction) d->hoverPreviewsAction->setChecked(d->toolPanel->hoverPreview());
    const bool autohide = preferences.getBool(GrowString("AutohideControls"), false);
    if (d->autohideControlsAction) d->autohideControlsAction->setChecked(autohide);
    d->toolPanel->setCurrentTab(preferences.getInt(GrowString("CurrentTab"), 0));

    // A key of another type gives the defaults and stays as it is.
    const GrowString key("CollapsedToolSections");
    GrowArray<GrowString> defaults = defaultCollapsedSections();
    GrowArray<GrowString> entries;
    XmlNode* element = preferences.root.findChild(key);
    if (!element) {
        preferences.setStringArray(key, defaults);
        entries = std::move(defaults);
    } else if (element->attribute(GrowString("type")) == "string array") {
        entries = preferences.getStringArray(key, defaults);
    } else {
        entries = std::move(defaults);
    }
    for (const GrowString& entry : entries) {
        const char* rest = entry.c_str();
        while (*rest == ' ') ++rest;
        const char* token = rest;
        while (*rest && *rest != ' ') ++rest;
        const std::string id(token, static_cast<size_t>(rest - token));
        const int32_t tabID = saturatedIntFromText(id.c_str(), nullptr);
        if (*rest == ' ') ++rest;
        d->toolPanel->setSectionCollapsed(tabID, GrowString(rest), true);
    }
    entries.destroy();
    defaults.destroy();
}
