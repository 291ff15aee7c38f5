// The main window's events, saving, batch and export flows, preset folders
// and restored state, offscreen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/LutExport.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "foundation/CommaLocale.h"
#include "foundation/Preferences.h"
#include "foundation/UndoStack.h"
#include "foundation/XmlNode.h"
#include "framework/CompoundFilter.h"
#include "framework/FilterFile.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"
#include "render/OutputGeometry.h"
#include "render/RenderContext.h"
#include "support/DesktopTestAccess.h"
#include "support/DesktopTestHelpers.h"

namespace {

const QString kExampleFilter = QString(PELLUCINE_SOURCE_DIR) + "/examples/gamma-exposure.plf";

// Answers the next modal dialog with its first button, recording its text.
// Its timers belong to its guard object, so none outlives the catcher.
struct DialogCatcher {
    QString text;
    int seen = 0;
    std::unique_ptr<QObject> guard = std::make_unique<QObject>();
    void arm() {
        QTimer::singleShot(30, guard.get(), [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return arm();
            ++seen;
            for (QLabel* label : modal->findChildren<QLabel*>())
                if (!label->text().isEmpty() && label->text() != modal->windowTitle()) text = label->text();
            static_cast<QDialog*>(modal)->accept();
        });
    }
};

class FlowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        ASSERT_TRUE(folder.isValid());
        photo = folder.path() + "/a.png";
        ASSERT_TRUE(writeTwoColourPhoto(photo, 120, 80));
        window = std::make_unique<MainWindow>("");
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        waitForWindowIdle(*window);
        window.reset();
    }
    TrayWidget* tray() { return window->current()->tray; }
    void drop(const QList<QUrl>& urls, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMimeData data;
        data.setUrls(urls);
        // As a drag does: it enters the window first, then drops.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::NoButton, modifiers);
        QApplication::sendEvent(window.get(), &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::NoButton, modifiers);
        QApplication::sendEvent(window.get(), &event);
    }
    void addTiles(int n) {
        // The panel's first tiles (Exposure, Contrast, ...), each of its own type.
        const GrowArray<ImageMod*>& prototypes = windowState(*window).tilePrototypes;
        for (int i = 0; i < n; ++i) window->addModToTray(prototypes[18 + i], true, false, false);
    }
    QTemporaryDir folder;
    QString photo;
    std::unique_ptr<MainWindow> window;
};

bool waitForQueue(MainWindow& w) {
    return waitUntil([&] { return !windowState(w).saveQueue.isBusy(); }, 60000);
}

// The pellucine-render road for a photo and a filter file: load as the
// program does, geometry, chain, 8-bit PNG through the program's saver.
bool renderLikeTheTool(const QString& input, const QString& filter, const QString& output) {
    GrowArray<ImageMod*> prototypes;
    buildPrototypeList(prototypes);
    GrowArray<ImageMod*> chain;
    uint32_t status = 0;
    loadFilterFile(chain, GrowString(QFile::encodeName(filter).constData()), prototypes, status);
    DesktopImageLoaderSaver loader;
    ImageBuffer image;
    std::unique_ptr<ImageMetadata> metadata;
    bool ok = loader.loadFloatKeepingAlpha(GrowString(QFile::encodeName(input).constData()), &image, true, &metadata);
    OutputGeometry geometry;
    ok = ok && computeOutputGeometry(chain, image.width, image.height, geometry);
    if (ok) {
        RenderContext context(0);
        ok = context.render(chain, &image, nullptr, -1, 0, nullptr) &&
             loader.saveFloat(GrowString(QFile::encodeName(output).constData()), image, SaveOptions(), metadata.get());
    }
    for (ImageMod* mod : chain) delete mod;
    chain.destroy();
    freePrototypeList(prototypes);
    return ok;
}

}  // namespace

// ---- Events ----

