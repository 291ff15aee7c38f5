#pragma once
// MainWindow: the one top-level window and the owner of everything the user
// works with: the document tabs (each a tray, a view and a shuttle), the
// side tool panel with one prototype of every tile class, the control
// strip (a ControlStrip of its own), the two processing queues, the
// floating sub-windows, the preview chooser and the timers.
//
// The operations live in files by concern:
//   MainWindowConstruction.cpp  construction and teardown
//   MainWindowTabs.cpp          document tabs
//   MainWindowRefresh.cpp       refreshView, the selected tile's controls, addModToTray, updateTitle
//   MainWindowStrip.cpp         the window's side of the control strip, Remix
//   MainWindowMedia.cpp         opening photos and loading filters
//   MainWindowLayout.cpp        window layout and window events
//   MainWindowSlots.cpp         the remaining slots
//   MainWindowPanel.cpp         the tool panel and the prototype list
//   MainWindowMenus.cpp         the menus and the window-level key actions
//   MainWindowDispatch.cpp      the action dispatcher
//   MainWindowCommands.cpp      panel commands, the crop tool, the preview chooser
//   MainWindowSave.cpp          saving, batch processing, filter and LUT export
//   MainWindowEvents.cpp        hover, keys, drag and drop, closing
//   MainWindowPresets.cpp       the preset folders and their migration
//   MainWindowState.cpp         window buttons and restored state
// The window keeps its state in one private object, MainWindow::State
// (MainWindowPrivate.h, reached as `d`), so this header lists only the
// window's operations and slots. Everything runs on the interface thread.

#include <QList>
#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>

#include "desktop_only/display/VideoLoaderSaverTime.h"
#include "desktop_only/display/VxHistogramWidget.h"
#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "framework/ImageLoaderSaver.h"

class ImageMod;
class ModVar;
class Preferences;
class QAction;
class QCloseEvent;
class QDialog;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QKeySequence;
class QMenu;
class QRect;
class TrayWidget;
class VxMediaWidget;
class VxPanelItemBigButton;
class VxPanelItemListButton;
class VxShuttleControl;
class VxToolWidget;
struct ControlEntry;

