// The main window offscreen: construction, tabs and titles, adding tiles,
// opening photos and filters, the road of one edit, the start-up file.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileOpenEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <QPointer>

#include <chrono>
#include <memory>
#include <thread>

#include "desktop_only/app/CustomApplication.h"
#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/display/VxToolWidget.h"
#include "desktop_only/tray/TrayNode.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxRenderQueueWindow.h"
#include "desktop_only/widgets/VxTabBar.h"
#include "desktop_only/widgets/VxTabButton.h"
#include "foundation/Preferences.h"
#include "foundation/UndoStack.h"
#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"
#include "support/DesktopTestAccess.h"
#include "support/DesktopTestHelpers.h"
#include "support/StateGuards.h"

using StripAccess = ControlStripTestAccess;

namespace {

QString styleSheet() { return "QWidget { color: #ffffff; }"; }

// Answers the next modal dialog with its first button, recording its title
// and text.
struct DialogCatcher {
    QString title;
    QString text;
    QRect geometry;
    bool accept = true;
    int seen = 0;
    void arm() {
        QTimer::singleShot(50, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return arm();
            ++seen;
            title = modal->windowTitle();
            geometry = modal->geometry();
            for (QLabel* label : modal->findChildren<QLabel*>())
                if (!label->text().isEmpty() && label->text() != title) text = label->text();
            if (accept)
                static_cast<QDialog*>(modal)->accept();
            else
                static_cast<QDialog*>(modal)->reject();
        });
    }
};

QString tabTitle(MainWindow& w, int index) {
    return QString::fromUtf8(windowState(w).tabBar->tabButtons[index]->title().c_str());
}

ImageMod* prototypeNamed(MainWindow& w, const char* name) {
    for (ImageMod* tile : windowState(w).tilePrototypes)
        if (tile->name == name) return tile;
    return nullptr;
}

class MainWindowTest : public ::testing::Test {
protected:
    // Each test starts from the preferences of a new process (run whole, the
    // binary's other tests have changed them) and leaves them as it found them.
    teststate::FreshPreferences preferences;
    void SetUp() override {
        ensureTestApplication();
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QDir(folder.path()).mkpath("photos"));
        photo = folder.path() + "/photos/a.jpg";
        ASSERT_TRUE(writeTwoColourPhoto(folder.path() + "/photos/a.png", 300, 200));
        ASSERT_TRUE(QImage(folder.path() + "/photos/a.png").save(photo, "JPEG", 95));
        window = std::make_unique<MainWindow>(styleSheet());
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        waitForWindowIdle(*window, false);
        window.reset();
    }
    VxMediaWidget* view() { return window->current()->view; }
    TrayWidget* tray() { return window->current()->tray; }

    QTemporaryDir folder;
    QString photo;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

TEST_F(MainWindowTest, ConstructionState) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    ASSERT_EQ(s.documentTabs.count, 1);
    EXPECT_EQ(s.documentTabs[0].tabID, 0);
    EXPECT_EQ(s.currentTab, 0);
    EXPECT_EQ(s.nextTabId, 1);
    EXPECT_EQ(tabTitle(w, 0), "Empty Tab");
    EXPECT_EQ(w.windowTitle(), "Pellucine | RAW");
    EXPECT_FALSE(s.tabBar->isVisible());
    EXPECT_FALSE(s.renderQueueWindow->isVisible());
    EXPECT_FALSE(s.pixelInspectorWindow->isVisible());
    EXPECT_EQ(s.pixelInspectorWindow->height(), 202);
    EXPECT_TRUE(s.autohideControls);  // no preferences file: the default, and the key exists now
    EXPECT_TRUE(globalPreferences().getBool(GrowString("AutohideControls"), false));
    EXPECT_EQ(s.activeTool, nullptr);
    EXPECT_FALSE(s.hostMode);
    EXPECT_TRUE(s.layoutReady);
    EXPECT_GT(s.tilePrototypes.count, 10);
    EXPECT_EQ(QMetaType::type("VideoLoaderSaverTime"), qMetaTypeId<VideoLoaderSaverTime>());
}

