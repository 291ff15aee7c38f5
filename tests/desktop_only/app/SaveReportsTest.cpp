// Saving a document and reporting failed jobs, offscreen: a save renders the
// photo as the document opened it however often it is saved over; the file
// has the size the Save Size dialog showed; a failed run names its files and
// reasons; a size beyond memory is refused before anything is queued, and a
// deeper photo's PNG or TIFF is counted at the 16 bits a sample it gets; the
// folder the open and batch dialogs start in.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTransform>
#include <QWheelEvent>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/media/MediaTestHelpers.h"
#include "desktop_only/display/VxCropTool.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/media/MediaFileIo.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/DialogWindow.h"
#include "foundation/Mutex.h"
#include "foundation/Preferences.h"
#include "framework/CropMod.h"
#include "framework/ImageMod.h"
#include "framework/ModVar.h"
#include "render/OutputGeometry.h"
#include "render/RenderContext.h"
#include "support/DesktopTestAccess.h"
#include "support/DesktopTestHelpers.h"
#include "support/StateGuards.h"
#include "support/TestTiles.h"

namespace {

const QString kExampleFilter = QString(PELLUCINE_SOURCE_DIR) + "/examples/gamma-exposure.plf";

GrowString native(const QString& path) { return GrowString(QFile::encodeName(path).constData()); }

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers each modal dialog as `answer` says while it lives (a dialog it
// leaves open is looked at again on the next round).
struct DialogAnswerer {
    std::function<bool(QWidget*)> answer;
    std::unique_ptr<QObject> guard = std::make_unique<QObject>();
    void arm() {
        QTimer::singleShot(20, guard.get(), [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) answer(modal);
            arm();
        });
    }
};

class SaveReportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        ASSERT_TRUE(folder.isValid());
        window = std::make_unique<MainWindow>("");
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        waitForWindowIdle(*window);
        window.reset();
    }
    VxMediaWidget* view() { return window->current()->view; }
    bool waitForQueue() { return waitUntil([&] { return !windowState(*window).saveQueue.isBusy(); }, 60000); }
    bool saveOver(const QString& path) {
        return window->queueSave(native(path), SaveOptions(), 0, 0, true) && waitForQueue();
    }

    // The input rendered once through the document's chain (geometry, then
    // the chain), as 8-bit RGB, or with sixteenBit as the 16-bit TIFF a save
    // of a deep photo writes.
    QImage renderedOnce(const QString& input, bool sixteenBit = false) {
        DesktopImageLoaderSaver loader;
        ImageBuffer image;
        if (!loader.loadFloatKeepingAlpha(native(input), &image, true, nullptr)) return QImage();
        GrowArray<ImageMod*> chain = window->current()->tray->modChain(true, false);
        OutputGeometry geometry;
        RenderContext context(0);
        const bool rendered = computeOutputGeometry(chain, image.width, image.height, geometry) &&
                              geometry.isIdentity() && context.render(chain, &image, nullptr, -1, 0, nullptr);
        chain.destroy();
        const QString out = folder.path() + (sixteenBit ? "/expected.tif" : "/expected.png");
        SaveOptions options;
        options.sixteenBit = sixteenBit;
        if (!rendered || !loader.saveFloat(native(out), image, options, nullptr)) return QImage();
        return sixteenBit ? QImage(out) : QImage(out).convertToFormat(QImage::Format_RGB888);
    }

    QTemporaryDir folder;
    std::unique_ptr<MainWindow> window;
};

QImage rgb(const QString& path) { return QImage(path).convertToFormat(QImage::Format_RGB888); }

}  // namespace

// ---- Saving over the original ----