TEST_F(FlowsTest, DropOpensTheFirstFileAndLoadsFiltersInAnyCase) {
    const QString second = folder.path() + "/b.png";
    ASSERT_TRUE(writeTwoColourPhoto(second, 60, 40));
    drop({QUrl::fromLocalFile(photo), QUrl::fromLocalFile(second), QUrl::fromLocalFile(second)});
    EXPECT_EQ(QString::fromUtf8(window->current()->name.c_str()), photo);

    const QString capitals = folder.path() + "/X.PLF";
    ASSERT_TRUE(QFile::copy(kExampleFilter, capitals));
    drop({QUrl::fromLocalFile(capitals)});
    const int32_t tiles = tray()->masterList()->subMods.count;
    ASSERT_GT(tiles, 0);
    EXPECT_EQ(tray()->filterName(), "X");
    drop({QUrl::fromLocalFile(capitals)}, Qt::ShiftModifier);  // appends
    EXPECT_EQ(tray()->masterList()->subMods.count, 2 * tiles);
    drop({QUrl::fromLocalFile(capitals)});  // replaces
    EXPECT_EQ(tray()->masterList()->subMods.count, tiles);

    // While a tool is open a drop changes nothing.
    windowState(*window).activeTool = new VxToolWidget(window->current()->view);
    drop({QUrl::fromLocalFile(second)});
    EXPECT_EQ(QString::fromUtf8(window->current()->name.c_str()), photo);
    window->toolRequestedExit(windowState(*window).activeTool);

    for (const char* name : {"/nodot", "/notes.txt"}) {
        DialogCatcher catcher;
        catcher.arm();
        drop({QUrl::fromLocalFile(folder.path() + name)});
        EXPECT_EQ(catcher.seen, 1) << name;
        EXPECT_EQ(catcher.text, "That file type is not supported.") << name;
    }
}

TEST_F(FlowsTest, DeleteKeyRemovesTheSelectedTilesOfTheShownListWithOneUndo) {
    addTiles(4);
    ImageMod* second = tray()->masterList()->subMods[1];
    ImageMod* fourth = tray()->masterList()->subMods[3];
    tray()->setNodeSelected(0, true);
    tray()->setNodeSelected(2, true);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &press);
    ASSERT_EQ(tray()->masterList()->subMods.count, 2);
    EXPECT_EQ(tray()->masterList()->subMods[0], second);
    EXPECT_EQ(tray()->masterList()->subMods[1], fourth);
    ASSERT_TRUE(tray()->undo());
    EXPECT_EQ(tray()->masterList()->subMods.count, 4);

    // Nothing selected: no undo record.
    const int32_t undoCount = TrayWidgetTestAccess::undoStack(*tray())->undoCount();
    tray()->deselectAll();
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &backspace);
    EXPECT_EQ(TrayWidgetTestAccess::undoStack(*tray())->undoCount(), undoCount);

    // Inside a shown nested tile the indices are the nested tile's.
    auto* nested = new CompoundFilter(GrowString("Nested"));
    for (int i = 0; i < 3; ++i) nested->subMods.append(duplicateMod(*windowState(*window).tilePrototypes[i]));
    TrayWidgetTestAccess::masterList(*tray()).subMods.append(nested);
    tray()->rebuildNodes();
    tray()->showCompound(nested);
    tray()->setNodeSelected(1, true);
    QApplication::sendEvent(window.get(), &press);
    EXPECT_EQ(nested->subMods.count, 2);
    EXPECT_EQ(tray()->masterList()->subMods.count, 5);
}

