// MainWindow: the action dispatcher. Every menu entry and window-level
// key action ends here; the action is recognised by identity (the two
// curve-menu entries) or by its exact text (byte for byte, nothing
// trimmed), and performed mostly by an operation of another concern.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "desktop_only/app/DesktopServices.h"
#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxHistogramWidget.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxRenderQueueWindow.h"
#include "desktop_only/widgets/VxSubWindow.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "foundation/Preferences.h"
#include "framework/ImageMod.h"
#include "framework/ModVar.h"
#include "framework/PresetBundle.h"

GrowString archiveFolderFor(const GrowString& archivePath) {
    // Only the file name loses its extension: a dot in a folder name, or a
    // name that is all extension (".bnd"), must not move the target.
    const QFileInfo info(QFile::decodeName(archivePath.c_str()));
    const QString base = info.completeBaseName();
    if (info.fileName().isEmpty() || base.isEmpty()) return GrowString("");
    const QString folder = info.dir().filePath(base);
    if (QFileInfo(folder).exists() && !QFileInfo(folder).isDir()) return GrowString("");
    return GrowString(QFile::encodeName(folder).constData());
}

namespace {

bool textIs(const GrowString& text, const char* literal) {
    return text.length == static_cast<int32_t>(std::strlen(literal)) + 1 &&
           std::memcmp(text.c_str(), literal, text.length - 1) == 0;
}

// One row of the dispatch table: the action's text, compared byte for byte,
// and what the window does for it (null: the action is known and does
// nothing). The handler gets the current document.
struct DispatchRow {
    const char* text;
    void (*perform)(MainWindow& window, DocumentTab& tab, QAction& action);
};

// Asks for a file of one extension, starting at "LastFilterLoadDir"; "" when
// cancelled.
GrowString chooseInFilterFolder(QWidget* parent, const char* title, const char* extension) {
    const GrowString start = globalPreferences().getString(GrowString("LastFilterLoadDir"), GrowString(""));
    GrowArray<GrowString> extensions;
    extensions.append(GrowString(extension));
    return MainWindow::chooseOpenFile(parent, GrowString(title), start, extensions);
}

void toggleSubWindow(QWidget* window) {
    window->setVisible(window->isHidden());
    if (!window->isHidden()) window->raise();
}

// Every help page is the program's own README.
void openHelpPage(MainWindow&, DocumentTab&, QAction&) { openDesktopUrl(readmeUrl()); }

}  // namespace