// One open document.
struct DocumentTab {
    GrowString name;                      // path of the file shown, "" for an empty tab
    TrayWidget* tray = nullptr;           // owned (through Qt parenthood)
    VxMediaWidget* view = nullptr;        // owned
    VxShuttleControl* shuttle = nullptr;  // owned; hidden in this build
    VideoLoaderSaverTime videoTimes[3];
    int tabID = -1;
    // "Load Next" / "Load Previous" after a neighbour failed to open: that
    // file and the step that reached it ("" and 0 while the walk starts from
    // the file shown). Cleared whenever `name` changes.
    GrowString failedNeighbour;
    int32_t failedStep = 0;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const QString& styleSheet);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // A point the Pixel Inspector follows: pixel (x, y) of the output
    // picture of the document tab tabID.
    struct PixelSample {
        int32_t x = 0;
        int32_t y = 0;
        int32_t tabID = -1;
    };
    // The hit test's result: a pixel of a view's published picture under
    // the point, its output-picture position and its three values.
    struct PixelHit {
        bool hit = false;
        int32_t x = 0;
        int32_t y = 0;
        float values[3] = {0.0f, 0.0f, 0.0f};
    };

    // ---- Document tabs (MainWindowTabs.cpp) ----
    void buildDocumentTab();
    // The document at the current tab; null only while there is none.
    DocumentTab* current();
    // Waits for every view's display pass to end and lets no new one start
    // (at exit: no pass may run while the process's statics are destroyed).
    void stopDisplayThreads();
    // Plug-in host mode: file-open requests are held instead of opened.
    bool hostMode() const;

    // ---- Refresh (MainWindowRefresh.cpp, MainWindowStrip.cpp) ----
    void refreshView();
    void showSelectedTileControls();
    void addModToTray(ImageMod* mod, bool append, bool select, bool asOneTile);
    void updateTitle();
    // Builds the control strip for vars; onTop raises the new controls
    // above every sibling (the crop tool passes itself).
    void buildControls(const GrowArray<ModVar*>& vars, ImageMod* tile, bool onTop);
    void refreshControls();
    void stepRemixValues(float delta);

    // ---- Media (MainWindowMedia.cpp) ----
    bool openMediaFile(const QString& path);
    void loadFilterIntoDocument(const GrowString& path, bool replaceTiles);

    // ---- Layout (MainWindowLayout.cpp, MainWindowStrip.cpp) ----
    void layoutWindow();
    // Sizes (sizing true) and places the control strip.
    void layoutControls(bool sizing);
    // The control strip's auto-hide for a hover move from before to at
    // (window coordinates): starts the slide away or back.
    void slideControlStripOnHover(const QPoint& at, const QPoint& before);
    // The height of the window's menu bar (0 when it is not shown).
    int menuBarHeight() const;

    // ---- Dispatch, panel commands, tools (MainWindowDispatch.cpp,
    //      MainWindowCommands.cpp) ----
    // The dispatcher: performs the action, known by identity or exact text.
    void actionTriggered(QAction* action);
    // Runs a panel command id on the current document.
    void runComID(int comID);
    void openCropTool();
    void openPreviewChooser(bool append);
    // A modal "open file" dialog limited to the extensions; "" when cancelled.
    static GrowString chooseOpenFile(QWidget* parent, const GrowString& title, const GrowString& startPath,
                                     const GrowArray<GrowString>& extensions);
    // Test seam: answers chooseOpenFile instead of the dialog while set.
    static std::function<GrowString(const GrowString& title)>& openFileChooserOverride();

    // ---- Saving, batch processing and export (MainWindowSave.cpp) ----
    // "Save As..." (false, true), "Save Over Original" (false, false); a
    // video frame (true, ...) does nothing: no source here is a video.
    void saveMedia(bool videoFrame, bool saveAs);
    void batchProcessFolder();
    // The work behind the dialogs. queueSave queues the current document's
    // photo rendered through its chain (at width x height, 0 x 0 for the
    // chain's own size) to path; false when there is no photo.
    bool queueSave(const GrowString& path, const SaveOptions& options, int32_t width, int32_t height,
                   bool overOriginal);
    // Queues one job per input with the current chain; returns the count.
    int32_t queueBatch(const GrowArray<GrowString>& inputs, const GrowArray<GrowString>& outputs,
                       const SaveOptions& options);
    // Writes the current chain as a filter file or a look-up table titled
    // with the document's filter name.
    bool exportFilterTo(const GrowString& path, bool asLut);
    // Saves the current chain as "Presets/<name>.plf" and lists it in the
    // tool panel; false (with a message) for a name that would leave the
    // folder or an empty chain.
    bool saveFavoriteFilter(const QString& name);

    // ---- Pixel inspector (MainWindowPixelReadout.cpp, MainWindowSlots.cpp) ----
    // Puts a sample in front of the followed samples (at most 3 kept, the
    // oldest drops off).
    void addPixelSample(const PixelSample& sample);
    // The view under a window point and the pixel of its picture there.
    // Every output may be null. hit->hit is false when no picture pixel lies
    // under the point; tabId, viewX and viewY are written whenever a shown
    // view lies under it.
    void hitTestViews(int x, int y, PixelHit* hit, int32_t* tabId, int32_t* viewX, int32_t* viewY);
    // The live readout: the pixel under a window point, while the
    // inspector is shown.
    void updateInspectorHover(const QPoint& windowPos);

    // ---- Preferences window and about dialog (MainWindowPreferences.cpp) ----
    // "Preferences...": a fresh window with the two colour-profile rows.
    void openPreferencesWindow();
    // "About": the program's name and version, modal, deleted when closed.
    void showAboutDialog();
    QDialog* makeAboutDialog();  // the dialog, not yet shown (the caller owns it)