TEST_F(MainWindowTest, TabIdsCurrentTabsAndTitles) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    w.buildDocumentTab();
    w.buildDocumentTab();
    ASSERT_EQ(s.documentTabs.count, 3);
    EXPECT_EQ(s.documentTabs[1].tabID, 1);
    EXPECT_EQ(s.documentTabs[2].tabID, 2);
    EXPECT_EQ(s.currentTab, 2);
    EXPECT_TRUE(s.tabBar->isVisible());

    w.documentTabWantsClosing(1);  // the tab before the closed one becomes current
    ASSERT_EQ(s.documentTabs.count, 2);
    EXPECT_EQ(s.documentTabs[s.currentTab].tabID, 0);
    w.buildDocumentTab();  // ids are never reused
    EXPECT_EQ(s.documentTabs[2].tabID, 3);
    w.documentTabWantsClosing(0);  // closing the first makes the new first current
    EXPECT_EQ(s.documentTabs[s.currentTab].tabID, 2);
    w.documentTabWantsClosing(2);
    w.documentTabWantsClosing(3);  // the last tab stays
    ASSERT_EQ(s.documentTabs.count, 1);
    EXPECT_EQ(s.documentTabs[0].tabID, 3);

    ASSERT_TRUE(w.openMediaFile(photo));
    EXPECT_EQ(w.windowTitle(), "Pellucine | RAW - a.jpg");
    EXPECT_EQ(tabTitle(w, 0), "a.jpg");
    EXPECT_TRUE(view()->hasMedia());
}

TEST_F(MainWindowTest, ClosingOrSwitchingTabsEndsTheOpenTool) {
    MainWindow& w = *window;
    w.buildDocumentTab();
    windowState(w).activeTool = new VxToolWidget(view());
    QPointer<VxToolWidget> tool = windowState(w).activeTool;
    w.documentTabChosen(0);
    EXPECT_EQ(windowState(w).activeTool, nullptr);
    windowState(w).activeTool = new VxToolWidget(view());
    w.documentTabWantsClosing(0);
    EXPECT_EQ(windowState(w).activeTool, nullptr);
    QApplication::processEvents();
}

TEST_F(MainWindowTest, AddModToTrayAppendsSelectsAndReplacesUnpinned) {
    MainWindow& w = *window;
    ControlStrip& strip = *windowState(w).controlStrip;
    ImageMod* exposure = prototypeNamed(w, "Exposure");
    ImageMod* contrast = prototypeNamed(w, "Contrast");
    ASSERT_TRUE(exposure && contrast);
    w.addModToTray(exposure, true, true, false);
    w.addModToTray(contrast, true, true, false);
    ASSERT_EQ(tray()->masterList()->subMods.count, 2);
    EXPECT_NE(tray()->masterList()->subMods[0], exposure);  // a clone is added
    EXPECT_TRUE(TrayWidgetTestAccess::nodes(*tray())[1]->selected());
    EXPECT_FALSE(TrayWidgetTestAccess::nodes(*tray())[0]->selected());
    int shown = 0;
    for (ModVar* var : contrast->vars) shown += var->shown ? 1 : 0;
    EXPECT_EQ(StripAccess::controlTable(strip).count, shown);  // the strip is built for the selected tile
    ASSERT_GT(shown, 0);
    EXPECT_EQ(StripAccess::controlTable(strip)[0].tile, tray()->masterList()->subMods[1]);
    EXPECT_EQ(TrayWidgetTestAccess::undoStack(*tray())->undoCount(), 2);
    EXPECT_EQ(VxMediaWidgetTestAccess::chainCount(*view()), 2);
    // A whole filter, not appended, replaces the unpinned tiles and names the tray.
    tray()->masterList()->subMods[0]->pinned = 1;
    CompoundFilter warm(GrowString("Warm"));
    warm.subMods.append(duplicateMod(*contrast));
    w.addModToTray(&warm, false, true, false);
    ASSERT_EQ(tray()->masterList()->subMods.count, 2);
    EXPECT_EQ(tray()->masterList()->subMods[0]->name, "Exposure");
    EXPECT_EQ(windowState(w).filterNameLabel->text(), "Warm");
    w.addModToTray(exposure, true, true, false);
    EXPECT_EQ(windowState(w).filterNameLabel->text(), "Warm*");
}