void MainWindow::actionTriggered(QAction* action) {
    if (!action) return;
    const ControlStrip::CurveMenuEntry curveEntry = d->controlStrip->curveMenuEntry(action);
    if (curveEntry == ControlStrip::CurveMenuEntry::kCopy) {
        d->controlStrip->copyCurve();
        return;
    }
    const GrowString text(action->text().toUtf8().constData());
    DocumentTab* tab = current();
    if (textIs(text, "Left Pressed") || textIs(text, "Right Pressed")) {
        const int32_t step = textIs(text, "Left Pressed") ? -1 : 1;
        if (tab && tab->view->hasMedia() && tab->view->hasVideoSource()) {
            tab->view->stepFrame(step);
            refreshView();
        } else {
            loadAdjacentMedia(step);
        }
        return;
    }
    if (curveEntry == ControlStrip::CurveMenuEntry::kPaste) {
        d->controlStrip->pasteCurve();
        return;
    }
    if (!tab) return;

    // The remaining actions in the order they are tested; the first row
    // whose text matches is performed. Rows whose text no menu carries stay,
    // so that an action given such a text still does what it always did.
    using W = MainWindow;
    using T = DocumentTab;
    using Graph = VxHistogramWidget;
    static constexpr DispatchRow rows[] = {
        {"Load Photo...", [](W& w, T&, QAction&) { w.loadPhotoPrompt(); }},
        {"New Tab", [](W& w, T&, QAction&) { w.buildDocumentTab(); }},
        {"Save As...", [](W& w, T&, QAction&) { w.saveMedia(false, true); }},
        {"Save Over Original", [](W& w, T&, QAction&) { w.saveMedia(false, false); }},
        {"Send To Host", [](W& w, T&, QAction&) { w.sendToPluginHost(); }},
        {"Save Video Frame...", [](W& w, T&, QAction&) { w.saveMedia(true, true); }},
        {"Preview Video", nullptr},
        {"Batch Process Folder...", [](W& w, T&, QAction&) { w.batchProcessFolder(); }},
        {"Reveal Current File", [](W& w, T&, QAction&) { w.runComID(8); }},
        {"Close Photo", [](W& w, T&, QAction&) { w.closePhoto(); }},
        {"Load Next", [](W& w, T&, QAction&) { w.loadAdjacentMedia(1); }},
        {"Load Previous", [](W& w, T&, QAction&) { w.loadAdjacentMedia(-1); }},
        {"Export Preset...", [](W& w, T&, QAction&) { w.exportFilterPrompt(false); }},
        {"Export Filter LUT...", [](W& w, T&, QAction&) { w.exportFilterPrompt(true); }},
        {"Load Preset...", [](W& w, T&, QAction&) { w.loadPresetPrompt(); }},
        {"Save Filter to Presets...", [](W& w, T&, QAction&) { w.saveFavoriteFilterPrompt(); }},
        {"Reveal Presets Folder", [](W& w, T&, QAction&) { w.runComID(9); }},
        {"Test Function", [](W& w, T&, QAction&) { w.unpackArchivePrompt(); }},
        {"Preferences...", [](W& w, T&, QAction&) { w.openPreferencesWindow(); }},
        {"Crop/Straighten", [](W& w, T&, QAction&) { w.openCropTool(); }},
        {"Undo", [](W& w, T& t, QAction&) { w.undoOrRedo(t.tray, false); }},
        {"Redo", [](W& w, T& t, QAction&) { w.undoOrRedo(t.tray, true); }},
        {"Rotate Left",
         [](W& w, T& t, QAction&) {
             t.view->rotateSource(false);
             w.refreshView();
         }},
        {"Rotate Right",
         [](W& w, T& t, QAction&) {
             t.view->rotateSource(true);
             w.refreshView();
         }},
        {"Quicklook Cameras", nullptr},
        {"Quicklook Cameras (Append)", nullptr},
        {"Quicklook Borders", nullptr},
        {"Quicklook Presets", [](W& w, T&, QAction&) { w.openPreviewChooser(false); }},
        {"Quicklook Presets (Append)", [](W& w, T&, QAction&) { w.openPreviewChooser(true); }},
        {"Previous Style", [](W& w, T&, QAction&) { w.stepPreset(-1, false); }},
        {"Next Style", [](W& w, T&, QAction&) { w.stepPreset(1, false); }},
        {"Remix Up", [](W& w, T&, QAction&) { w.stepRemixValues(10.0f); }},
        {"Remix Down", [](W& w, T&, QAction&) { w.stepRemixValues(-10.0f); }},
        {"Random Preset", [](W& w, T&, QAction&) { w.stepPreset(1, true); }},
        {"Toggle Original", [](W& w, T&, QAction&) { w.previewButtonPressed(); }},
        {"Unnest Selected Tile", [](W& w, T& t, QAction&) { w.changeNesting(t.tray, false); }},
        {"Nest Selected Tiles", [](W& w, T& t, QAction&) { w.changeNesting(t.tray, true); }},
        {"Zoom To 100%", [](W&, T& t, QAction&) { t.view->setZoom(1.0f, -1.0f, -1.0f); }},
        {"Zoom To Fit", [](W&, T& t, QAction&) { t.view->setZoom(0.0f, -1.0f, -1.0f); }},
        {"Zoom Toggle",
         [](W&, T& t, QAction&) {
             VxMediaWidget* view = t.view;
             if (!view->atFullSize()) view->setZoom(1.0f, -1.0f, -1.0f);
             else view->setZoom(0.0f, -1.0f, -1.0f);
         }},
        {"Show/Hide Tray", [](W& w, T&, QAction&) { w.hideTrayButtonPressed(); }},
        {"Show/Hide Render Queue", [](W& w, T&, QAction&) { toggleSubWindow(w.d->renderQueueWindow); }},
        {"Show/Hide Pixel Inspector", [](W& w, T&, QAction&) { toggleSubWindow(w.d->pixelInspectorWindow); }},
        {"Luminance Histogram", [](W& w, T&, QAction&) { w.toggleHistogramView(Graph::kLuminanceHistogram); }},
        {"RGB Histogram", [](W& w, T&, QAction&) { w.toggleHistogramView(Graph::kRgbHistogram); }},
        {"RGB Waveform", [](W& w, T&, QAction&) { w.toggleHistogramView(Graph::kRgbWaveform); }},
        {"Luminance Waveform", [](W& w, T&, QAction&) { w.toggleHistogramView(Graph::kLuminanceWaveform); }},
        {"Chrominance Chart", [](W& w, T&, QAction&) { w.toggleHistogramView(Graph::kChrominanceChart); }},
        {"Show/Hide Tool Panel", [](W& w, T&, QAction&) { w.hidePanelButtonPressed(); }},
        {"Cycle Interface", [](W& w, T&, QAction&) { w.cycleInterfaceVisibility(); }},
        {"Toggle Interface", [](W& w, T&, QAction&) { w.toggleInterfaceVisibility(); }},
        {"Single View", nullptr},
        {"Split Screen Vertical", nullptr},
        {"Split Screen Horizontal", nullptr},
        {"Show Hover Previews", [](W& w, T&, QAction& a) { w.d->toolPanel->setHoverPreview(a.isChecked()); }},
        {"Autohide Controls",
         [](W& w, T&, QAction& a) {
             w.d->autohideControls = a.isChecked();
             globalPreferences().setBool(GrowString("AutohideControls"), w.d->autohideControls, true);
         }},
        {"Send Feedback", openHelpPage},
        {"30-Second How-To Video", openHelpPage},
        {"5-Minute How-To Video", openHelpPage},
        {"Help Website", openHelpPage},
        {"Video Channel", openHelpPage},
        {"About",
         [](W& w, T&, QAction&) {
             std::printf("\n open about dialog");
             std::fflush(stdout);
             w.showAboutDialog();
         }},
    };
    for (const DispatchRow& row : rows) {
        if (!textIs(text, row.text)) continue;
        if (row.perform) row.perform(*this, *tab, *action);
        return;
    }
}

