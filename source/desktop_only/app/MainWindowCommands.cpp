// MainWindow: the panel commands (small integer ids carried by the tool
// panel's command buttons and two menu actions), the crop and straighten
// tool and the preview chooser.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "desktop_only/app/DesktopServices.h"
#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxCropTool.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxPreviewChooser.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxPanelItem.h"
#include "desktop_only/widgets/VxPanelItemBigButton.h"
#include "desktop_only/widgets/VxPanelItemHeader.h"
#include "desktop_only/widgets/VxPanelItemListButton.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "foundation/Preferences.h"
#include "framework/CompoundFilter.h"
#include "framework/CropMod.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"

void MainWindow::comIDButtonClicked(VxPanelItemBigButton* clicker, bool append) {
    if (!clicker) return;
    int comID = clicker->commandID();
    // An append press turns the preview chooser (1) and id 3 into their
    // appending forms.
    if (append && comID == 3) comID = 4;
    else if (append && comID == 1) comID = 2;
    runComID(comID);
}

void MainWindow::runComID(int comID) {
    DocumentTab* tab = current();
    if (!tab) return;
    switch (comID) {
    case 0:
        openCropTool();
        break;
    case 1:
        openPreviewChooser(false);
        break;
    case 2:
        openPreviewChooser(true);
        break;
    case 6:
        tab->view->rotateSource(false);
        break;
    case 7:
        tab->view->rotateSource(true);
        break;
    case 8: {
        if (!tab->view->hasMedia()) {
            showMessageDialog(this, "No Media Loaded", "No media is currently loaded.", "OK", "", "");
            break;
        }
        // The last file opened in any tab, which the open flow records. A
        // batch records its folder there instead: then the current file.
        GrowString path = globalPreferences().getString(GrowString("LastMediaLoadPath"), GrowString(""));
        if (!path.isEmpty() && QFileInfo(QFile::decodeName(path.c_str())).isDir()) path = tab->name;
        revealFileInBrowser(QFile::decodeName(path.c_str()));
        break;
    }
    case 9: {
        GrowString folder = applicationSupportFolder();
        folder.append("Presets/");
        folder = directoryPart(directoryPart(folder));
        openDesktopUrl(QUrl::fromLocalFile(QFile::decodeName(folder.c_str())));
        break;
    }
    case 10:
        saveFavoriteFilterPrompt();
        break;
    default:
        break;
    }
}

// Opens the crop tool over the current view on the document's crop tile,
// made when the document has none; the tray's state before is one undo
// step. Opened again while open, the tool closes.
void MainWindow::openCropTool() {
    DocumentTab* tab = current();
    if (!tab) return;
    if (d->activeTool) {
        if (qobject_cast<VxCropTool*>(d->activeTool)) toolRequestedExit(d->activeTool);
        return;
    }
    TrayWidget* tray = tab->tray;
    tray->recordContents();
    CropMod* crop = tray->cropTileForEditing();
    tray->deselectAll();
    VxCropTool* tool = new VxCropTool(d->mediaArea, crop);
    connect(tool, &VxToolWidget::requestToolExit, this, &MainWindow::toolRequestedExit);
    d->activeTool = tool;
    for (int32_t i = 0; i < d->toolDisabledActions.count; ++i) d->toolDisabledActions[i]->setEnabled(false);
    tab->view->setRenderCacheReset();
    tab->view->setGeometryChanged();
    refreshView();
    layoutWindow();
    buildControls(crop->vars, crop, true);
    layoutControls(true);
    updateTitle();
    tool->setFocus();
}

void MainWindow::toolRequestedExit(VxToolWidget* tool) {
    if (!tool || tool != d->activeTool) return;
    d->activeTool = nullptr;
    for (int32_t i = 0; i < d->toolDisabledActions.count; ++i) d->toolDisabledActions[i]->setEnabled(true);
    tool->hide();
    tool->setParent(nullptr);
    tool->deleteLater();
    DocumentTab* tab = current();
    // A crop tile that cuts nothing and turns nothing is not kept.
    if (tab && qobject_cast<VxCropTool*>(tool)) tab->tray->removeNeutralCropTiles();
    if (tab) {
        tab->tray->rebuildNodes();
        tab->view->setRenderCacheReset();
        tab->view->setGeometryChanged();
    }
    showSelectedTileControls();
    layoutWindow();
    refreshView();
    updateTitle();
}

// The chooser shows the tool panel's list-button tiles (the presets list)
// in the panel's sections, each as a thumbnail of the current photo.
void MainWindow::openPreviewChooser(bool append) {
    DocumentTab* tab = current();
    if (!tab || !d->previewChooser) return;
    GrowArray<PreviewSection> sections;
    const int32_t tabIndex = d->toolPanel->tabIndexFor(1);
    if (tabIndex >= 0) {
        for (VxPanelItem* item : d->toolPanel->tabs()[tabIndex].items) {
            if (item->itemKind() == VxPanelItem::kHeaderItem) {
                PreviewSection section;
                section.name = static_cast<VxPanelItemHeader*>(item)->name();
                sections.append(section);
            } else if (item->itemKind() == VxPanelItem::kListButtonItem) {
                if (sections.count == 0) {
                    PreviewSection section;
                    section.name = GrowString("Presets");
                    sections.append(section);
                }
                sections[sections.count - 1].mods.append(static_cast<VxPanelItemListButton*>(item)->mod());
            }
        }
    }
    d->previewChooser->setGeometry(0, 0, width(), height());
    d->previewChooser->open(tab->view, sections, append);
    d->previewChooser->raise();
    d->previewChooser->show();
    d->previewChooser->setFocus();
}
