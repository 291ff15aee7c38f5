// MainWindow: saving the document's photo, processing a folder in a batch,
// exporting the chain as a filter file or a look-up table, saving a preset,
// and handing the chain back to a plug-in host.
//
// Saves and batches never render on the interface thread: each becomes jobs
// on the save queue, each job holding its own clones of the chain, its
// output size and its save options; a save also shares the document's
// picture as the view holds it, while a batch job names its file. The
// worker loads the file (or takes the picture), draws it through the output
// geometry at that size, renders and writes the file (through a temporary
// file renamed over the target), a PNG or TIFF with 16 bits a sample when
// its source had more than 8. The progress timer then follows the queue.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/media/LutExport.h"
#include "desktop_only/media/MediaExtensions.h"
#include "desktop_only/media/MediaFileIo.h"
#include "desktop_only/media/OutputMemory.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/DialogWindow.h"
#include "desktop_only/widgets/VxPanelItemListButton.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "foundation/Preferences.h"
#include "framework/CompoundFilter.h"
#include "framework/FilterFile.h"
#include "framework/ImageMod.h"
#include "render/OutputGeometry.h"

namespace {

Preferences& prefs() { return globalPreferences(); }

QString qtText(const GrowString& text) { return QString::fromUtf8(text.c_str()); }
GrowString utf8(const QString& text) { return GrowString(text.toUtf8().constData()); }
GrowString nativePath(const QString& path) { return GrowString(QFile::encodeName(path).constData()); }
QString fromNative(const GrowString& path) { return QFile::decodeName(path.c_str()); }

// The formats the saver writes, as the dialogs offer them.
const char* const kSaveFilters = "JPEG (*.jpg *.jpeg);;PNG (*.png);;TIFF (*.tif *.tiff)";

bool isWritableExtension(const QString& extension) {
    const QString e = extension.toLower();
    return e == "jpg" || e == "jpeg" || e == "png" || e == "tif" || e == "tiff";
}

QString extensionOfFilter(const QString& filter) {
    if (filter.startsWith("PNG")) return "png";
    if (filter.startsWith("TIFF")) return "tif";
    return "jpg";
}

QString filterOfExtension(const QString& extension) {
    const QString e = extension.toLower();
    if (e == "png") return "PNG (*.png)";
    if (e == "tif" || e == "tiff") return "TIFF (*.tif *.tiff)";
    return "JPEG (*.jpg *.jpeg)";
}

// The options every save and batch shares: quality and the two profile
// preferences.
SaveOptions saveOptionsWithQuality(int32_t quality) {
    SaveOptions options;
    options.quality = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
    options.embedProfile = prefs().getInt(GrowString("ColorProfileExport"), 0) == 0;
    return options;
}

// The save-size dialog: the output size (aspect kept, the other side rounded
// to the nearest pixel, at most the chain's own size) and, for JPEG, the
// quality. The file is written at exactly the two numbers it shows.
class SaveSizeDialog : public QDialog {
public:
    SaveSizeDialog(QWidget* parent, int32_t fullWidth, int32_t fullHeight, bool withQuality, int32_t quality)
        : QDialog(parent), fullW(fullWidth), fullH(fullHeight), settledW(fullWidth), settledH(fullHeight) {
        setWindowTitle("Save Size");
        auto* form = new QFormLayout(this);
        widthBox = new QSpinBox(this);
        heightBox = new QSpinBox(this);
        widthBox->setRange(1, fullWidth);
        heightBox->setRange(1, fullHeight);
        widthBox->setValue(fullWidth);
        heightBox->setValue(fullHeight);
        form->addRow("Width:", widthBox);
        form->addRow("Height:", heightBox);
        if (withQuality) {
            qualityBox = new QSpinBox(this);
            qualityBox->setRange(1, 100);
            qualityBox->setValue(quality < 1 ? 1 : (quality > 100 ? 100 : quality));
            form->addRow("JPEG Quality:", qualityBox);
        }
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        form->addRow(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        // The two sizes follow each other so the picture keeps its aspect.
        connect(widthBox, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int w) { sideChanged(true, w); });
        connect(heightBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
                [this](int h) { sideChanged(false, h); });
    }
    QSpinBox* widthBox;
    QSpinBox* heightBox;
    QSpinBox* qualityBox = nullptr;

private:
    // The side the user changed last decides the other, rounded to the
    // nearest pixel. Only a new value counts: Return in a spin box that
    // tracks the keyboard sends its value again, and the box that followed
    // would recompute the side the user set from its own rounded value
    // (600 x 400 at width 100 shows 100 x 67; Tab and Return in the height
    // box would make the width lround(67 * 600 / 400) = 101). settledW x
    // settledH is the pair the boxes show, so a value sent again, or the
    // followed box's own signal, changes nothing.
    void sideChanged(bool isWidth, int value) {
        int32_t& own = isWidth ? settledW : settledH;
        if (following || value == own) return;
        own = value;
        QSpinBox* otherBox = isWidth ? heightBox : widthBox;
        const int32_t otherFull = isWidth ? fullH : fullW;
        const int32_t ownFull = isWidth ? fullW : fullH;
        following = true;
        otherBox->setValue(std::max(1, static_cast<int>(std::lround(double(value) * otherFull / ownFull))));
        following = false;
        (isWidth ? settledH : settledW) = otherBox->value();
    }