TEST_F(SaveReportsTest, SavingOverTheOriginalAgainAppliesTheChainOnce) {
    const QString photo = folder.path() + "/p.png";
    const QString kept = folder.path() + "/original.png";
    ASSERT_TRUE(writeTwoColourPhoto(photo, 300, 200));
    ASSERT_TRUE(QFile::copy(photo, kept));
    ASSERT_TRUE(window->openMediaFile(photo));
    window->loadFilterIntoDocument(native(kExampleFilter), true);
    const QImage once = renderedOnce(kept);
    ASSERT_EQ(once.size(), QSize(300, 200));
    ASSERT_NE(once, rgb(kept));

    ASSERT_TRUE(saveOver(photo));
    EXPECT_EQ(rgb(photo), once);
    const QByteArray first = bytesOf(photo);
    ASSERT_TRUE(saveOver(photo));
    EXPECT_EQ(rgb(photo), once);  // not the chain over the first result
    EXPECT_EQ(bytesOf(photo), first);

    // The view still shows the photo as opened, which is what is saved.
    ImageBuffer original;
    DesktopImageLoaderSaver loader;
    ASSERT_TRUE(loader.loadFloatKeepingAlpha(native(kept), &original, true, nullptr));
    EXPECT_EQ(maxDifference(*view()->sharedSource(), original), 0.0f);

    // After a further edit: the new chain, once, over the original photo.
    window->loadFilterIntoDocument(native(kExampleFilter), false);
    const QImage edited = renderedOnce(kept);
    ASSERT_NE(edited, once);
    ASSERT_TRUE(saveOver(photo));
    EXPECT_EQ(rgb(photo), edited);

    // Turned: the view's source is turned already and is not turned again
    // (the chain is a colour map, so turning before or after it agrees).
    view()->rotateSource(true);
    ASSERT_TRUE(saveOver(photo));
    ASSERT_TRUE(saveOver(photo));
    EXPECT_EQ(rgb(photo), edited.transformed(QTransform().rotate(90)));
}

