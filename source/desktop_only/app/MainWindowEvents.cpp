// MainWindow: the window's own events: hover moves, key presses, drag and
// drop, closing and resizing.

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QResizeEvent>
#include <QUrl>

#include <algorithm>
#include <cmath>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/media/MediaExtensions.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "foundation/ImageBuffer.h"
#include "foundation/Preferences.h"
#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"

// Hover moves with no button held drive the Pixel Inspector's readout and
// the control strip's auto-hide. Every event goes on to the base class.
bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::HoverMove && QApplication::mouseButtons() == Qt::NoButton) {
        const auto* hover = static_cast<const QHoverEvent*>(event);
        // Window coordinates rounded to the nearest integer, halves upward.
        auto rounded = [](const QPointF& p) {
            return QPoint(saturatingInt(std::floor(p.x() + 0.5)), saturatingInt(std::floor(p.y() + 0.5)));
        };
        const QPoint at = rounded(hover->posF());
        const QPoint before = rounded(hover->oldPosF());
        updateInspectorHover(at);  // the Pixel Inspector's live readout
        slideControlStripOnHover(at, before);
    }
    return QMainWindow::event(event);
}

// Deletes the selected tiles of the list the tray shows (the master list, or
// the nested compound being edited): the selection's indices are those of
// the shown nodes, so they are applied to that list. One undo record holds
// the whole deletion.
GrowArray<int32_t> MainWindow::deleteSelectedTiles() {
    DocumentTab* tab = current();
    if (!tab) return GrowArray<int32_t>();
    TrayWidget* tray = tab->tray;
    GrowArray<int32_t> indices = tray->selectedIndices();
    if (indices.count > 0) tray->recordContents();
    return tray->removeDisplayedTiles(std::move(indices));
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    DocumentTab* tab = current();
    if ((key == Qt::Key_Backspace || key == Qt::Key_Delete) && !d->activeTool && tab) {
        GrowArray<int32_t> removed = deleteSelectedTiles();
        removed.destroy();
        trayContentChanged();
    }
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (d->activeTool) {
            toolRequestedExit(d->activeTool);
        } else if (tab) {
            tab->tray->deselectAll();
            showSelectedTileControls();
        }
    }
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->keyboardModifiers() | QApplication::keyboardModifiers();
    event->setDropAction(Qt::CopyAction);
    // While a tool is open the load actions are off; a drop must not replace
    // the photo or the tiles behind the tool either.
    if (d->activeTool) return;
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty()) return;
    const QString path = urls.first().toLocalFile();
    const int dot = path.lastIndexOf('.');
    const QString extension = dot < 0 ? QString() : path.mid(dot + 1);
    bool openable = false;
    if (!extension.isEmpty()) {
        GrowArray<GrowString> extensions = supportedOpenExtensions();
        for (const GrowString& e : extensions)
            if (extension.compare(QString::fromUtf8(e.c_str()), Qt::CaseInsensitive) == 0) openable = true;
        extensions.destroy();
    }
    if (openable) {
        if (d->hostMode) return;
        if (openMediaFile(path)) event->accept();
        return;
    }
    if (extension.compare("plf", Qt::CaseInsensitive) == 0) {
        loadFilterIntoDocument(GrowString(path.toUtf8().constData()), !(modifiers & Qt::ShiftModifier));
        event->accept();
        return;
    }
    showMessageDialog(this, "Load Image Error", "That file type is not supported.", "OK", "", "");
}

// The window and panel state into the preferences, then the file: written
// through a temporary file renamed over the old one, so a crash or a full
// disk never leaves an empty preferences file.
void MainWindow::storeWindowState() {
    Preferences& preferences = globalPreferences();
    GrowArray<GrowString> sections;
    for (int32_t tabID = 0; tabID <= 1; ++tabID) {
        GrowArray<GrowString> names = d->toolPanel->collapsedSectionNames(tabID);
        for (const GrowString& name : names) {
            GrowString entry;
            entry.appendInt(tabID);
            entry.append(" ");
            entry.appendString(name);
            sections.append(entry);
        }
        names.destroy();
    }
    preferences.setStringArray(GrowString("CollapsedToolSections"), sections);
    sections.destroy();
    preferences.setFloat(GrowString("PreferencesVersion"), 3.0f);
    preferences.setFloat(GrowString("DefaultFiltersVersion"), 3.1f);
    const QRect client = geometry();
    GrowString text;
    text.appendInt(client.x());
    text.append(" ");
    text.appendInt(client.y());
    text.append(" ");
    text.appendInt(client.width());
    text.append(" ");
    text.appendInt(client.height());
    preferences.setString(GrowString("WindowGeometry"), text, false);
    preferences.setBool(GrowString("IsFullscreen"), isMaximized(), false);
    preferences.setBool(GrowString("UseHoverPreviews"), d->toolPanel->hoverPreview(), false);
    preferences.setInt(GrowString("CurrentTab"), d->toolPanel->tabIndexFor(d->toolPanel->currentTabID()), false);
    preferences.writeFile();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    storeWindowState();
    QMainWindow::closeEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    layoutWindow();
    layoutControls(true);
}