    int32_t fullW, fullH;
    int32_t settledW, settledH;  // the size the boxes show
    bool following = false;      // inside sideChanged's own setValue
};

// The batch wizard: input folder, output folder, format, quality, postfix.
class BatchWizard : public QDialog {
public:
    explicit BatchWizard(QWidget* parent) : QDialog(parent) {
        setWindowTitle("Batch Process Folder");
        auto* form = new QFormLayout(this);
        inputEdit = new QLineEdit(this);
        outputEdit = new QLineEdit(this);
        form->addRow("Photos in folder:", withChooser(inputEdit));
        form->addRow("Save into folder:", withChooser(outputEdit));
        formatBox = new QComboBox(this);
        formatBox->addItems({"jpg", "png", "tif"});
        form->addRow("Format:", formatBox);
        qualityBox = new QSpinBox(this);
        qualityBox->setRange(1, 100);
        form->addRow("JPEG Quality:", qualityBox);
        postfixEdit = new QLineEdit(this);
        form->addRow("Name postfix:", postfixEdit);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setText("Process");
        form->addRow(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    }
    QLineEdit* inputEdit;
    QLineEdit* outputEdit;
    QComboBox* formatBox;
    QSpinBox* qualityBox;
    QLineEdit* postfixEdit;

private:
    // A folder field with a "Choose..." button that opens a folder dialog;
    // the button takes no focus, so Tab goes from field to field.
    QWidget* withChooser(QLineEdit* edit) {
        auto* row = new QWidget(this);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(edit);
        auto* choose = new QPushButton("Choose...", row);
        choose->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(choose);
        connect(choose, &QPushButton::released, this, [this, edit]() {
            const QString folder = QFileDialog::getExistingDirectory(this, "Choose Folder", edit->text());
            if (!folder.isEmpty()) edit->setText(folder);
        });
        return row;
    }
};

}  // namespace

bool isSafeFileName(const QString& name) {
    if (name.isEmpty() || name == "." || name == "..") return false;
    for (const QChar c : name)
        if (c == '/' || c == '\\' || c == QChar(0)) return false;
    return true;
}

GrowArray<GrowString> batchInputFiles(const GrowString& folder) {
    GrowArray<GrowString> files;
    QDir dir(fromNative(folder));
    if (!dir.exists()) return files;
    // Hidden files are left out by the filter; name order, case-sensitive
    // as the file system lists them.
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const GrowString path = nativePath(entry.absoluteFilePath());
        if (hasSupportedOpenExtension(path)) files.append(path);
    }
    return files;
}