// A JPEG saved over twice gives the same bytes: the same pixels and the
// metadata read when it was opened, not what the first save wrote.
TEST_F(SaveReportsTest, AJpegSavedOverTwiceKeepsItsBytesAndMetadata) {
    const QString photo = folder.path() + "/turned.jpg";
    ASSERT_TRUE(QFile::copy(QString(PELLUCINE_TESTDATA_DIR) + "/jpeg/orientation-6.jpg", photo));
    QFile::setPermissions(photo, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(window->openMediaFile(photo));
    window->loadFilterIntoDocument(native(kExampleFilter), true);
    ASSERT_TRUE(saveOver(photo));
    const QByteArray first = bytesOf(photo);
    EXPECT_TRUE(first.contains(QByteArray("Exif\0\0", 6)));  // the camera's EXIF carried
    ASSERT_TRUE(saveOver(photo));
    EXPECT_EQ(bytesOf(photo), first);
}

// A 16-bit master saved over twice stays 16-bit, the look applied once.
TEST_F(SaveReportsTest, ASixteenBitTiffSavedOverTwiceKeepsItsDepth) {
    const QString photo = folder.path() + "/master.tiff";
    const QString kept = folder.path() + "/original.tiff";
    ASSERT_TRUE(QFile::copy(QString(PELLUCINE_TESTDATA_DIR) + "/tiff/rgb-16bit.tiff", photo));
    QFile::setPermissions(photo, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(QFile::copy(photo, kept));
    ASSERT_TRUE(window->openMediaFile(photo));
    window->loadFilterIntoDocument(native(kExampleFilter), true);
    const QImage once = renderedOnce(kept, true);
    ASSERT_EQ(once.format(), QImage::Format_RGBX64);
    ASSERT_NE(once, QImage(kept));
    ASSERT_TRUE(saveOver(photo));
    const QByteArray first = bytesOf(photo);
    ASSERT_TRUE(saveOver(photo));
    EXPECT_EQ(bytesOf(photo), first);
    const QImage saved(photo);
    EXPECT_EQ(saved.format(), QImage::Format_RGBX64);
    EXPECT_TRUE(saved == once);
}

// The queued save keeps the picture it was given while the document's tab
// closes or opens another photo before the job comes up.
TEST_F(SaveReportsTest, AWaitingSaveOutlivesItsTabAndANewPhoto) {
    const QString photo = folder.path() + "/p.png";
    const QString other = folder.path() + "/other.png";
    const QString kept = folder.path() + "/original.png";
    ASSERT_TRUE(writeTwoColourPhoto(photo, 300, 200));
    ASSERT_TRUE(writeTwoColourPhoto(other, 40, 30));
    ASSERT_TRUE(QFile::copy(photo, kept));

    // A job that holds the worker until the test lets it go (at the latest
    // when the test ends, however it ends).
    std::atomic<bool> release{false};
    struct Releaser {
        std::atomic<bool>& flag;
        ~Releaser() { flag = true; }
    } releaser{release};
    RenderJob hold;
    hold.sourcePath = native(other);
    hold.outputPath = native(folder.path() + "/held.png");
    hold.mods.append(new rendertest::HookTile(
        [&release](ImageBuffer&, const RenderArgs*, bool) {
            while (!release.load()) QThread::msleep(2);
        },
        false));

    for (const bool closeTab : {true, false}) {
        SCOPED_TRACE(closeTab ? "tab closed" : "another photo opened");
        release = false;
        RenderJob held = hold;
        held.mods = cloneModChain(hold.mods);
        windowState(*window).saveQueue.addJob(held);
        window->buildDocumentTab();
        ASSERT_TRUE(window->openMediaFile(photo));
        window->loadFilterIntoDocument(native(kExampleFilter), true);
        const QImage once = renderedOnce(kept);
        const QString saved = folder.path() + (closeTab ? "/closed.png" : "/replaced.png");
        ASSERT_TRUE(window->queueSave(native(saved), SaveOptions(), 0, 0, false));
        if (closeTab)
            window->documentTabWantsClosing(window->current()->tabID);
        else
            ASSERT_TRUE(window->openMediaFile(other));
        release = true;
        ASSERT_TRUE(waitForQueue());
        EXPECT_EQ(rgb(saved), once);
    }
    for (ImageMod* mod : hold.mods) delete mod;
}

// ---- The size the Save Size dialog shows is the size written ----

// One side typed in the Save Size dialog, through Save As and Save Over
// Original, on photos of several proportions, whole and cropped to 16:9 with
// the crop tool, then stepped with the keys or the wheel and the dialog
// closed with Enter or the OK button: the file has exactly the size the
// dialog showed just before it closed, the other side rounded to the nearest
// pixel of the proportion the dialog started with (the chain's own size).
// Enter in a spin box sends its value again: in the box that followed, that
// used to recompute the side typed (600 x 400 at width 100 showed 100 x 67,
// and Tab, Enter wrote 101 x 67). Where the rounding went up, the picture
// fitted into the size used to lose a pixel (100 x 67 wrote 100 x 66).
TEST_F(SaveReportsTest, TheFileHasTheSizeTheDialogShowed) {
    struct Photo {
        int width, height;
        bool crop;
    } photos[] = {{600, 400, false},   {600, 400, true},   {3001, 1999, false}, {3001, 1999, true},
                  {1999, 3001, false}, {1999, 3001, true}, {1, 1000, false},    {1000, 1, false},
                  {2, 1001, false}};
    // What the user does after typing, besides keys sent to the focused box:
    // Tab (Shift+Tab from the height) to the other box, a wheel notch down
    // over the box typed in, a click on OK. The last step closes the dialog.
    enum : int { kToOther = -1, kWheelDown = -2, kClickOk = -3 };
    struct Typed {
        bool width;  // which box is typed in
        int value;   // 0: the chain's own size on that side
        std::vector<int> then;
    } typings[] = {
        {true, 100, {kToOther, Qt::Key_Return}},
        {true, 301, {kToOther, Qt::Key_Enter}},
        {true, 1000, {kToOther, Qt::Key_Return}},
        {true, 1, {Qt::Key_Return}},
        {false, 67, {Qt::Key_Enter}},
        {false, 200, {kToOther, Qt::Key_Return}},
        {false, 999, {Qt::Key_Up, Qt::Key_Up, kToOther, Qt::Key_Return}},
        {true, 0, {Qt::Key_Down, Qt::Key_PageDown, kToOther, Qt::Key_Return}},
        {true, 301, {kWheelDown, kToOther, Qt::Key_Return}},
        {true, 100, {kToOther, kClickOk}},
    };
    int saves = 0;
    for (const Photo& p : photos) {
        const QString photo = folder.path() + QString("/photo-%1x%2-%3.png").arg(p.width).arg(p.height).arg(p.crop);
        ASSERT_TRUE(writeTwoColourPhoto(photo, p.width, p.height));
        ASSERT_TRUE(window->openMediaFile(photo));
        window->current()->tray->clearPreMods();  // the crop of the photo before
        if (p.crop) {
            window->runComID(0);
            auto* tool = qobject_cast<VxCropTool*>(windowState(*window).activeTool);
            ASSERT_NE(tool, nullptr);
            ChoiceValue* aspect = tool->cropTile->vars[kCropAspect]->choiceValue();
            for (int32_t option = 0; option < aspect->optionCount(); ++option)
                if (aspect->lists[0][option] == GrowString("16:9")) aspect->selected = option;
            tool->controlAdjusted(tool->cropTile->vars[kCropAspect]);
            window->toolRequestedExit(tool);
        }
        for (const Typed& t : typings) {
            const bool saveAs = saves++ % 2 == 0;
            SCOPED_TRACE(::testing::Message() << p.width << " x " << p.height << (p.crop ? ", 16:9 crop" : "")
                                              << (saveAs ? ", Save As" : ", Save Over Original") << ", "
                                              << (t.width ? "width " : "height ") << t.value << ", case "
                                              << (&t - typings));
            const QString target = saveAs ? folder.path() + QString("/saved-%1.png").arg(saves) : photo;
            QSize full, shown;
            QStringList others;
            DialogAnswerer answerer;
            answerer.answer = [&](QWidget* modal) {
                auto* dialog = static_cast<QDialog*>(modal);
                if (auto* files = qobject_cast<QFileDialog*>(modal)) {
                    auto* name = files->findChild<QLineEdit*>("fileNameEdit");
                    EXPECT_NE(name, nullptr);
                    if (name) name->setText(target);
                } else if (modal->windowTitle() == "Save Size") {
                    const QList<QSpinBox*> boxes = modal->findChildren<QSpinBox*>();
                    const auto showing = [&] { return QSize(boxes[0]->text().toInt(), boxes[1]->text().toInt()); };
                    full = showing();
                    QSpinBox* box = boxes.value(t.width ? 0 : 1);
                    const int value = t.value > 0 ? t.value : box->maximum();
                    if (value > box->maximum() || shown.isValid()) {  // not a size of this picture, or left open
                        EXPECT_FALSE(shown.isValid()) << "the dialog stayed open";
                        dialog->reject();
                        return true;
                    }
                    box->setFocus();
                    box->selectAll();
                    QTest::keyClicks(box, QString::number(value));
                    for (const int step : t.then) {
                        shown = showing();
                        QWidget* focused = dialog->focusWidget();
                        if (step == kToOther)
                            QTest::keyClick(focused, t.width ? Qt::Key_Tab : Qt::Key_Backtab);
                        else if (step == kClickOk)
                            QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                                              Qt::LeftButton);
                        else if (step == kWheelDown) {
                            const QPoint at = box->rect().center();
                            QWheelEvent wheel(at, box->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                                              Qt::NoModifier, Qt::NoScrollPhase, false);
                            QApplication::sendEvent(box, &wheel);
                        } else
                            QTest::keyClick(focused, Qt::Key(step));
                    }
                    return true;
                } else {
                    others << modal->windowTitle();
                }
                dialog->accept();
                return true;
            };
            answerer.arm();
            window->saveMedia(false, saveAs);
            EXPECT_TRUE(others.isEmpty()) << others.join(", ").toStdString();
            if (!shown.isValid()) continue;  // the typed side is beyond this picture
            if (p.crop)
                EXPECT_NEAR(double(std::max(full.width(), full.height())) / std::min(full.width(), full.height()),
                            16.0 / 9.0, 0.01);
            else
                EXPECT_EQ(full, QSize(p.width, p.height));
            ASSERT_TRUE(waitForQueue());
            const QSize written = QImageReader(target).size();
            EXPECT_EQ(written, shown) << "shown " << shown.width() << " x " << shown.height() << ", written "
                                      << written.width() << " x " << written.height();
            // The side that followed is the nearest pixel of the dialog's proportion.
            const double typedSide = t.width ? shown.width() : shown.height();
            const double followed = t.width ? shown.height() : shown.width();
            const double exact = t.width ? typedSide * full.height() / full.width()
                                         : typedSide * full.width() / full.height();
            EXPECT_LE(std::fabs(followed - std::max(1.0, exact)), 0.5) << full.width() << " x " << full.height();
        }
    }
}

// ---- Failed runs name their files and reasons ----

TEST_F(SaveReportsTest, AFailedRunNamesTheFirstThreeFailuresAndCountsTheRest) {
    QDir(folder.path()).mkpath("in");
    QDir(folder.path()).mkpath("out");
    struct Case {
        int failing;
        int lines;
        const char* more;
    } cases[] = {{2, 2, nullptr}, {5, 3, "and 2 more"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        GrowArray<GrowString> inputs;
        QStringList damaged;
        for (int i = 0; i < 5; ++i) {
            const QString path = folder.path() + QString("/in/%1-%2.png").arg(c.failing).arg(i);
            ASSERT_TRUE(writeTwoColourPhoto(path, 40, 30));
            if (i >= 5 - c.failing) {
                // Cut short after its header: a file no decoder takes.
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                file.resize(60);
                damaged << path;
            }
            inputs.append(native(path));
        }
        GrowArray<GrowString> outputs = batchOutputPaths(inputs, native(folder.path() + "/out"),
                                                         GrowString("_batch"), GrowString("png"));
        QString message, details;
        bool smaller = false;
        int dialogs = 0;
        DialogAnswerer answerer;
        answerer.answer = [&](QWidget* modal) {
            if (auto* dialog = qobject_cast<DialogWindow*>(modal)) {
                ++dialogs;
                message = dialog->messageLabel->text();
                details = dialog->detailLabel->isVisibleTo(dialog) ? dialog->detailLabel->text() : QString();
                smaller = dialog->detailLabel->font().pointSizeF() < dialog->messageLabel->font().pointSizeF();
                dialog->accept();
            }
            return true;
        };
        answerer.arm();
        testing::internal::CaptureStderr();
        ASSERT_EQ(window->queueBatch(inputs, outputs, SaveOptions()), 5);
        waitForQueue();
        const bool shown = waitUntil([&] { return dialogs > 0; }, 10000);
        const QStringList errorLines = QString::fromStdString(testing::internal::GetCapturedStderr())
                                           .split('\n', Qt::SkipEmptyParts)
                                           .filter(QRegularExpression("^pellucine: "));
        ASSERT_TRUE(shown);
        EXPECT_EQ(message, QStringLiteral("There was an error processing your media. You may need to try another "
                                          "location, format, size, or quality setting."));
        EXPECT_TRUE(smaller);
        ASSERT_EQ(errorLines.size(), c.failing);
        for (int i = 0; i < c.failing; ++i) {
            EXPECT_TRUE(errorLines[i].startsWith("pellucine: " + damaged[i] + ": ")) << errorLines[i].toStdString();
        }
        const QStringList shownLines = details.split('\n');
        ASSERT_EQ(shownLines.size(), c.lines + (c.more ? 1 : 0)) << details.toStdString();
        for (int i = 0; i < c.lines; ++i)
            EXPECT_EQ(shownLines[i], errorLines[i].mid(QString("pellucine: ").size()));
        if (c.more) {
            EXPECT_EQ(shownLines.last(), QString(c.more));
        }
        EXPECT_EQ(QDir(folder.path() + "/out").entryList(QDir::Files).filter(QString("%1-").arg(c.failing)).size(),
                  5 - c.failing);
        inputs.destroy();
        outputs.destroy();
    }
}

// ---- Sizes beyond memory ----

// An output size the machine cannot render is refused in the save flow,
// before anything is queued, with the size and the memory in the message.
TEST_F(SaveReportsTest, SaveRefusesAnOutputBeyondMemoryBeforeQueueing) {
    // Square, just beyond the working memory and within the pixel budget,
    // which a machine of more than 96 GB would not hold: the budget is held
    // to 8 GB at most here.
    limitWorkingMemoryForTesting(int64_t(8) << 30);
    struct Unlimit {
        ~Unlimit() { limitWorkingMemoryForTesting(0); }
    } unlimit;
    const int64_t side =
        static_cast<int64_t>(std::ceil(std::sqrt(double(workingMemoryBudget()) / double(kWorkingBytesPerPixel)))) + 1;
    ASSERT_LE(side * side, kMaxImagePixels);
    const QString photo = folder.path() + "/p.png";
    ASSERT_TRUE(writeTwoColourPhoto(photo, 30, 30));
    const QString huge = folder.path() + "/huge.plf";
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QString("<filter version=\"4\">\n  <mod name=\"Output Size Exact\" version=\"1\" enabled=\"1\">\n"
                           "    <var name=\"Width\" type=\"float\">%1</var>\n"
                           "    <var name=\"Height\" type=\"float\">%1</var>\n  </mod>\n</filter>\n")
                       .arg(side)
                       .toUtf8());
    }
    ASSERT_TRUE(window->openMediaFile(photo));
    window->loadFilterIntoDocument(native(huge), true);
    const QByteArray before = bytesOf(photo);
    QStringList titles;
    QString refusal;
    DialogAnswerer answerer;
    answerer.answer = [&](QWidget* modal) {
        titles << modal->windowTitle();
        if (auto* dialog = qobject_cast<DialogWindow*>(modal)) refusal = dialog->messageLabel->text();
        static_cast<QDialog*>(modal)->accept();  // the size dialog at the chain's full size
        return true;
    };
    answerer.arm();
    window->saveMedia(false, false);
    EXPECT_EQ(titles, QStringList({"Save Size", "Save Error"}));
    EXPECT_TRUE(refusal.contains(QString("%1 x %1 pixels").arg(side))) << refusal.toStdString();
    EXPECT_FALSE(windowState(*window).saveQueue.isBusy());
    EXPECT_EQ(bytesOf(photo), before);
}