TEST_F(MainWindowTest, CantLoadFileLeavesTheDocumentUnchanged) {
    MainWindow& w = *window;
    ASSERT_TRUE(w.openMediaFile(photo));
    const ImageBuffer* before = view()->sharedSource().get();
    const QString broken = folder.path() + "/broken.png";
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    for (const QString& bad : {broken, folder.path() + "/missing.jpg", folder.path()}) {
        DialogCatcher catcher;
        catcher.arm();
        EXPECT_FALSE(w.openMediaFile(bad));
        EXPECT_EQ(catcher.seen, 1);
        EXPECT_EQ(catcher.title, "Can't Load File");
        EXPECT_EQ(view()->sharedSource().get(), before);
        EXPECT_TRUE(view()->hasMedia());
        EXPECT_EQ(w.windowTitle(), "Pellucine | RAW - a.jpg");
    }
}

TEST_F(MainWindowTest, FilterLoadErrorKeepsTheTrayAndAnEmptyNameClearsIt) {
    MainWindow& w = *window;
    w.addModToTray(prototypeNamed(w, "Exposure"), true, true, false);
    const QString bad = folder.path() + "/bad.plf";
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<nothing/>");
    file.close();
    DialogCatcher catcher;
    catcher.arm();
    w.loadFilterSlot(bad, true);
    EXPECT_EQ(catcher.title, "Filter Load Error");
    EXPECT_EQ(tray()->masterList()->subMods.count, 1);
    // A filter cut in the middle of a tag is refused with its reason, not
    // read as a default tile.
    const QString cut = folder.path() + "/cut.plf";
    QFile cutFile(cut);
    ASSERT_TRUE(cutFile.open(QIODevice::WriteOnly));
    cutFile.write("<filter version=\"4\">\n  <mod name=\"Contrast\" version=\"1\" enabled=\"1\">\n    <var name=\"Am");
    cutFile.close();
    DialogCatcher cutCatcher;
    cutCatcher.arm();
    w.loadFilterSlot(cut, true);
    EXPECT_EQ(cutCatcher.title, "Filter Load Error");
    EXPECT_TRUE(cutCatcher.text.contains("is cut short: it ends inside a tag")) << cutCatcher.text.toStdString();
    ASSERT_EQ(tray()->masterList()->subMods.count, 1);
    EXPECT_EQ(tray()->masterList()->subMods[0]->name, "Exposure");
    w.loadFilterSlot(QString(), true);
    EXPECT_EQ(tray()->masterList()->subMods.count, 0);
    EXPECT_TRUE(tray()->filterName().isEmpty());
    EXPECT_FALSE(tray()->modified());
}

// Open a photo, load a filter holding Exposure, change its var: the view's
// display buffer is the chain rendered over the source drawn through the
// output geometry at the visible size, sample for sample.
TEST_F(MainWindowTest, TheRoadOfOneEdit) {
    MainWindow& w = *window;
    ASSERT_TRUE(w.openMediaFile(photo));
    const QString filter = folder.path() + "/bright.plf";
    QFile file(filter);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<filter version=\"4\">\n  <mod name=\"Exposure\" version=\"1\" enabled=\"1\">\n"
               "    <var name=\"Amount\" type=\"float\">1.200000</var>\n  </mod>\n</filter>\n");
    file.close();
    w.loadFilterIntoDocument(GrowString(filter.toUtf8().constData()), true);
    ASSERT_EQ(tray()->masterList()->subMods.count, 1);
    EXPECT_EQ(windowState(w).filterNameLabel->text(), "bright*");  // loading marks the tray modified
    ASSERT_TRUE(waitForDisplayIdle(view()));

    ImageMod* exposure = tray()->masterList()->subMods[0];
    exposure->var(0)->floatValue()->value = 1.45f;
    exposure->varChanged(0);
    int updates = 0;
    QObject::connect(view(), &VxMediaWidget::displayUpdatedSignal, [&updates] { ++updates; });
    w.refreshView();
    ASSERT_TRUE(waitUntil([&] { return updates > 0; }));
    ASSERT_TRUE(waitForDisplayIdle(view()));

    GrowArray<ImageMod*> chain = tray()->modChain(true, true);
    const ImageBuffer expected = expectedFitDisplay(view(), chain, view()->width(), view()->height());
    ASSERT_GT(expected.width, 0);
    EXPECT_EQ(maxDifference(VxMediaWidgetTestAccess::shownBuffer(*view()), expected), 0.0f);
    EXPECT_EQ(VxMediaWidgetTestAccess::shownImage(*view()).width(), expected.width);
}