GrowArray<GrowString> batchOutputPaths(const GrowArray<GrowString>& inputs, const GrowString& folder,
                                       const GrowString& postfix, const GrowString& extension) {
    GrowArray<GrowString> outputs;
    const QString base = QDir(fromNative(folder)).absolutePath() + "/";
    for (const GrowString& input : inputs) {
        const QString stem = QFileInfo(fromNative(input)).completeBaseName() + fromNative(postfix);
        QString candidate = base + stem + "." + fromNative(extension);
        // Two inputs that would give one name both survive: the later one
        // gets " 2", " 3", ... (compared as the file system would, exactly).
        for (int n = 2;; ++n) {
            bool taken = false;
            for (const GrowString& earlier : outputs)
                if (fromNative(earlier) == candidate) taken = true;
            if (!taken) break;
            candidate = base + stem + " " + QString::number(n) + "." + fromNative(extension);
        }
        outputs.append(nativePath(candidate));
    }
    return outputs;
}

bool MainWindow::queueSave(const GrowString& path, const SaveOptions& options, int32_t width, int32_t height,
                           bool overOriginal) {
    DocumentTab* tab = current();
    if (!tab || !tab->view->hasMedia() || tab->name.isEmpty()) return false;
    // The photo as the document opened it (and turned it), not the file,
    // which an earlier save over the original may have replaced; the
    // file's path still names the job and guards the same-file checks.
    std::shared_ptr<const ImageBuffer> source = tab->view->sharedSource();
    if (!source) return false;
    RenderJob job;
    job.source = std::move(source);
    job.sourceMetadata = tab->view->sharedMetadata();
    job.sourcePath = tab->name;
    job.outputPath = path;
    job.options = options;
    job.replacesSource = overOriginal;
    job.outputWidth = width;
    job.outputHeight = height;
    GrowArray<ImageMod*> chain = tab->tray->modChain(true, false);
    job.mods = cloneModChain(chain);
    chain.destroy();
    d->saveQueue.addJob(job);
    d->processingInfoTimer->start(500);
    return true;
}