// ---- Where the open and batch dialogs start ----

TEST_F(SaveReportsTest, RecentPathsStandForTheirFolders) {
    QDir(folder.path()).mkpath("photos.2024/sub");
    const QString dotted = folder.path() + "/photos.2024";
    ASSERT_TRUE(writeTwoColourPhoto(dotted + "/a.png", 8, 8));
    QFile plain(dotted + "/README");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    struct Case {
        QString path, folder;
    } cases[] = {
        {dotted + "/a.png", dotted},       // a photo opened: its folder
        {dotted, dotted},                  // a batch's folder, with a dot in its name: as it is
        {dotted + "/sub/", dotted + "/sub"},
        {dotted + "/README", dotted},      // a file without an extension
        {dotted + "/gone.png", dotted},    // a photo since removed
        {QString(), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(QFile::decodeName(folderOfRecentPath(native(c.path)).c_str()), c.folder);
    }

    // The batch wizard offers the folder of the last photo opened.
    ASSERT_TRUE(window->openMediaFile(dotted + "/a.png"));
    QString offered;
    DialogAnswerer answerer;
    answerer.answer = [&](QWidget* modal) {
        offered = modal->findChildren<QLineEdit*>().value(0)->text();
        static_cast<QDialog*>(modal)->reject();
        return true;
    };
    answerer.arm();
    window->batchProcessFolder();
    EXPECT_EQ(offered, dotted);
}

// ---- A deeper photo counted at 16 bits a sample ----

// Save over a TIFF through an exact output size: 1000 x 1000 with the
// working memory held to 52 bytes an output pixel (48 at 8 bits, 56 at 16),
// and a row wider than Qt's 16-bit pictures (with every image allocation
// failing, so that the 8-bit save queued fails for want of memory instead of
// drawing 33 million pixels).
TEST_F(SaveReportsTest, ADeepPhotosSaveIsRefusedForWhatDoesNotFitAtSixteenBits) {
    const struct {
        const char* what;
        int width, height;
        const char* reason;
        bool memory;
    } cases[] = {
        {"memory", 1000, 1000, "1000 x 1000 pixels, needs 0.1 GB of working memory", true},
        {"width", 33554432, 1, "a 16-bit picture holds at most 33,554,431 pixels a row", false},
    };
    QImage flat(30, 20, QImage::Format_RGB888);
    flat.fill(QColor(200, 120, 40));
    for (const auto& c : cases) {
        const QString filter = folder.filePath(QString(c.what) + ".plf");
        QFile file(filter);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QString("<filter version=\"4\">\n  <mod name=\"Output Size Exact\" version=\"1\" enabled=\"1\">\n"
                           "    <var name=\"Width\" type=\"float\">%1</var>\n"
                           "    <var name=\"Height\" type=\"float\">%2</var>\n  </mod>\n</filter>\n")
                       .arg(c.width)
                       .arg(c.height)
                       .toUtf8());
        file.close();
        for (bool deep : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (deep ? ", 16-bit photo" : ", 8-bit photo"));
            const QString photo = folder.filePath(QString(c.what) + (deep ? "-deep.tif" : "-flat.tif"));
            if (deep) ASSERT_TRUE(mediatest::writeSixteenBitGradient(photo.toStdString(), 30, 20, false));
            else ASSERT_TRUE(flat.save(photo));
            ASSERT_TRUE(window->openMediaFile(photo));
            window->loadFilterIntoDocument(native(filter), true);
            waitForWindowIdle(*window);
            const QByteArray before = bytesOf(photo);

            mediatest::WorkingMemoryLimit limit(c.memory ? 1000 * 1000 * 52 : 0);
            std::optional<teststate::FailingImageAllocations> failing;
            if (!c.memory) failing.emplace();
            QStringList titles;
            QStringList messages;
            QObject guard;
            std::function<void()> answer = [&] {
                if (QWidget* modal = QApplication::activeModalWidget()) {
                    titles << modal->windowTitle();
                    if (auto* dialog = qobject_cast<DialogWindow*>(modal)) messages << dialog->messageLabel->text();
                    static_cast<QDialog*>(modal)->accept();  // the size dialog at the chain's full size
                }
                QTimer::singleShot(20, &guard, answer);
            };
            QTimer::singleShot(20, &guard, answer);
            window->saveMedia(false, false);
            ASSERT_FALSE(titles.isEmpty());
            EXPECT_EQ(titles.first(), "Save Size");
            const bool refused = titles.contains("Save Error") && messages.join('\n').contains(c.reason);
            EXPECT_EQ(refused, deep) << messages.join('\n').toStdString();
            // Queued: the memory case's 8-bit save is written over the
            // photo; the width case's fails for want of memory, and says so.
            waitForWindowIdle(*window);
            const bool failed = !deep && !c.memory;
            if (failed) {
                EXPECT_TRUE(waitUntil([&] { return messages.join('\n').contains("error processing your media"); }));
            }
            failing.reset();
            EXPECT_EQ(windowState(*window).saveQueue.hasFailed(), failed);
            EXPECT_EQ(bytesOf(photo) != before, !deep && c.memory);
        }
    }
}