TEST_F(FlowsTest, ClosingWritesTheSevenKeysUnderACommaLocale) {
    const std::string& comma = commaDecimalLocale();
    ASSERT_FALSE(comma.empty()) << "no comma-decimal locale on this machine (scripts/setup.sh makes de_DE.UTF-8)";
    ASSERT_NE(std::setlocale(LC_NUMERIC, comma.c_str()), nullptr);
    char check[16];
    std::snprintf(check, sizeof check, "%.1f", 3.1);
    window->close();
    std::setlocale(LC_NUMERIC, "C");
    ASSERT_STREQ(check, "3,1");  // the close really ran under the comma locale
    XmlNode root;
    parseXmlFile(root, globalPreferences().path);
    const char* keys[] = {"CollapsedToolSections", "PreferencesVersion", "DefaultFiltersVersion", "WindowGeometry",
                          "IsFullscreen", "UseHoverPreviews", "CurrentTab"};
    for (const char* key : keys) EXPECT_NE(root.findChild(GrowString(key)), nullptr) << key;
    ASSERT_NE(root.findChild(GrowString("DefaultFiltersVersion")), nullptr);
    EXPECT_EQ(std::string(root.findChild(GrowString("DefaultFiltersVersion"))->text.c_str()).find(','),
              std::string::npos);
    const QRect g = window->geometry();
    EXPECT_EQ(QString::fromUtf8(root.findChild(GrowString("WindowGeometry"))->text.c_str()),
              QString("%1 %2 %3 %4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()));
}

// ---- Saving, batch and export ----

TEST_F(FlowsTest, SaveAsEqualsTheRenderToolAndKeepsItsSize) {
    ASSERT_TRUE(window->openMediaFile(photo));
    window->loadFilterIntoDocument(GrowString(QFile::encodeName(kExampleFilter).constData()), true);
    const QString saved = folder.path() + "/saved.png";
    const QString half = folder.path() + "/half.png";
    const QString tool = folder.path() + "/tool.png";
    ASSERT_TRUE(window->queueSave(GrowString(QFile::encodeName(saved).constData()), SaveOptions(), 0, 0, false));
    ASSERT_TRUE(window->queueSave(GrowString(QFile::encodeName(half).constData()), SaveOptions(), 60, 40, false));
    ASSERT_TRUE(waitForQueue(*window));
    ASSERT_TRUE(renderLikeTheTool(photo, kExampleFilter, tool));
    const QImage a = QImage(saved).convertToFormat(QImage::Format_RGB888);
    const QImage b = QImage(tool).convertToFormat(QImage::Format_RGB888);
    ASSERT_FALSE(a.isNull());
    ASSERT_EQ(a.size(), b.size());
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) differing += a.pixel(x, y) != b.pixel(x, y);
    EXPECT_EQ(differing, 0) << std::hex << a.pixel(5, 5) << " " << b.pixel(5, 5) << " "
                            << QImage(photo).pixel(5, 5);
    EXPECT_EQ(QImage(half).size(), QSize(60, 40));

    // A turned view saves turned (the chain is a colour map, so turning
    // before or after it gives the same pixels).
    window->current()->view->rotateSource(true);
    const QString turned = folder.path() + "/turned.png";
    ASSERT_TRUE(window->queueSave(GrowString(QFile::encodeName(turned).constData()), SaveOptions(), 0, 0, false));
    ASSERT_TRUE(waitForQueue(*window));
    EXPECT_EQ(QImage(turned).convertToFormat(QImage::Format_RGB888),
              b.transformed(QTransform().rotate(90)).convertToFormat(QImage::Format_RGB888));

    // Without a photo nothing is queued.
    window->buildDocumentTab();
    EXPECT_FALSE(window->queueSave(GrowString(QFile::encodeName(saved).constData()), SaveOptions(), 0, 0, false));
}

TEST(BatchNames, PostfixTwinsAndOrder) {
    GrowArray<GrowString> inputs;
    inputs.append(GrowString("/in/photo.jpg"));
    inputs.append(GrowString("/in/photo.png"));
    inputs.append(GrowString("/in/photo.tif"));
    inputs.append(GrowString("/in/other.v2.jpg"));
    GrowArray<GrowString> outputs = batchOutputPaths(inputs, GrowString("/out"), GrowString("_batch"), GrowString("jpg"));
    ASSERT_EQ(outputs.count, 4);
    EXPECT_EQ(outputs[0], "/out/photo_batch.jpg");
    EXPECT_EQ(outputs[1], "/out/photo_batch 2.jpg");
    EXPECT_EQ(outputs[2], "/out/photo_batch 3.jpg");
    EXPECT_EQ(outputs[3], "/out/other.v2_batch.jpg");
    inputs.destroy();
    outputs.destroy();
}

TEST_F(FlowsTest, BatchOfSixGivesSixNamedOutputs) {
    QDir dir(folder.path());
    ASSERT_TRUE(dir.mkpath("in"));
    const char* names[] = {"f.png", "a.png", "c.png", "b.png", "e.png", "d.png"};
    for (const char* name : names) ASSERT_TRUE(writeTwoColourPhoto(folder.path() + "/in/" + name, 40, 30));
    ASSERT_TRUE(writeTwoColourPhoto(folder.path() + "/in/.hidden.png", 40, 30));
    QFile text(folder.path() + "/in/readme.txt");
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.close();
    GrowArray<GrowString> inputs = batchInputFiles(GrowString(QFile::encodeName(folder.path() + "/in").constData()));
    ASSERT_EQ(inputs.count, 6);
    EXPECT_TRUE(QString(inputs[0].c_str()).endsWith("/a.png"));
    EXPECT_TRUE(QString(inputs[5].c_str()).endsWith("/f.png"));
    window->loadFilterIntoDocument(GrowString(QFile::encodeName(kExampleFilter).constData()), true);
    GrowArray<GrowString> outputs = batchOutputPaths(
        inputs, GrowString(QFile::encodeName(folder.path() + "/out").constData()), GrowString("_batch"), GrowString("png"));
    ASSERT_TRUE(dir.mkpath("out"));
    EXPECT_EQ(window->queueBatch(inputs, outputs, SaveOptions()), 6);
    ASSERT_TRUE(waitForQueue(*window));
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        EXPECT_TRUE(QFileInfo::exists(folder.path() + "/out/" + name + "_batch.png")) << name;
    inputs.destroy();
    outputs.destroy();
}

// The wizard as a user fills it; a second run over the same outputs asks
// once before overwriting, and "Cancel" leaves them alone.
TEST_F(FlowsTest, BatchWizardAsksOnceBeforeOverwriting) {
    QDir dir(folder.path());
    ASSERT_TRUE(dir.mkpath("in"));
    for (const char* name : {"x.png", "y.png"}) ASSERT_TRUE(writeTwoColourPhoto(folder.path() + "/in/" + name, 40, 30));
    const QString out = folder.path() + "/out";
    QStringList questions;
    // Answers a question that follows the wizard, looking for a while.
    int round = 0;
    std::function<void(bool, int, int)> answerQuestion = [&](bool overwrite, int triesLeft, int myRound) {
        if (myRound != round) return;  // a later run has its own
        QWidget* question = QApplication::activeModalWidget();
        if (!question || question->windowTitle() == "Batch Process Folder") {
            if (triesLeft > 0)
                QTimer::singleShot(20, [&, overwrite, triesLeft, myRound] {
                    answerQuestion(overwrite, triesLeft - 1, myRound);
                });
            return;
        }
        questions << question->windowTitle();
        for (QPushButton* button : question->findChildren<QPushButton*>())
            if (button->text() == (overwrite ? "Overwrite" : "Cancel")) button->click();
    };
    auto answer = [&](bool overwrite) {
        const int myRound = ++round;
        QTimer::singleShot(30, [&, overwrite, myRound] {
            auto* wizard = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(wizard, nullptr);
            QList<QLineEdit*> edits = wizard->findChildren<QLineEdit*>();
            ASSERT_GE(edits.size(), 3);
            edits[0]->setText(folder.path() + "/in");
            edits[1]->setText(out);
            QTimer::singleShot(20, [&, overwrite, myRound] { answerQuestion(overwrite, 50, myRound); });
            wizard->accept();
        });
    };
    answer(false);
    window->batchProcessFolder();
    ASSERT_TRUE(waitForQueue(*window));
    EXPECT_TRUE(questions.isEmpty());
    const QString first = out + "/x_batch.jpg";
    ASSERT_TRUE(QFileInfo::exists(first));
    QFile::remove(out + "/y_batch.jpg");
    {
        QFile mark(first);
        ASSERT_TRUE(mark.open(QIODevice::WriteOnly));
        mark.write("keep");
    }
    answer(false);
    window->batchProcessFolder();
    ASSERT_TRUE(waitForQueue(*window));
    EXPECT_EQ(questions, QStringList{"Overwrite Files?"});
    EXPECT_FALSE(QFileInfo::exists(out + "/y_batch.jpg"));  // nothing queued
    EXPECT_EQ(QFileInfo(first).size(), 4);
    EXPECT_EQ(globalPreferences().getString(GrowString("LastBatchSaveDir"), GrowString("")),
              GrowString(out.toUtf8().constData()));
    ++round;  // pollers still armed end before this test's state goes
    waitUntil([] { return false; }, 1200);
}

TEST_F(FlowsTest, SaveWithoutAPhotoDoesNothing) {
    DialogCatcher catcher;
    catcher.arm();
    window->saveMedia(false, false);
    window->saveMedia(false, true);
    window->saveMedia(true, true);
    QApplication::processEvents();
    EXPECT_FALSE(windowState(*window).saveQueue.isBusy());
    EXPECT_EQ(catcher.seen, 0);
    QApplication::processEvents();
}

TEST_F(FlowsTest, SendToHostPrintsItsTwoLines) {
    windowState(*window).pluginId = "7";
    ::testing::internal::CaptureStdout();
    window->sendToPluginHost();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "pluginreturn -clearmods -id 7\n");
    window->loadFilterIntoDocument(GrowString(QFile::encodeName(kExampleFilter).constData()), true);
    ::testing::internal::CaptureStdout();
    window->sendToPluginHost();
    const std::string line = ::testing::internal::GetCapturedStdout();
    const std::string path = std::string(applicationSupportFolder().c_str()) + "pluginreturn.plf";
    EXPECT_EQ(line, "pluginreturn -filter " + path + " -id 7\n");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(path)));
}