void MainWindow::saveMedia(bool videoFrame, bool saveAs) {
    if (videoFrame) return;  // no source of this program is a video
    DocumentTab* tab = current();
    if (!tab || !tab->view->hasMedia() || tab->name.isEmpty()) return;
    const QString source = fromNative(tab->name);
    const QFileInfo sourceInfo(source);

    // Saving over a file the saver cannot write (camera raw, Photoshop)
    // becomes a Save As.
    if (!saveAs && !isWritableExtension(sourceInfo.suffix())) saveAs = true;

    QString target = source;
    QString extension = sourceInfo.suffix().toLower();
    if (saveAs) {
        QString folder = qtText(prefs().getString(GrowString("LastImgSavePathStr"), GrowString("")));
        if (folder.isEmpty() || !QDir(folder).exists()) folder = sourceInfo.absolutePath();
        QString lastExtension = qtText(prefs().getString(GrowString("LastImgSaveExtensionStr"), GrowString("")));
        if (!isWritableExtension(lastExtension)) lastExtension = "jpg";
        QString chosenFilter = filterOfExtension(lastExtension);
        target = QFileDialog::getSaveFileName(this, "Save As", folder + "/" + sourceInfo.completeBaseName() + "." +
                                              lastExtension, kSaveFilters, &chosenFilter);
        if (target.isEmpty()) return;
        extension = QFileInfo(target).suffix().toLower();
        if (!isWritableExtension(extension)) {
            extension = extensionOfFilter(chosenFilter);
            target += "." + extension;
        }
        prefs().setString(GrowString("LastImgSavePathStr"), utf8(QFileInfo(target).absolutePath()), true);
        prefs().setString(GrowString("LastImgSaveExtensionStr"), utf8(extension), true);
    }

    // The chain's own output size for the size dialog.
    OutputGeometry geometry;
    GrowArray<ImageMod*> chain = tab->tray->modChain(true, false);
    const bool sized = tab->view->sourceWidth > 0 && tab->view->sourceHeight > 0 &&
                       computeOutputGeometry(chain, tab->view->sourceWidth, tab->view->sourceHeight, geometry);
    chain.destroy();
    if (!sized) {
        showMessageDialog(this, "Save Error", "The picture is too large to save: its output size is beyond the limit.",
                          "OK", "", "");
        return;
    }
    const bool jpeg = extension == "jpg" || extension == "jpeg";
    const int32_t lastQuality = prefs().getInt(GrowString("LastImageSaveQuality"), 85);
    SaveSizeDialog sizeDialog(this, geometry.width, geometry.height, jpeg, lastQuality);
    if (sizeDialog.exec() != QDialog::Accepted) return;
    int32_t quality = lastQuality;
    if (sizeDialog.qualityBox) {
        quality = sizeDialog.qualityBox->value();
        prefs().setInt(GrowString("LastImageSaveQuality"), quality, true);
    }
    int32_t width = sizeDialog.widthBox->value();
    int32_t height = sizeDialog.heightBox->value();
    // A size the machine cannot render is refused here, before anything is
    // queued (the worker would refuse it too, later and less clearly); a
    // PNG or TIFF of a deeper photo is counted at the 16 bits it gets.
    const ImageFileKind kind = writeKindOfExtension(extension);
    const std::shared_ptr<const ImageMetadata> metadata = tab->view->sharedMetadata();
    const bool sixteenBit = writesSixteenBits(kind, optionsKeepingDepth(SaveOptions(), metadata.get()));
    GrowString tooLarge;
    if (!outputFitsInMemory(width, height, &tooLarge, sixteenBit) ||
        !outputSizeFits(kind, width, height, &tooLarge, sixteenBit)) {
        showMessageDialog(this, "Save Error",
                          QString("The picture is too large to save: %1.").arg(qtText(tooLarge)), "OK", "", "");
        return;
    }
    if (width >= geometry.width && height >= geometry.height) width = height = 0;  // the chain's own size

    // Save As onto the photo's own file replaces it: the dialog asked first.
    const bool overSource = !saveAs || QFileInfo(target).canonicalFilePath() == sourceInfo.canonicalFilePath();
    queueSave(nativePath(target), saveOptionsWithQuality(quality), width, height, overSource);
}

int32_t MainWindow::queueBatch(const GrowArray<GrowString>& inputs, const GrowArray<GrowString>& outputs,
                               const SaveOptions& options) {
    DocumentTab* tab = current();
    if (!tab || inputs.count == 0 || inputs.count != outputs.count) return 0;
    GrowArray<ImageMod*> chain = tab->tray->modChain(true, false);
    const bool applyProfile = prefs().getInt(GrowString("ColorProfileImport"), 0) == 0;
    GrowArray<RenderJob> batch;
    for (int32_t i = 0; i < inputs.count; ++i) {
        RenderJob job;
        job.sourcePath = inputs[i];
        job.outputPath = outputs[i];
        job.options = options;
        job.applyEmbeddedProfile = applyProfile;
        job.mods = cloneModChain(chain);
        batch.append(job);
    }
    chain.destroy();
    d->saveQueue.addJobs(batch);
    const int32_t count = batch.count;
    batch.destroy();
    d->processingInfoTimer->start(500);
    return count;
}