public slots:
    // The window's slots, connected by its parts and reachable by name.
    // Timers and the processing queues (MainWindowProgress.cpp)
    void processingInfoTimerFired();
    void previewProcessorTimerFired();
    void cancelRenderQueueItem(int id);
    void cancelProcessingButtonPressed();
    void previewVideoButtonPressed();
    // Document tabs (MainWindowTabs.cpp)
    void documentTabChosen(int tabID);
    void documentTabWantsClosing(int tabID);
    // The control strip (MainWindowStrip.cpp)
    void nodeControlAnimationTimerFired();
    void controlAdjusted(QWidget* control);
    void controlHeightChanged(QWidget* control);
    void controlHovered(QWidget* control);
    void controlRightClicked(QWidget* control);
    void controlAboutToBeAdjusted(QWidget* control);
    // Views, trays, the tool panel, the preview chooser and the buttons
    // (MainWindowSlots.cpp)
    void filterPreviewChosen(ImageMod* mod, bool append);
    void previewSectionEnabled(int tabID, GrowString sectionName, bool enabled);
    void onEmptyClick();
    void videoShuttleUpdateRequest(VideoLoaderSaverTime time);
    void displayFinishedUpdating();
    void onImageRepositioned();
    void trayContentChanged();
    void traySelectionChanged();
    void shuttleControlAdjusted(QWidget* control);
    void modButtonClicked(VxPanelItemListButton* clicker, bool append);
    void deleteFavoriteClicked(VxPanelItemListButton* clicker);
    void imageModHovered(ImageMod* mod, bool append);
    void hidePanelButtonPressed();
    void hideTrayButtonPressed();
    void previewButtonPressed();
    void deleteNodesButtonPressed();
    void cycleInterfaceVisibility();
    void toggleInterfaceVisibility();
    void viewportButtonPressed();
    void toggleHistogramView(VxHistogramWidget::HistogramWidgetGraph graphType);
    void startupButtonPressed();
    // Tools (MainWindowCommands.cpp)
    void toolRequestedExit(VxToolWidget* tool);
    void comIDButtonClicked(VxPanelItemBigButton* clicker, bool append);
    // Menus and window-level key actions (MainWindowMenus.cpp)
    void menuTriggered(QAction* act);
    void actionTriggered();
    // Filters and saving (MainWindowMedia.cpp, MainWindowSave.cpp,
    // MainWindowState.cpp)
    void loadFilterSlot(const QString& fileName, bool removeTrayNodes);
    // Loads a filter file replacing the tray's tiles (loadFilterSlot with true).
    void loadFilterSlot(const QString& fileName);
    void saveFavoriteFilterPrompt();
    void sendToPluginHost();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The tests' view of the private state (tests/desktop_only/support).
    friend class MainWindowTestAccess;

    // ---- Construction stages ----
    void buildControlStrip();  // makes the strip and wires its signals (MainWindowStrip.cpp)
    void buildToolPanel();
    void buildMenus();
    void buildButtonsAndRestoreState();
    void setUpPresetFolders();
    void restoreWindowState();

    // Closes an open tool overlay (before a tab is closed or switched).
    void endActiveTool();

    // ---- Menus and the dispatch table's longer handlers ----
    QAction* addMenuEntry(QMenu* menu, const char* text, const QList<QKeySequence>& keys, bool disabledByTool);
    QAction* addWindowAction(const char* text, const QKeySequence& key, bool disabledByTool);
    void closePhoto();
    void stepPreset(int32_t step, bool random);
    void loadPresetPrompt();     // "Load Preset...": asks for a filter file and replaces the tray's tiles
    void unpackArchivePrompt();  // "Test Function": asks for an archive and unpacks it beside itself
    void exportFilterPrompt(bool asLut);
    // "Load Photo...": asks for a photo, starting at "LastMediaLoadPath".
    void loadPhotoPrompt();
    // Opens the next (+1) or previous (-1) openable file of the current
    // photo's folder, in name order, wrapping around.
    void loadAdjacentMedia(int32_t step);
    // Undo or redo on the tray's stack (nothing while a tool is open).
    void undoOrRedo(TrayWidget* tray, bool redo);
    // Nests the selected tiles or unnests the selected one, as one undo step.
    void changeNesting(TrayWidget* tray, bool nest);

    // ---- The control strip ----
    // The window's half of an edit on the strip: a disabled tile is switched
    // on before its parameter changes; afterwards an open tool and the tile
    // hear of it, the tray is marked modified and the view renders it.
    void switchOnEditedTile(const ControlEntry& entry);
    void applyControlEdit(const ControlEntry& entry);

    // ---- Hover previews ----
    // Draws the hover preview's base picture through the given geometric
    // tiles (taken over) when it is stale (redrawn tells whether it drew);
    // returns whether it holds the current picture.
    bool updatePreviewSource(int32_t width, int32_t height, GrowArray<ImageMod*>& tiles, bool* redrawn);
    // Frees the hover preview's geometric clones and forgets its view.
    void forgetPreviewSource();

    // ---- Window events ----
    GrowArray<int32_t> deleteSelectedTiles();  // the displayed list's selected tiles; returns what was removed
    void storeWindowState();                   // the closing keys, then the preferences file

    // Everything the window holds (MainWindowPrivate.h).
    struct State;
    const std::unique_ptr<State> d;
};