TEST_F(MainWindowTest, ClosingATabInTheMiddleOfAPassIsClean) {
    MainWindow& w = *window;
    ASSERT_TRUE(w.openMediaFile(photo));
    ASSERT_TRUE(waitForDisplayIdle(view()));
    w.buildDocumentTab();
    VxMediaWidget* first = windowState(w).documentTabs[0].view;
    VxMediaWidgetTestAccess::holdPasses(*first, true);
    first->requestDisplayPass();
    ASSERT_TRUE(waitUntil([&] { return VxMediaWidgetTestAccess::passIsHeld(*first); }));
    std::thread releaser([first] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        VxMediaWidgetTestAccess::holdPasses(*first, false);
    });
    w.documentTabWantsClosing(0);
    releaser.join();
    EXPECT_EQ(windowState(w).documentTabs.count, 1);
}

TEST(MessageDialog, CentredOnTheScreenWithTheButtonsResult) {
    ensureTestApplication();
    QWidget parent;
    parent.setGeometry(3000, 2000, 100, 100);  // wherever the parent lies
    for (bool accept : {true, false}) {
        DialogCatcher catcher;
        catcher.accept = accept;
        catcher.arm();
        EXPECT_EQ(showMessageDialog(&parent, "Title", "Text", "OK", "", ""), accept ? 1 : 0);
        EXPECT_EQ(catcher.title, "Title");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LE(std::abs(catcher.geometry.center().x() - screen.center().x()), 1);
        EXPECT_LE(std::abs(catcher.geometry.center().y() - screen.center().y()), 1);
    }
}

TEST(StartupFile, HeldRequestsComeFirstAndOnlyTheFirstIsUsed) {
    ensureTestApplication();
    char program[] = "pellucine";
    char argument[] = "/tmp/from-command-line.png";
    char notUtf8[] = "/tmp/caf\xe9.png";
    char* argv[] = {program, argument, nullptr};
    EXPECT_EQ(chooseStartupPath(QStringList(), 1, argv), QString());
    EXPECT_EQ(chooseStartupPath(QStringList(), 2, argv), QString("/tmp/from-command-line.png"));
    EXPECT_EQ(chooseStartupPath(QStringList{"/a.png", "/b.png"}, 2, argv), QString("/a.png"));
    char* latin[] = {program, notUtf8, nullptr};
    EXPECT_EQ(chooseStartupPath(QStringList(), 2, latin), QFile::decodeName(notUtf8));
    char utf8[] = "/tmp/caf\xc3\xa9.png";
    char* accented[] = {program, utf8, nullptr};
    EXPECT_EQ(QFile::encodeName(chooseStartupPath(QStringList(), 2, accented)), QByteArray(utf8));

    QTemporaryDir dir;
    EXPECT_FALSE(isOpenableStartupPath(dir.path()));  // a folder
    EXPECT_FALSE(isOpenableStartupPath(dir.path() + "/missing.png"));
    EXPECT_FALSE(isOpenableStartupPath(QString()));
    ASSERT_TRUE(writeTwoColourPhoto(dir.path() + "/p.png", 8, 8));
    EXPECT_TRUE(isOpenableStartupPath(dir.path() + "/p.png"));
}

TEST(StartupFile, RequestsAreHeldUntilTheWindowExistsThenOpenedAtOnce) {
    ensureTestApplication();
    QTemporaryDir dir;
    const QString first = dir.path() + "/first.png", second = dir.path() + "/second.png";
    ASSERT_TRUE(writeTwoColourPhoto(first, 40, 30));
    ASSERT_TRUE(writeTwoColourPhoto(second, 40, 30));
    QStringList held;
    EXPECT_TRUE(handleFileOpenRequest(held, nullptr, first));
    EXPECT_TRUE(handleFileOpenRequest(held, nullptr, second));
    ASSERT_EQ(held.size(), 2);
    EXPECT_EQ(chooseStartupPath(held, 1, nullptr), first);  // only the first held request is opened

    MainWindow window("");
    windowState(window).hostMode = true;  // in host mode requests stay held
    EXPECT_TRUE(handleFileOpenRequest(held, &window, second));
    EXPECT_EQ(held.size(), 3);
    EXPECT_TRUE(windowState(window).documentTabs[0].name.isEmpty());
    windowState(window).hostMode = false;
    EXPECT_TRUE(handleFileOpenRequest(held, &window, second));
    EXPECT_EQ(held.size(), 3);
    EXPECT_EQ(QFile::decodeName(windowState(window).documentTabs[0].name.c_str()), second);
    waitForDisplayIdle(windowState(window).documentTabs[0].view);
}