void MainWindow::batchProcessFolder() {
    BatchWizard wizard(this);
    // After an open the key names a photo: the wizard offers its folder.
    wizard.inputEdit->setText(
        fromNative(folderOfRecentPath(prefs().getString(GrowString("LastMediaLoadPath"), GrowString("")))));
    wizard.outputEdit->setText(qtText(prefs().getString(GrowString("LastBatchSaveDir"), GrowString(""))));
    const QString lastExtension = qtText(prefs().getString(GrowString("LastImgSaveExtensionStr"), GrowString("")));
    const int formatIndex = wizard.formatBox->findText(lastExtension == "jpeg" ? "jpg" :
                                                       lastExtension == "tiff" ? "tif" : lastExtension);
    wizard.formatBox->setCurrentIndex(formatIndex < 0 ? 0 : formatIndex);
    wizard.qualityBox->setValue(prefs().getInt(GrowString("LastImageSaveQuality"), 85));
    wizard.postfixEdit->setText(qtText(prefs().getString(GrowString("LastBatchPostfix"), GrowString("_batch"))));
    if (wizard.exec() != QDialog::Accepted) return;

    const QString inputFolder = wizard.inputEdit->text().trimmed();
    const QString outputFolder = wizard.outputEdit->text().trimmed();
    const QString postfix = wizard.postfixEdit->text();
    if (!postfix.isEmpty() && !isSafeFileName(postfix)) {
        showMessageDialog(this, "Batch Error", "The name postfix may not hold \"/\", \"\\\" or \"..\".", "OK", "", "");
        return;
    }
    if (inputFolder.isEmpty() || !QDir(inputFolder).exists()) {
        showMessageDialog(this, "Batch Error", "Choose a folder of photos to process.", "OK", "", "");
        return;
    }
    if (outputFolder.isEmpty() || !QDir().mkpath(outputFolder)) {
        showMessageDialog(this, "Batch Error", "The output folder could not be made.", "OK", "", "");
        return;
    }
    prefs().setString(GrowString("LastMediaLoadPath"), utf8(inputFolder), true);
    prefs().setString(GrowString("LastBatchSaveDir"), utf8(outputFolder), true);
    prefs().setString(GrowString("LastBatchPostfix"), utf8(postfix), false);

    GrowArray<GrowString> inputs = batchInputFiles(nativePath(inputFolder));
    if (inputs.count == 0) {
        showMessageDialog(this, "Batch Error", "The folder holds no photo this program opens.", "OK", "", "");
        inputs.destroy();
        return;
    }
    GrowArray<GrowString> outputs =
        batchOutputPaths(inputs, nativePath(outputFolder), utf8(postfix), utf8(wizard.formatBox->currentText()));
    int32_t existing = 0;
    for (const GrowString& output : outputs)
        if (QFileInfo::exists(fromNative(output))) ++existing;
    bool go = true;
    if (existing > 0)
        go = showMessageDialog(this, "Overwrite Files?",
                               QString("%1 of the %2 output files exist already. Overwrite them?")
                                   .arg(existing)
                                   .arg(outputs.count),
                               "Overwrite", "Cancel", "") == 1;
    if (go) queueBatch(inputs, outputs, saveOptionsWithQuality(wizard.qualityBox->value()));
    inputs.destroy();
    outputs.destroy();
}

bool MainWindow::exportFilterTo(const GrowString& path, bool asLut) {
    DocumentTab* tab = current();
    if (!tab) return false;
    GrowArray<ImageMod*> chain = tab->tray->modChain(true, false);
    bool written;
    if (asLut) {
        // Titled with the document's filter name, as the render tool titles
        // a table with the filter file's name.
        GrowString title = tab->tray->filterName();
        if (title.isEmpty()) title = utf8(QFileInfo(fromNative(path)).completeBaseName());
        written = exportCubeLut(chain, path, title);
    } else {
        written = saveFilterFile(chain, path);
    }
    chain.destroy();
    return written;
}

void MainWindow::exportFilterPrompt(bool asLut) {
    DocumentTab* tab = current();
    if (!tab) return;
    if (!asLut) {
        GrowArray<ImageMod*> chain = tab->tray->modChain(true, false);
        const bool empty = chain.count == 0;
        chain.destroy();
        if (empty) {
            showMessageDialog(this, "Export Error", "There are no tiles to save as a filter.", "OK", "", "");
            return;
        }
    }
    const GrowString key(asLut ? "LastLutExportDir" : "LastFilterExportDir");
    QString folder = qtText(prefs().getString(key, GrowString("")));
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    QString name = qtText(tab->tray->filterName());
    if (name.isEmpty()) name = "Untitled";
    const QString extension = asLut ? "cube" : "plf";
    QString target = QFileDialog::getSaveFileName(this, asLut ? "Export LUT" : "Export Filter",
                                                  folder + "/" + name + "." + extension,
                                                  asLut ? "Look-Up Table (*.cube)" : "Filter (*.plf)");
    if (target.isEmpty()) return;
    if (QFileInfo(target).suffix().toLower() != extension) target += "." + extension;
    prefs().setString(key, utf8(QFileInfo(target).absolutePath()), true);
    if (!exportFilterTo(nativePath(target), asLut))
        showMessageDialog(this, "Export Error", QString("The file \"%1\" could not be written.").arg(target), "OK",
                          "", "");
}