void MainWindow::loadPresetPrompt() {
    const GrowString path = chooseInFilterFolder(this, "Load Filter", "plf");
    if (path.isEmpty()) return;
    globalPreferences().setString(GrowString("LastFilterLoadDir"), path, false);
    loadFilterIntoDocument(path, true);
}

void MainWindow::unpackArchivePrompt() {
    const GrowString path = chooseInFilterFolder(this, "Load Archive", "bnd");
    if (path.isEmpty()) return;
    const GrowString folder = archiveFolderFor(path);
    if (!folder.isEmpty()) unpackBundle(path, folder);
    globalPreferences().setString(GrowString("LastFilterLoadDir"), path, false);
}

void MainWindow::undoOrRedo(TrayWidget* tray, bool redo) {
    if (d->activeTool) return;
    if (redo) tray->redo();
    else tray->undo();
    trayContentChanged();
}

void MainWindow::changeNesting(TrayWidget* tray, bool nest) {
    tray->recordContents();
    if (nest) tray->nestSelectedTiles();
    else tray->unnestSelectedTile();
    trayContentChanged();
}

void MainWindow::closePhoto() {
    DocumentTab* tab = current();
    if (!tab) return;
    tab->view->clearMedia();
    tab->name = GrowString("");
    tab->failedNeighbour = GrowString("");
    tab->failedStep = 0;
    tab->tray->clearPreMods();
    if (d->documentTabs.count >= 2) documentTabWantsClosing(tab->tabID);
    layoutWindow();
    updateTitle();
}

void MainWindow::stepPreset(int32_t step, bool random) {
    GrowArray<ImageMod*> presets = d->toolPanel->presetMods();
    const int32_t n = presets.count;
    // With no saved preset there is nothing to step to.
    if (n == 0) return;
    if (random) d->presetIndex = std::rand() % n;  // reduced first, so the step cannot overflow
    if (d->presetIndex < 0 || d->presetIndex >= n) d->presetIndex = 0;
    d->presetIndex = step < 0 ? (n + d->presetIndex - 1) % n : (d->presetIndex + 1) % n;
    ImageMod* preset = presets[d->presetIndex];
    presets.destroy();
    addModToTray(preset, false, false, false);
}
