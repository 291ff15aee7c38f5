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
#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxHistogramWidget.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/ToneCurveWidget.h"
#include "desktop_only/widgets/VxRenderQueueWindow.h"
#include "desktop_only/widgets/VxSubWindow.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "foundation/Preferences.h"
#include "framework/Curve.h"
#include "framework/ImageMod.h"
#include "framework/ModVar.h"
#include "framework/PresetBundle.h"

double hueHandlePosition(double hueOffset) {
    double position = (180.0 - hueOffset) * (1.0 / 180.0);
    if (!(position >= -1.0)) position = -1.0;  // NaN goes to an end too
    if (position > 1.0) position = 1.0;
    return position;
}

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

}  // namespace

void MainWindow::actionTriggered(QAction* action) {
    if (!action) return;
    if (action == copyCurveAction) {
        copyCurve();
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
    if (action == pasteCurveAction) {
        pasteCurve();
        return;
    }
    if (!tab) return;
    TrayWidget* tray = tab->tray;
    VxMediaWidget* view = tab->view;

    if (textIs(text, "Load Photo...")) {
        loadPhotoPrompt();
    } else if (textIs(text, "New Tab")) {
        buildDocumentTab();
    } else if (textIs(text, "Save As...")) {
        saveMedia(false, true);
    } else if (textIs(text, "Save Over Original")) {
        saveMedia(false, false);
    } else if (textIs(text, "Send To Host")) {
        sendToPluginHost();
    } else if (textIs(text, "Save Video Frame...")) {
        saveMedia(true, true);
    } else if (textIs(text, "Preview Video")) {
    } else if (textIs(text, "Batch Process Folder...")) {
        batchProcessFolder();
    } else if (textIs(text, "Reveal Current File")) {
        runComID(8);
    } else if (textIs(text, "Close Photo")) {
        closePhoto();
    } else if (textIs(text, "Load Next")) {
        loadAdjacentMedia(1);
    } else if (textIs(text, "Load Previous")) {
        loadAdjacentMedia(-1);
    } else if (textIs(text, "Export Preset...")) {
        exportFilterPrompt(false);
    } else if (textIs(text, "Export Filter LUT...")) {
        exportFilterPrompt(true);
    } else if (textIs(text, "Load Preset...")) {
        const GrowString start = globalPreferences().getString(GrowString("LastFilterLoadDir"), GrowString(""));
        GrowArray<GrowString> extensions;
        extensions.append(GrowString("plf"));
        const GrowString path = chooseOpenFile(this, GrowString("Load Filter"), start, extensions);
        if (path.isEmpty()) return;
        globalPreferences().setString(GrowString("LastFilterLoadDir"), path, false);
        loadFilterIntoDocument(path, true);
    } else if (textIs(text, "Save Filter to Presets...")) {
        saveFavoriteFilterPrompt();
    } else if (textIs(text, "Reveal Presets Folder")) {
        runComID(9);
    } else if (textIs(text, "Test Function")) {
        const GrowString start = globalPreferences().getString(GrowString("LastFilterLoadDir"), GrowString(""));
        GrowArray<GrowString> extensions;
        extensions.append(GrowString("bnd"));
        const GrowString path = chooseOpenFile(this, GrowString("Load Archive"), start, extensions);
        if (path.isEmpty()) return;
        const GrowString folder = archiveFolderFor(path);
        if (!folder.isEmpty()) unpackBundle(path, folder);
        globalPreferences().setString(GrowString("LastFilterLoadDir"), path, false);
    } else if (textIs(text, "Preferences...")) {
        openPreferencesWindow();
    } else if (textIs(text, "Crop/Straighten")) {
        openCropTool();
    } else if (textIs(text, "Undo") || textIs(text, "Redo")) {
        if (activeTool) return;
        if (textIs(text, "Undo")) tray->undo();
        else tray->redo();
        emit tray->trayAdjusted();
    } else if (textIs(text, "Rotate Left") || textIs(text, "Rotate Right")) {
        view->rotateSource(textIs(text, "Rotate Right"));
        refreshView();
    } else if (textIs(text, "Quicklook Cameras") || textIs(text, "Quicklook Cameras (Append)") ||
               textIs(text, "Quicklook Borders")) {
    } else if (textIs(text, "Quicklook Presets")) {
        openPreviewChooser(false);
    } else if (textIs(text, "Quicklook Presets (Append)")) {
        openPreviewChooser(true);
    } else if (textIs(text, "Previous Style")) {
        stepPreset(-1, false);
    } else if (textIs(text, "Next Style")) {
        stepPreset(1, false);
    } else if (textIs(text, "Remix Up")) {
        stepRemixValues(10.0f);
    } else if (textIs(text, "Remix Down")) {
        stepRemixValues(-10.0f);
    } else if (textIs(text, "Random Preset")) {
        stepPreset(1, true);
    } else if (textIs(text, "Toggle Original")) {
        tray->setPreviewMode(!tray->previewMode());
        showSelectedTileControls();
        refreshView();
    } else if (textIs(text, "Unnest Selected Tile") || textIs(text, "Nest Selected Tiles")) {
        tray->recordContents();
        if (textIs(text, "Unnest Selected Tile")) tray->unnestSelectedTile();
        else tray->nestSelectedTiles();
        view->setRenderCacheReset();
        showSelectedTileControls();
        refreshView();
        updateTitle();
    } else if (textIs(text, "Zoom To 100%")) {
        view->setZoom(1.0f, -1.0f, -1.0f);
    } else if (textIs(text, "Zoom To Fit")) {
        view->setZoom(0.0f, -1.0f, -1.0f);
    } else if (textIs(text, "Zoom Toggle")) {
        if (!view->atFullSize()) view->setZoom(1.0f, -1.0f, -1.0f);
        else view->setZoom(0.0f, -1.0f, -1.0f);
    } else if (textIs(text, "Show/Hide Tray")) {
        hideTrayButtonPressed();
    } else if (textIs(text, "Show/Hide Render Queue") || textIs(text, "Show/Hide Pixel Inspector")) {
        QWidget* window = textIs(text, "Show/Hide Render Queue") ? static_cast<QWidget*>(renderQueueWindow)
                                                                  : static_cast<QWidget*>(pixelInspectorWindow);
        window->setVisible(window->isHidden());
        if (!window->isHidden()) window->raise();
    } else if (textIs(text, "Luminance Histogram")) {
        toggleHistogramView(VxHistogramWidget::kLuminanceHistogram);
    } else if (textIs(text, "RGB Histogram")) {
        toggleHistogramView(VxHistogramWidget::kRgbHistogram);
    } else if (textIs(text, "RGB Waveform")) {
        toggleHistogramView(VxHistogramWidget::kRgbWaveform);
    } else if (textIs(text, "Luminance Waveform")) {
        toggleHistogramView(VxHistogramWidget::kLuminanceWaveform);
    } else if (textIs(text, "Chrominance Chart")) {
        toggleHistogramView(VxHistogramWidget::kChrominanceChart);
    } else if (textIs(text, "Show/Hide Tool Panel")) {
        hidePanelButtonPressed();
    } else if (textIs(text, "Cycle Interface")) {
        cycleInterfaceVisibility();
    } else if (textIs(text, "Toggle Interface")) {
        toggleInterfaceVisibility();
    } else if (textIs(text, "Single View") || textIs(text, "Split Screen Vertical") ||
               textIs(text, "Split Screen Horizontal")) {
    } else if (textIs(text, "Show Hover Previews")) {
        toolPanel->hoverPreview = action->isChecked();
    } else if (textIs(text, "Autohide Controls")) {
        autohideControls = action->isChecked();
        globalPreferences().setBool(GrowString("AutohideControls"), autohideControls, true);
    } else if (textIs(text, "Send Feedback") || textIs(text, "30-Second How-To Video") ||
               textIs(text, "5-Minute How-To Video") || textIs(text, "Help Website") ||
               textIs(text, "Video Channel")) {
        // Every help page is the program's own README.
        openDesktopUrl(readmeUrl());
    } else if (textIs(text, "About")) {
        std::printf("\n open about dialog");
        std::fflush(stdout);
        showAboutDialog();
    }
}

void MainWindow::closePhoto() {
    DocumentTab* tab = current();
    if (!tab) return;
    tab->view->clearMedia();
    tab->name = GrowString("");
    tab->tray->clearPreMods();
    if (documentTabs.count >= 2) documentTabWantsClosing(tab->tabID);
    layoutWindow();
    updateTitle();
}

void MainWindow::stepPreset(int32_t step, bool random) {
    GrowArray<ImageMod*> presets = toolPanel->presetMods();
    const int32_t n = presets.count;
    // With no saved preset there is nothing to step to.
    if (n == 0) return;
    if (random) presetIndex = std::rand() % n;  // reduced first, so the step cannot overflow
    if (presetIndex < 0 || presetIndex >= n) presetIndex = 0;
    presetIndex = step < 0 ? (n + presetIndex - 1) % n : (presetIndex + 1) % n;
    ImageMod* preset = presets[presetIndex];
    presets.destroy();
    addModToTray(preset, false, false, false);
}

void MainWindow::copyCurve() {
    if (!rightClickedControl || !rightClickedControl->var) return;
    const CurveValue* value = rightClickedControl->var->curveValue();
    if (!value) return;
    delete copiedCurve;
    copiedCurve = new Curve(value->curve);
}

void MainWindow::pasteCurve() {
    if (!rightClickedControl || !rightClickedControl->var || !copiedCurve) return;
    CurveValue* value = rightClickedControl->var->curveValue();
    if (!value) return;
    std::printf("pasted the curve!\n");
    std::fflush(stdout);
    pastedHuePosition = hueHandlePosition(copiedCurve->hueOffset);
    if (auto* widget = qobject_cast<ToneCurveWidget*>(rightClickedControl->control)) {
        // The control takes the curve and its handle; the strip's edit path
        // writes them into the var and re-renders.
        widget->curve = *copiedCurve;
        widget->huePosition = static_cast<float>(pastedHuePosition);
        widget->update();
        controlAdjusted(widget);
        return;
    }
    // A record without its curve control: the var takes the curve itself.
    value->curve = *copiedCurve;
    if (rightClickedControl->tile) rightClickedControl->tile->varChanged(rightClickedControl->index);
    if (DocumentTab* tab = current()) tab->view->setRenderCacheReset();
    refreshView();
}