bool MainWindow::saveFavoriteFilter(const QString& name) {
    DocumentTab* tab = current();
    if (!tab) return false;
    if (!isSafeFileName(name)) {
        showMessageDialog(this, "Preset Name Error",
                          "A preset name may not be empty, nor hold \"/\", \"\\\", or be \".\" or \"..\".", "OK", "",
                          "");
        return false;
    }
    GrowArray<ImageMod*> chain = tab->tray->modChain(false, false);
    if (chain.count == 0) {
        chain.destroy();
        showMessageDialog(this, "Save Preset Error", "There are no tiles to save as a preset.", "OK", "", "");
        return false;
    }
    GrowString folder = applicationSupportFolder();
    folder.append("Presets/");
    QDir().mkpath(fromNative(folder));
    GrowString path = folder;
    path.appendString(nativePath(name));
    path.append(".plf");
    // A preset of that name is replaced only when the user says so.
    if (QFileInfo::exists(fromNative(path)) &&
        showMessageDialog(this, "Replace Preset?", QString("A preset named \"%1\" exists already. Replace it?").arg(name),
                          "Replace", "Cancel", "") != 1) {
        chain.destroy();
        return false;
    }
    const bool written = saveFilterFile(chain, path);
    if (!written) {
        chain.destroy();
        showMessageDialog(this, "Save Preset Error", QString("The preset \"%1\" could not be written.").arg(name),
                          "OK", "", "");
        return false;
    }
    // The panel's button holds a compound of its own with the preset's tiles.
    auto* preset = new CompoundFilter(GrowString("Compound Filter"));
    preset->name = utf8(name);
    preset->displayName = utf8(name);
    preset->loadedFrom = path;  // deleting the style from the panel deletes this file
    for (ImageMod* mod : chain) preset->subMods.append(duplicateMod(*mod));
    chain.destroy();
    if (VxPanelItemListButton* button = d->toolPanel->addModButton(preset)) {
        button->setOwnsMod(true);
        d->toolPanel->relayout();
    } else {
        delete preset;
    }
    tab->tray->setFilterName(utf8(name));
    tab->tray->clearModified();
    updateTitle();
    return true;
}

void MainWindow::saveFavoriteFilterPrompt() {
    GrowString typed;
    DialogWindow dialog("Save Preset", "Save the tiles of the tray as a preset.", "Save", "Cancel", this,
                        "Preset Name:", &typed);
    if (dialog.execCentered() != 1) return;
    saveFavoriteFilter(qtText(typed).trimmed());
}

// Host mode only: the chain goes back to the host as a filter file named on
// standard output, or a request to clear its tiles.
void MainWindow::sendToPluginHost() {
    DocumentTab* tab = current();
    if (!tab) return;
    GrowArray<ImageMod*> chain = tab->tray->modChain(true, true);
    int32_t active = 0;
    for (ImageMod* mod : chain)
        if (mod->enabled) ++active;
    if (active == 0) {
        std::printf("pluginreturn -clearmods -id %s\n", d->pluginId.c_str());
    } else {
        GrowString path = applicationSupportFolder();
        path.append("pluginreturn.plf");
        if (saveFilterFile(chain, path))
            std::printf("pluginreturn -filter %s -id %s\n", path.c_str(), d->pluginId.c_str());
    }
    std::fflush(stdout);
    chain.destroy();
}