TEST_F(FlowsTest, LutFromTheWindowEqualsTheRenderToolsByteForByte) {
    window->loadFilterIntoDocument(GrowString(QFile::encodeName(kExampleFilter).constData()), true);
    const QString mine = folder.path() + "/window.cube";
    const QString tools = folder.path() + "/tool.cube";
    ASSERT_TRUE(window->exportFilterTo(GrowString(QFile::encodeName(mine).constData()), true));
    GrowArray<ImageMod*> prototypes;
    buildPrototypeList(prototypes);
    GrowArray<ImageMod*> chain;
    uint32_t status = 0;
    loadFilterFile(chain, GrowString(QFile::encodeName(kExampleFilter).constData()), prototypes, status);
    ASSERT_TRUE(exportCubeLut(chain, GrowString(QFile::encodeName(tools).constData()), GrowString("gamma-exposure")));
    for (ImageMod* mod : chain) delete mod;
    chain.destroy();
    freePrototypeList(prototypes);
    QFile a(mine), b(tools);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
}

TEST_F(FlowsTest, PresetNamesThatLeaveTheFolderAreRefused) {
    window->loadFilterIntoDocument(GrowString(QFile::encodeName(kExampleFilter).constData()), true);
    const QString data = QString::fromUtf8(applicationSupportFolder().c_str());
    const QStringList before = QDir(data).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QString& name : {QString("../x"), QString("a/b"), QString(""), QString(".."), QString("a\\b"),
                                QString("x") + QChar(0) + "y"}) {
        DialogCatcher catcher;
        catcher.arm();
        EXPECT_FALSE(window->saveFavoriteFilter(name)) << name.toStdString();
        EXPECT_EQ(catcher.seen, 1);
    }
    EXPECT_EQ(QDir(data).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    EXPECT_TRUE(window->saveFavoriteFilter("Warm Look"));
    EXPECT_TRUE(QFileInfo::exists(data + "Presets/Warm Look.plf"));
    DialogCatcher replace;  // a second save of the name asks first
    replace.arm();
    EXPECT_TRUE(window->saveFavoriteFilter("Warm Look"));
    EXPECT_EQ(replace.seen, 1);
}

