// MainWindow: opening photos into the current document and loading filter
// files into its tray.

#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <memory>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/MediaExtensions.h"
#include "desktop_only/tray/TrayWidget.h"
#include "foundation/Preferences.h"
#include "framework/CompoundFilter.h"
#include "framework/FilterFile.h"
#include "framework/ImageLoaderSaver.h"
#include "framework/ImageMod.h"

namespace {

// Reads the photo as float samples: RGB, or RGB and alpha when the picture
// has alpha. Null when it cannot be read; reason then receives the loader's
// words for why (it stays empty when the loader gives none).
std::unique_ptr<ImageBuffer> loadPhoto(const GrowString& path, std::unique_ptr<ImageMetadata>* metadata,
                                       GrowString* reason) {
    if (!gImageLoaderSaver) return nullptr;
    auto image = std::make_unique<ImageBuffer>();
    image->channels = 3;
    const bool applyProfile = globalPreferences().getInt(GrowString("ColorProfileImport"), 0) == 0;
    bool loaded;
    if (auto* desktop = dynamic_cast<DesktopImageLoaderSaver*>(gImageLoaderSaver))
        loaded = desktop->loadFloatKeepingAlpha(path, image.get(), applyProfile, metadata, reason);
    else
        loaded = gImageLoaderSaver->loadFloat(path, image.get(), applyProfile, metadata, reason);
    if (!loaded || !image->data || image->width < 1 || image->height < 1) return nullptr;
    return image;
}

// Natural name order: runs of digits compare by their value ("img2"
// before "img10"), everything else by character, case-insensitively first.
bool naturalLess(const QString& a, const QString& b) {
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            int i2 = i, j2 = j;
            while (i2 < a.size() && a[i2] == '0') ++i2;
            while (j2 < b.size() && b[j2] == '0') ++j2;
            int iEnd = i2, jEnd = j2;
            while (iEnd < a.size() && a[iEnd].isDigit()) ++iEnd;
            while (jEnd < b.size() && b[jEnd].isDigit()) ++jEnd;
            if (iEnd - i2 != jEnd - j2) return iEnd - i2 < jEnd - j2;
            const int c = QStringRef(&a, i2, iEnd - i2).compare(QStringRef(&b, j2, jEnd - j2));
            if (c != 0) return c < 0;
            i = iEnd;
            j = jEnd;
            continue;
        }
        const QChar x = a[i].toLower(), y = b[j].toLower();
        if (x != y) return x < y;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

}  // namespace