// ---- Helpers of the save, batch, preset and restore flows ----
// Whether a name typed by the user stays inside its folder: not empty, no
// "/", "\\" or NUL, not "." or "..".
bool isSafeFileName(const QString& name);
// Output paths of a batch: folder + base name + postfix + "." + extension,
// inputs taken in the given order; a name given twice gets " 2", " 3", ...
// before the extension.
GrowArray<GrowString> batchOutputPaths(const GrowArray<GrowString>& inputs, const GrowString& folder,
                                       const GrowString& postfix, const GrowString& extension);
// The files of a folder a batch takes: openable, not hidden, in name order.
GrowArray<GrowString> batchInputFiles(const GrowString& folder);
// The restored window geometry from the "WindowGeometry" text on a screen
// of screenWidth x screenHeight (values saturated; NaN reads as 0).
QRect restoredGeometry(const GrowString& text, int32_t screenWidth, int32_t screenHeight);
// A number read from text (C locale) truncated to int, saturated, NaN as 0;
// end receives the rest of the text.
int32_t saturatedIntFromText(const char* text, const char** end);
// The preset folders: set-up and migration of dataFolder (ending with "/").
// Sets migrated and outdated as the window's flags.
void setUpPresetFoldersIn(const GrowString& dataFolder, Preferences& preferences, const QString& bundleResource,
                          bool& migrated, bool& outdated);

// The one modal message of the program: a DialogWindow centred on the
// default screen's available area. Returns 1 for OK, 0 for Cancel or
// closing. An empty button text hides that button; a detail text shows
// beneath the message in a smaller label.
int showMessageDialog(QWidget* parent, const QString& title, const QString& text, const QString& okText,
                      const QString& cancelText, const QString& inputLabel, const QString& detail = QString());
// One line of such details: "file: reason", the file's name with control
// characters escaped.
QString failureLine(const GrowString& file, const GrowString& reason);

// The folder an archive unpacks into: the archive's folder and its file name
// without the extension; "" when that name is empty or names a file.
GrowString archiveFolderFor(const GrowString& archivePath);
// The folder that "LastMediaLoadPath" stands for: the value itself when it
// names a folder (as after a batch), else the folder of the file it names
// (as after an open), made absolute; "" for "".
GrowString folderOfRecentPath(const GrowString& path);