// ---- Preset folders ----

namespace {

struct PresetCase {
    const char* name;
    bool presetsPresent;
    const char* storedType;  // null: no key
    const char* storedText;
    bool migrates, archives, outdated;
};

class PresetFolders : public ::testing::TestWithParam<PresetCase> {};

const QString kBundle = ":/prefs/default_favorite_filters_photo.bnd";

bool hasBundleContents(const QString& presets) { return QFileInfo::exists(presets + "Example Custom Preset.plf"); }

}  // namespace

TEST_P(PresetFolders, OutcomeTable) {
    ensureTestApplication();
    const PresetCase c = GetParam();
    QTemporaryDir dir;
    const QString data = dir.path() + "/d/";
    if (c.presetsPresent) {
        ASSERT_TRUE(QDir().mkpath(data + "Presets"));
    }
    Preferences preferences(GrowString((dir.path() + "/prefs.xml").toUtf8().constData()));
    if (c.storedType)
        preferences.setValue(GrowString("DefaultFiltersVersion"), GrowString(c.storedText), GrowString(c.storedType),
                             false);
    bool migrated = false, outdated = false;
    setUpPresetFoldersIn(GrowString(data.toUtf8().constData()), preferences, kBundle, migrated, outdated);
    EXPECT_EQ(migrated, c.migrates);
    EXPECT_EQ(migrated && outdated, c.outdated);  // the message
    EXPECT_EQ(QFileInfo::exists(data + "Presets Archive/Archive 1"), c.archives);
    EXPECT_EQ(hasBundleContents(data + "Presets/"), c.migrates);
    EXPECT_FALSE(QFileInfo::exists(data + "tempbundle.bnd"));
    if (!c.storedType) {
        EXPECT_EQ(preferences.root.findChild(GrowString("DefaultFiltersVersion"))->text, "3.100000");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PresetFolders,
                         ::testing::Values(PresetCase{"AbsentMissing", false, nullptr, nullptr, true, false, false},
                                           PresetCase{"AbsentOlder", false, "float", "3.0", true, false, true},
                                           PresetCase{"AbsentCurrent", false, "float", "3.1", true, false, false},
                                           PresetCase{"PresentMissing", true, nullptr, nullptr, false, false, false},
                                           PresetCase{"PresentOlder", true, "float", "3.0", true, true, true},
                                           PresetCase{"PresentCurrent", true, "float", "3.100000", false, false, false},
                                           PresetCase{"PresentNotFloat", true, "string", "2.0", false, false, false},
                                           PresetCase{"AbsentNotFloat", false, "string", "2.0", true, false, false},
                                           // A text that is no finite float counts as no version.
                                           PresetCase{"PresentNotANumber", true, "float", "nan", false, false, false},
                                           PresetCase{"PresentInfinite", true, "float", "-inf", false, false, false},
                                           PresetCase{"PresentBeyondFloats", true, "float", "1e39", false, false, false},
                                           PresetCase{"AbsentNotANumber", false, "float", "nan", true, false, false}),
                         [](const ::testing::TestParamInfo<PresetCase>& info) { return std::string(info.param.name); });

TEST(PresetFolderMigration, ArchiveNumbersLeftoversFailedCopiesAndCommaLocale) {
    ensureTestApplication();
    QTemporaryDir dir;
    const QString data = dir.path() + "/";
    const GrowString dataFolder(data.toUtf8().constData());
    for (const char* made : {"Presets", "Presets Archive/Archive 1", "Presets Archive/Archive 3", "Custom Filters",
                             "My Styles"})
        ASSERT_TRUE(QDir().mkpath(data + made));
    for (const char* file : {"Presets/mine.plf", "Custom Filters/old.plf", "My Styles/style.plf", "tempbundle.bnd"}) {
        QFile f(data + file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    // The copy of "My Styles" cannot be made: a file stands where its
    // destination folder would go.
    {
        QFile blocker(data + "Presets/Presets 2.6");
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    Preferences preferences(GrowString((data + "prefs.xml").toUtf8().constData()));
    preferences.setValue(GrowString("DefaultFiltersVersion"), GrowString("3.000000"), GrowString("float"), false);
    bool migrated = false, outdated = false;
    setUpPresetFoldersIn(dataFolder, preferences, kBundle, migrated, outdated);
    EXPECT_TRUE(migrated && outdated);
    EXPECT_TRUE(QFileInfo::exists(data + "Presets Archive/Archive 2/mine.plf"));
    EXPECT_TRUE(QFileInfo::exists(data + "Presets/Presets 2.0/old.plf"));
    EXPECT_FALSE(QFileInfo::exists(data + "Custom Filters"));
    EXPECT_TRUE(QFileInfo::exists(data + "My Styles/style.plf"));  // the failed copy keeps the source
    EXPECT_TRUE(QFileInfo::exists(data + "Presets/mine.plf"));
    EXPECT_FALSE(QFileInfo::exists(data + "tempbundle.bnd"));

    // The version written on closing reads as 3.1 under a decimal comma too.
    const std::string& comma = commaDecimalLocale();
    ASSERT_FALSE(comma.empty()) << "no comma-decimal locale on this machine (scripts/setup.sh makes de_DE.UTF-8)";
    ASSERT_NE(std::setlocale(LC_NUMERIC, comma.c_str()), nullptr);
    preferences.setValue(GrowString("DefaultFiltersVersion"), GrowString("3.100000"), GrowString("float"), false);
    setUpPresetFoldersIn(dataFolder, preferences, kBundle, migrated, outdated);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_FALSE(migrated);
    EXPECT_FALSE(QFileInfo::exists(data + "Presets Archive/Archive 4"));
}

// ---- Restored state ----

TEST(RestoredGeometry, ScreensAndHostileValues) {
    struct Row {
        const char* text;
        int sw, sh;
        QRect expected;
    } rows[] = {
        {"100 100 1200 800", 1280, 800, QRect(100, 100, 1180, 700)},
        {"100 100 1200 800", 1920, 1080, QRect(100, 100, 1200, 800)},
        {"", 1280, 800, QRect(0, 0, 900, 700)},
        {"-50 30 300 5000", 1440, 900, QRect(0, 30, 400, 870)},
        {"1e12 0 0 0", 1280, 800, QRect(880, 0, 400, 400)},
        {"0 0 1e12 1e12", 1280, 800, QRect(0, 0, 1280, 800)},
        {"nan nan nan nan", 1280, 800, QRect(0, 0, 400, 400)},
        {"-1e300 inf -inf 12", 1280, 800, QRect(0, 400, 400, 400)},
        {"300", 1280, 800, QRect(300, 0, 400, 400)},
        {"garbage", 1280, 800, QRect(0, 0, 400, 400)},
    };
    for (const Row& row : rows)
        EXPECT_EQ(restoredGeometry(GrowString(row.text), row.sw, row.sh), row.expected) << row.text;
}

TEST_F(FlowsTest, CollapsedSectionsComeBackAndHostileKeysAreHarmless) {
    for (const char* name : {"Basics", "Advanced Light", "Advanced Color", "Photographic", "Masks", "Borders",
                             "Utility"})
        windowState(*window).toolPanel->setSectionCollapsed(0, GrowString(name), std::string(name) == "Masks");
    window->close();
    window.reset();
    window = std::make_unique<MainWindow>("");
    GrowArray<GrowString> collapsed = windowState(*window).toolPanel->collapsedSectionNames(0);
    ASSERT_EQ(collapsed.count, 1);
    EXPECT_EQ(collapsed[0], "Masks");
    collapsed.destroy();

    Preferences& preferences = globalPreferences();
    preferences.setValue(GrowString("CollapsedToolSections"), GrowString("x"), GrowString("string"), false);
    preferences.setValue(GrowString("CurrentTab"), GrowString("1e30"), GrowString("int"), false);
    preferences.setValue(GrowString("WindowGeometry"), GrowString("nan 1e40 -1e40 x"), GrowString("string"), false);
    window.reset();
    window = std::make_unique<MainWindow>("");
    EXPECT_GE(window->width(), 400);
    EXPECT_EQ(preferences.root.findChild(GrowString("CollapsedToolSections"))->text, "x");  // left as it was
    collapsed = windowState(*window).toolPanel->collapsedSectionNames(0);
    EXPECT_EQ(collapsed.count, 6);  // the defaults: every section but Basics
    collapsed.destroy();
}

TEST_F(FlowsTest, ButtonsAndTheFiltersUpdatedMessage) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    const QSize start = QPixmap(":/img/startup_loadphoto.png").size();
    EXPECT_EQ(s.startLoadButton->size(), QSize(qRound(start.width() / 2.0), qRound(start.height() / 2.0)));
    EXPECT_EQ(s.hidePanelButton->size(), QSize(32, 22));
    EXPECT_EQ(s.deleteNodesButton->size(), QSize(22, 32));
    EXPECT_EQ(s.cancelProcessingButton->size(), QSize(18, 18));
    EXPECT_FALSE(s.cancelProcessingButton->isVisible());
    EXPECT_FALSE(s.singleViewButton->isVisible());
    EXPECT_EQ(s.sendToHostButton, nullptr);
    EXPECT_EQ(w.minimumSize(), QSize(600, 400));

    // An older stored version migrates the presets and says so once.
    window.reset();
    globalPreferences().setValue(GrowString("DefaultFiltersVersion"), GrowString("3.000000"), GrowString("float"),
                                 false);
    DialogCatcher catcher;
    catcher.arm();
    window = std::make_unique<MainWindow>("");
    EXPECT_EQ(catcher.seen, 1);
    EXPECT_TRUE(catcher.text.startsWith("Your filters have been updated!"));
    window->close();  // stores 3.1: the next start says nothing
    DialogCatcher again;
    again.arm();
    window = std::make_unique<MainWindow>("");
    QApplication::processEvents();
    EXPECT_EQ(again.seen, 0);
}