// Decided by the file system rather than by the look of the path: a folder
// may have a dot in its name and a file none.
GrowString folderOfRecentPath(const GrowString& path) {
    if (path.isEmpty()) return GrowString("");
    const QFileInfo info(QFile::decodeName(path.c_str()));
    const QString folder = QDir::cleanPath(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    return GrowString(QFile::encodeName(folder).constData());
}

// The photo is read before anything of the document is touched, so a file
// that cannot be read leaves the document as it was. Every way of opening a
// photo comes here (the open dialog, a drop, the command line, the
// desktop's requests, Load Next and Previous): beneath "Can't Load File"
// the smaller detail line gives the loader's reason as the batch's report
// does ("file: reason"), with the file's name alone, since the message
// above holds the whole path.
bool MainWindow::openMediaFile(const QString& path) {
    DocumentTab* tab = current();
    if (!tab) return false;
    const GrowString nativePath(QFile::encodeName(path).constData());
    std::unique_ptr<ImageMetadata> metadata;
    GrowString reason;
    std::unique_ptr<ImageBuffer> image = loadPhoto(nativePath, &metadata, &reason);
    if (!image) {
        showMessageDialog(this, "Can't Load File",
                          QString("The file \"%1\" could not be opened as an image.").arg(path), "OK", "", "",
                          reason.isEmpty() ? QString() : failureLine(fileNamePart(nativePath), reason));
        return false;
    }
    VxMediaWidget* view = tab->view;
    view->clearMedia();
    view->setSource(image.release(), std::move(metadata));
    tab->name = nativePath;
    tab->failedNeighbour = GrowString("");
    tab->failedStep = 0;
    view->resetZoomAndPan();
    view->setHasMedia(true);
    view->setRenderCacheReset();
    view->setGeometryChanged();
    tab->tray->rebuildNodes();
    layoutWindow();
    showSelectedTileControls();
    refreshView();
    view->updateImageRect();
    updateTitle();
    // The last file opened in any tab: where the next open dialog starts
    // and what "Reveal Current File" shows.
    globalPreferences().setString(GrowString("LastMediaLoadPath"), nativePath, false);
    return true;
}

std::function<GrowString(const GrowString& title)>& MainWindow::openFileChooserOverride() {
    static std::function<GrowString(const GrowString&)> chooser;
    return chooser;
}

GrowString MainWindow::chooseOpenFile(QWidget* parent, const GrowString& title, const GrowString& startPath,
                                      const GrowArray<GrowString>& extensions) {
    if (openFileChooserOverride()) return openFileChooserOverride()(title);
    QStringList patterns;
    for (const GrowString& extension : extensions) {
        patterns << "*." + QString::fromUtf8(extension.c_str());
        patterns << "*." + QString::fromUtf8(extension.c_str()).toUpper();
    }
    const QString filter = patterns.isEmpty() ? QString() : "Files (" + patterns.join(' ') + ")";
    const QString chosen = QFileDialog::getOpenFileName(parent, QString::fromUtf8(title.c_str()),
                                                        QFile::decodeName(startPath.c_str()), filter);
    if (chosen.isEmpty()) return GrowString("");
    return GrowString(QFile::encodeName(chosen).constData());
}

void MainWindow::loadPhotoPrompt() {
    const GrowString start =
        folderOfRecentPath(globalPreferences().getString(GrowString("LastMediaLoadPath"), GrowString("")));
    const GrowString path = chooseOpenFile(this, GrowString("Load Image"), start, supportedOpenExtensions());
    if (path.isEmpty()) return;
    openMediaFile(QFile::decodeName(path.c_str()));
}

// The neighbours are the folder's openable files in natural name order
// ("img2" before "img10"); past either end the walk wraps around. A file
// that cannot be read reports "Can't Load File" and leaves the document, and
// the walk remembers it: the next step in the same direction goes on from
// that file, so an unreadable file never hides the photos beyond it.
//
// A step the other way after a failure starts from the photo shown, not
// from the failed file: a step back from there would come to the photo
// shown (or to a file that failed before), which would either open it again
// for nothing or do nothing visible. From the photo shown, the step back
// goes where it would have gone had nothing failed. A walk that comes round
// to the photo shown stops there and does not read it again.
void MainWindow::loadAdjacentMedia(int32_t step) {
    DocumentTab* tab = current();
    if (!tab || tab->name.isEmpty() || (step != 1 && step != -1)) return;
    const GrowString shown = tab->name;
    const int tabID = tab->tabID;
    const QFileInfo shownFile(QFile::decodeName(shown.c_str()));
    const bool goingOn = !tab->failedNeighbour.isEmpty() && tab->failedStep == step;
    const QFileInfo from(goingOn ? QFile::decodeName(tab->failedNeighbour.c_str()) : shownFile.absoluteFilePath());
    tab->failedNeighbour = GrowString("");
    tab->failedStep = 0;
    const QDir folder = shownFile.absoluteDir();
    QStringList names;
    for (const QString& name : folder.entryList(QDir::Files | QDir::Readable | QDir::Hidden)) {
        if (hasSupportedOpenExtension(GrowString(QFile::encodeName(name).constData()))) names << name;
    }
    std::sort(names.begin(), names.end(), naturalLess);
    const int n = names.size();
    if (n == 0) return;
    int index = names.indexOf(from.fileName());
    if (index < 0) {
        // The file is gone: start from where it would stand.
        index = 0;
        while (index < n && naturalLess(names[index], from.fileName())) ++index;
        index = step > 0 ? index - 1 : index;
    }
    index = ((index + step) % n + n) % n;
    const QString candidate = folder.filePath(names[index]);
    if (candidate == shownFile.absoluteFilePath()) return;
    if (openMediaFile(candidate)) return;
    // The message ran an event loop: the tab is looked up again, and a tab
    // that shows another file meanwhile starts its walk afresh.
    for (DocumentTab& record : d->documentTabs) {
        if (record.tabID != tabID || record.name != shown) continue;
        record.failedNeighbour = GrowString(QFile::encodeName(candidate).constData());
        record.failedStep = step;
    }
}

// The file is read first: a file that yields no tile changes nothing.
void MainWindow::loadFilterIntoDocument(const GrowString& path, bool replaceTiles) {
    DocumentTab* tab = current();
    if (!tab) return;
    TrayWidget* tray = tab->tray;
    GrowArray<ImageMod*> loaded;
    uint32_t status = kFilterReadClean;
    GrowString reason;
    loadFilterFile(loaded, path, d->tilePrototypes, status, &reason);
    std::printf("got filter name %s with retVal %i\n", path.c_str(), static_cast<int>(status));
    std::fflush(stdout);
    // A problem comes with the reader's reason ("is cut short: it ends
    // inside a tag", "names a tile this program does not have: ...").
    const QString fileName = QFile::decodeName(path.c_str());
    const QString problem =
        status == kFilterFromNewerRelease
            ? QString("The filter \"%1\" was made by a newer release; parts of it may be missing.").arg(fileName)
        : reason.isEmpty() ? QString("The filter \"%1\" could not be read completely.").arg(fileName)
                           : QString("The filter \"%1\" %2.").arg(fileName, QString::fromUtf8(reason.c_str()));
    if (loaded.count == 0) {
        if (status != kFilterReadClean)
            showMessageDialog(this, "Filter Load Error", problem, "OK", "", "");
        loaded.destroy();
        if (status != kFilterReadClean) return;
    }
    tray->recordContents();
    if (replaceTiles) tray->deleteTiles(false);
    for (int32_t i = 0; i < loaded.count; ++i) {
        tray->addMod(tray->masterList(), loaded[i], false);
        delete loaded[i];
    }
    loaded.destroy();
    tray->setFilterName(removeExtension(fileNamePart(path)));
    tab->view->setRenderCacheReset();
    showSelectedTileControls();
    refreshView();
    updateTitle();
    if (status != kFilterReadClean) showMessageDialog(this, "Filter Load Error", problem, "OK", "", "");
}

void MainWindow::loadFilterSlot(const QString& fileName) { loadFilterSlot(fileName, true); }

void MainWindow::loadFilterSlot(const QString& fileName, bool removeTrayNodes) {
    DocumentTab* tab = current();
    if (!tab) return;
    if (fileName.isEmpty()) {
        if (!removeTrayNodes) return;
        tab->tray->deleteTiles(false);
        tab->tray->setFilterName(GrowString(""));
        tab->tray->clearModified();
        tab->view->setRenderCacheReset();
        showSelectedTileControls();
        refreshView();
        updateTitle();
        return;
    }
    loadFilterIntoDocument(GrowString(fileName.toUtf8().constData()), removeTrayNodes);
}
