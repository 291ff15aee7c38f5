// The processing progress display and its cancelling, the render queue
// rows, the scopes' counts and the Pixel Inspector, offscreen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxHistogramWidget.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/widgets/PixelReadoutWindow.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxRenderQueueWidget.h"
#include "desktop_only/widgets/VxRenderQueueWindow.h"
#include "desktop_only/widgets/VxScroller.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "framework/ImageMod.h"
#include "desktop_only/widgets/XmlPreferencesWindow.h"
#include "foundation/Preferences.h"
#include "foundation/Mutex.h"
#include "support/DesktopTestAccess.h"
#include "support/DesktopTestHelpers.h"

using StripAccess = ControlStripTestAccess;

namespace {

// Answers every modal dialog with its first button while it lives, counting
// them and keeping the last title.
struct DialogCounter {
    QString title;
    int seen = 0;
    std::unique_ptr<QObject> guard = std::make_unique<QObject>();
    void arm() {
        QTimer::singleShot(20, guard.get(), [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++seen;
                title = modal->windowTitle();
                static_cast<QDialog*>(modal)->accept();
            }
            arm();
        });
    }
};

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        window = std::make_unique<MainWindow>("");
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        setBusy(false);
        {
            MutexLocker queue(windowState(*window).saveQueue.queueLock.get());
            windowState(*window).saveQueue.jobs.destroy();
        }
        waitForWindowIdle(*window, false);
        window.reset();
    }
    // A queue as the worker leaves it mid-run: count jobs, the one at
    // current being processed. No worker runs; the test plays its part.
    void fakeRun(int count, int current) {
        ProcessingState& q = windowState(*window).saveQueue;
        MutexLocker queue(q.queueLock.get());
        MutexLocker status(q.statusLock.get());
        q.jobs.destroy();
        for (int i = 0; i < count; ++i) {
            RenderJob job;
            job.id = 100 + i;
            job.sourcePath = GrowString("/photos/p").concat(std::to_string(i + 1).c_str()).concat(".jpg");
            q.jobs.append(job);
        }
        q.busy = count > 0;
        q.currentJobIndex = current;
        q.currentFileName = GrowString("p").concat(std::to_string(current + 1).c_str()).concat(".jpg");
        q.cancelFlag = kCancelNone;
    }
    void setBusy(bool busy) {
        MutexLocker status(windowState(*window).saveQueue.statusLock.get());
        windowState(*window).saveQueue.busy = busy;
    }
    VxRenderQueueWidget* rows() { return windowState(*window).renderQueueWindow->queueWidget; }
    QString label() { return windowState(*window).processingInfoLabel->text(); }

    std::unique_ptr<MainWindow> window;
};

}  // namespace

// ---- Processing progress ----

TEST_F(ProgressTest, StatusTextAndRowsFollowTheQueue) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    fakeRun(1, 0);
    w.processingInfoTimerFired();
    EXPECT_EQ(label(), QStringLiteral("p1.jpg"));  // one job: its name only
    EXPECT_TRUE(s.cancelProcessingButton->isVisible());
    EXPECT_TRUE(s.processingInfoLabel->isVisible());

    fakeRun(5, 1);
    w.processingInfoTimerFired();
    EXPECT_EQ(label(), QStringLiteral("File 2 of 5: p2.jpg"));
    ASSERT_EQ(rows()->itemNames.count, 4);  // the job in progress and the three waiting
    EXPECT_EQ(rows()->rowLabels[0]->text(), QStringLiteral("File 2 of 5: p2.jpg"));
    EXPECT_EQ(rows()->rowLabels[1]->text(), QStringLiteral("/photos/p3.jpg"));
    EXPECT_EQ(rows()->itemIds[1], 102);

    // The rows carry ids: a stale id does nothing, a waiting job's id
    // removes that job and no other.
    w.cancelRenderQueueItem(100);  // done already
    w.cancelRenderQueueItem(999);  // unknown
    EXPECT_EQ(s.saveQueue.jobs.count, 5);
    emit rows()->cancelButtons[2]->released();  // the row of job 103
    ASSERT_EQ(s.saveQueue.jobs.count, 4);
    EXPECT_EQ(s.saveQueue.jobs[2].id, 102);
    EXPECT_EQ(s.saveQueue.jobs[3].id, 104);
    w.processingInfoTimerFired();
    EXPECT_EQ(rows()->itemNames.count, 3);
    EXPECT_EQ(label(), QStringLiteral("File 2 of 4: p2.jpg"));
    // The row of the job in progress sets the abandon flag only.
    emit rows()->cancelButtons[0]->released();
    EXPECT_EQ(s.saveQueue.cancelFlag, kCancelCurrentJob);
    EXPECT_EQ(s.saveQueue.jobs.count, 4);
}

TEST_F(ProgressTest, CancelProcessingStopsAfterTheCurrentJobOnlyWhileBusy) {
    MainWindow& w = *window;
    fakeRun(5, 1);
    DialogCounter yes;
    yes.arm();
    w.cancelProcessingButtonPressed();
    EXPECT_EQ(yes.title, QStringLiteral("Cancel Processing"));
    EXPECT_EQ(windowState(w).saveQueue.jobs.count, 2);  // the waiting jobs are dropped
    EXPECT_EQ(windowState(w).saveQueue.cancelFlag, kCancelAfterCurrentJob);

    // The queue ran dry while the question was open: the answer cannot
    // stop a later run.
    fakeRun(0, 0);
    w.cancelProcessingButtonPressed();
    EXPECT_EQ(windowState(w).saveQueue.cancelFlag, kCancelNone);
}

TEST_F(ProgressTest, ProcessingErrorIsShownOnceWithTheDisplayHidden) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    fakeRun(2, 1);
    s.processingInfoTimer->start(20);  // fast ticks: several would fire while the message is open
    ASSERT_TRUE(waitUntil([&] { return s.processingInfoLabel->isVisible(); }));
    {
        MutexLocker status(s.saveQueue.statusLock.get());
        s.saveQueue.busy = false;
        s.saveQueue.errorFlag = 1;
    }
    bool hiddenWhenShown = false;
    int seen = 0;
    std::unique_ptr<QObject> guard = std::make_unique<QObject>();
    std::function<void()> answer = [&] {
        QTimer::singleShot(60, guard.get(), [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++seen;
                hiddenWhenShown = !s.processingInfoLabel->isVisible() && !s.cancelProcessingButton->isVisible() &&
                                  !s.processingInfoTimer->isActive();
                static_cast<QDialog*>(modal)->accept();
            }
            answer();
        });
    };
    answer();
    waitUntil([&] { return seen > 0; });
    waitUntil([] { return false; }, 400);  // ticks that might still come
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(hiddenWhenShown);
    EXPECT_TRUE(s.processingInfoLabel->text().isEmpty());
    EXPECT_EQ(rows()->rowLabels.count, 0);
    {
        MutexLocker status(s.saveQueue.statusLock.get());
        s.saveQueue.errorFlag = 0;
    }
}

// ---- Render queue rows ----

TEST(RenderQueueRows, ManyItemsKeepWidgetsForTheVisibleRowsOnly) {
    ensureTestApplication();
    VxRenderQueueWindow window(nullptr, GrowString("Render Queue"));
    window.resize(300, 200);
    VxRenderQueueWidget* rows = window.queueWidget;
    GrowArray<GrowString> names;
    GrowArray<int32_t> ids;
    for (int i = 0; i < 10000; ++i) {
        names.append(GrowString("file").concat(std::to_string(i).c_str()));
        ids.append(5000 + i);
    }
    rows->setItems(names, ids);
    EXPECT_LE(rows->rowLabels.count, 40);
    EXPECT_EQ(rows->rowLabels[0]->text(), QStringLiteral("file0"));
    QLabel* first = rows->rowLabels[0];
    rows->setItems(names, ids);  // the same list again changes nothing
    EXPECT_EQ(rows->rowLabels[0], first);
    // A tick of a large batch: the first row's text changes, the rest stay.
    QElapsedTimer clock;
    clock.start();
    for (int tick = 0; tick < 10; ++tick) {
        names[0] = GrowString("File 1 of 10000: tick").concat(std::to_string(tick).c_str());
        rows->setItems(names, ids);
    }
    const double perTick = clock.nsecsElapsed() / 1e7;
    std::printf("render queue, 10,000 rows: %.2f ms a tick\n", perTick);
    EXPECT_LT(perTick, 100.0);
    EXPECT_EQ(rows->rowLabels[0], first);

    // Scrolled down, the row widgets show later items and report their ids.
    rows->scroller->setPosition(static_cast<float>(rows->rowPitch() * 1000), true);
    EXPECT_EQ(rows->firstRow, 1000);
    EXPECT_EQ(rows->rowLabels[0]->text(), QStringLiteral("file1000"));
    QSignalSpy cancelled(rows, &VxRenderQueueWidget::cancelItemRequested);
    emit rows->cancelButtons[1]->released();
    ASSERT_EQ(cancelled.count(), 1);
    EXPECT_EQ(cancelled[0][0].toInt(), 6001);

    // The list shrinks under the scroll position: the rows follow.
    names.count = 3;
    ids.count = 3;
    rows->setItems(names, ids);
    EXPECT_EQ(rows->rowLabels.count, 3);
    EXPECT_EQ(rows->firstRow, 0);
    EXPECT_EQ(rows->rowLabels[2]->text(), QStringLiteral("file2"));
    rows->setItems(GrowArray<GrowString>(), GrowArray<int32_t>());
    EXPECT_EQ(rows->rowLabels.count, 0);
}

// ---- Scopes ----

TEST(Scopes, TwoTonePictureHasTwoLuminancePeaks) {
    ImageBuffer picture;
    picture.allocateFloat(40, 10, 3);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 40; ++x) {
            float* p = picture.floats() + (y * 40 + x) * 3;
            const bool left = x < 10;  // a quarter dark grey, the rest orange
            p[0] = left ? 40.0f : 200.0f;
            p[1] = left ? 40.0f : 100.0f;
            p[2] = left ? 40.0f : 50.0f;
        }
    VxHistogramWidget::ScopeData data;
    VxHistogramWidget::computeScopes(picture, data);
    int peaks = 0;
    for (int i = 0; i < VxHistogramWidget::kLevels; ++i) peaks += data.luminance[i] != 0;
    EXPECT_EQ(peaks, 2);
    EXPECT_EQ(data.luminance[40], 100u);
    EXPECT_EQ(data.luminance[124], 300u);  // 0.299*200 + 0.587*100 + 0.114*50 = 124.2
    EXPECT_EQ(data.rgb[0][200], 300u);
    EXPECT_EQ(data.rgb[2][40], 100u);
    // The waveform: a column of the left quarter holds only the dark level.
    ASSERT_EQ(data.columns, 40);
    EXPECT_EQ(data.lumaWave[0 * VxHistogramWidget::kWaveLevels + 20], 10u);
    EXPECT_EQ(data.lumaWave[39 * VxHistogramWidget::kWaveLevels + 62], 10u);
    // The grey lies on the chart's centre.
    const int mid = VxHistogramWidget::kChromaSize / 2;
    EXPECT_EQ(data.chroma[static_cast<size_t>(mid - 1) * VxHistogramWidget::kChromaSize + mid - 1] +
                  data.chroma[static_cast<size_t>(mid) * VxHistogramWidget::kChromaSize + mid] +
                  data.chroma[static_cast<size_t>(mid - 1) * VxHistogramWidget::kChromaSize + mid] +
                  data.chroma[static_cast<size_t>(mid) * VxHistogramWidget::kChromaSize + mid - 1],
              100u);
}

TEST(Scopes, HostileValuesAndShapesCountSafely) {
    struct Case {
        int width, height, channels;
    } cases[] = {{1, 1, 1}, {3, 2, 2}, {300, 2, 0}, {1, 5, 4}};
    for (const Case& c : cases) {
        ImageBuffer picture;
        picture.allocateFloat(c.width, c.height, c.channels == 0 ? 3 : c.channels);
        picture.channels = c.channels;
        const int64_t n = picture.sampleCount();
        for (int64_t i = 0; i < n; ++i) picture.floats()[i] = (i % 3 == 0) ? NAN : (i % 3 == 1 ? 1e30f : -1e30f);
        VxHistogramWidget::ScopeData data;
        VxHistogramWidget::computeScopes(picture, data);
        uint64_t total = 0;
        for (uint32_t v : data.luminance) total += v;
        EXPECT_EQ(total, static_cast<uint64_t>(c.width) * c.height) << c.width << "x" << c.height;
        EXPECT_EQ(data.columns, std::min(c.width, VxHistogramWidget::kWaveColumns));
    }
    ImageBuffer empty;
    VxHistogramWidget::ScopeData data;
    VxHistogramWidget::computeScopes(empty, data);
    EXPECT_EQ(data.columns, 0);
}

// ---- Pixel Inspector ----

TEST(PixelInspector, ValueTextsRoundOnce) {
    struct Case {
        float v;
        const char* whole;
        const char* fraction;
    } cases[] = {
        {127.25f, "127", ".250"}, {127.9996f, "128", ".000"}, {-3.25f, "-3", ".250"},  {-0.0001f, "0", ".000"},
        {0.5f, "0", ".500"},      {255.0f, "255", ".000"},    {NAN, "NaN", ""},       {INFINITY, "inf", ""},
        {-INFINITY, "-inf", ""},  {1e30f, "1000000015047466219876688855040", ".000"},
    };
    for (const Case& c : cases) {
        QString whole;
        QString fraction;
        pixelValueTexts(c.v, whole, fraction);
        EXPECT_EQ(whole, QString::fromLatin1(c.whole)) << c.v;
        EXPECT_EQ(fraction, QString::fromLatin1(c.fraction)) << c.v;
    }
    const float components[][2] = {{-5.0f, 0}, {NAN, 0}, {127.9f, 127}, {255.5f, 255}, {1e30f, 255}};
    for (const auto& c : components) EXPECT_EQ(swatchComponent(c[0]), static_cast<int>(c[1])) << c[0];
}

TEST(PixelInspector, SwatchTextsAndRecentLines) {
    ensureTestApplication();
    PixelSwatchWidget swatch(nullptr);
    EXPECT_EQ(swatch.redLabel->text(), QStringLiteral("Red:"));
    EXPECT_EQ(swatch.positionLabel->text(), QStringLiteral("Position:"));
    EXPECT_EQ(swatch.redLabel->pos(), QPoint(66, 10));
    EXPECT_EQ(swatch.recentLabels[2]->pos(), QPoint(84, 136));
    PixelReading a{1, 2, {1.0f, 2.0f, 3.0f}};
    PixelReading b{3, 4, {1e30f, NAN, -1.0f}};
    GrowArray<PixelReading> recent;
    recent.append(a);
    recent.append(b);
    swatch.setReadings(recent);
    PixelReading under{0, 0, {127.25f, -3.25f, NAN}};
    swatch.showReading(under);
    EXPECT_EQ(swatch.redLabel->text(), QStringLiteral("Red: 127"));
    EXPECT_EQ(swatch.redFractionLabel->text(), QStringLiteral(".250"));
    EXPECT_EQ(swatch.greenLabel->text(), QStringLiteral("Green: -3"));
    EXPECT_EQ(swatch.blueLabel->text(), QStringLiteral("Blue: NaN"));
    EXPECT_EQ(swatch.redFractionLabel->x(), swatch.redLabel->x() + swatch.redLabel->width() + 1);
    EXPECT_EQ(swatch.positionLabel->text(), QStringLiteral("Position: 1, 1\n"));
    EXPECT_EQ(swatch.recentLabels[0]->text(), QStringLiteral("1.0, 2.0, 3.0"));
    EXPECT_FALSE(swatch.recentLabels[0]->isHidden());
    EXPECT_FALSE(swatch.recentLabels[1]->isHidden());
    EXPECT_TRUE(swatch.recentLabels[2]->isHidden());
    swatch.resize(300, 200);
    QImage shot(300, 200, QImage::Format_RGB32);
    swatch.render(&shot);  // out-of-range values paint without complaint
    EXPECT_EQ(QColor(shot.pixel(33, 33)).red(), 127);
    under.x = 2147483647;  // the last column of an absurd picture
    swatch.showReading(under);
    EXPECT_EQ(swatch.positionLabel->text(), QStringLiteral("Position: 2147483648, 1\n"));
}

class InspectorTest : public ProgressTest {
protected:
    // Publishes a picture of the given shape in the current view at (10, 20)
    // of the view, width x height on screen, output size outW x outH.
    void publish(int width, int height, int channels, int outW, int outH, float fill) {
        VxMediaWidget* view = window->current()->view;
        waitForDisplayIdle(view);
        ImageBuffer picture;
        picture.allocateFloat(width, height, channels == 0 ? 3 : channels);
        picture.channels = channels;
        const int64_t n = picture.sampleCount();
        for (int64_t i = 0; i < n; ++i) picture.floats()[i] = fill + static_cast<float>(i);
        VxMediaWidgetTestAccess::publish(*view, picture, QRect(10, 20, width, height), QPoint(0, 0), outW, outH);
    }
    // The window point over view point (x, y).
    QPoint over(int x, int y) {
        VxMediaWidget* view = window->current()->view;
        return windowState(*window).mediaArea->mapTo(window.get(), view->geometry().topLeft() + QPoint(x + 2, y + 2));
    }
    void TearDown() override {
        VxMediaWidget* view = window->current()->view;
        VxMediaWidgetTestAccess::unpublish(*view);
        view->setHasMedia(false);
        screenDevicePixelRatio = 1.0f;
        ProgressTest::TearDown();
    }
};

TEST_F(InspectorTest, HitTestMapsThePointerToPictureAndBuffer) {
    MainWindow& w = *window;
    publish(20, 10, 3, 40, 20, 0.0f);
    MainWindow::PixelHit hit;
    int32_t tab = -5;
    int32_t vx = 0;
    int32_t vy = 0;
    QPoint p = over(10, 20);  // the top-left pixel
    w.hitTestViews(p.x(), p.y(), &hit, &tab, &vx, &vy);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.x, 0);
    EXPECT_EQ(hit.y, 0);
    EXPECT_EQ(tab, w.current()->tabID);
    EXPECT_EQ(QPoint(vx, vy), QPoint(10, 20));
    EXPECT_EQ(hit.values[1], 1.0f);
    p = over(15, 22);
    w.hitTestViews(p.x(), p.y(), &hit, nullptr, nullptr, nullptr);
    EXPECT_EQ(hit.values[0], static_cast<float>((2 * 20 + 5) * 3));
    // The right edge: the last column.
    p = over(29, 20);
    w.hitTestViews(p.x(), p.y(), &hit, nullptr, nullptr, nullptr);
    EXPECT_EQ(hit.x, 39);
    // Outside the image: no hit, the tab and view point still reported.
    p = over(5, 5);
    tab = -5;
    w.hitTestViews(p.x(), p.y(), &hit, &tab, &vx, &vy);
    EXPECT_FALSE(hit.hit);
    EXPECT_EQ(tab, w.current()->tabID);
    EXPECT_EQ(QPoint(vx, vy), QPoint(5, 5));

    // Device-pixel ratio 2: the buffer offset doubles.
    screenDevicePixelRatio = 2.0f;
    p = over(15, 22);
    w.hitTestViews(p.x(), p.y(), &hit, nullptr, nullptr, nullptr);
    ASSERT_TRUE(hit.hit);
    EXPECT_EQ(hit.values[0], static_cast<float>((4 * 20 + 10) * 3));
}

TEST_F(InspectorTest, HostileBuffersAndTheReadout) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    struct Case {
        int width, height, channels, outW, outH;
        float fill;
    } cases[] = {
        {4, 4, 0, 4, 4, 0.0f}, {4, 4, 1, 4, 4, 0.0f}, {4, 4, 2, 4, 4, 0.0f}, {1, 4, 3, 1, 4, NAN},
        {4, 1, 4, 0, 1, 1e30f}, {4, 4, 3, -7, 2147483647, -1e30f},
    };
    for (const Case& c : cases) {
        publish(c.width, c.height, c.channels, c.outW, c.outH, c.fill);
        MainWindow::PixelHit hit;
        const QPoint p = over(10 + c.width - 1, 20);
        w.hitTestViews(p.x(), p.y(), &hit, nullptr, nullptr, nullptr);
        ASSERT_TRUE(hit.hit) << c.width << " " << c.channels;
        EXPECT_GE(hit.x, 0);
        EXPECT_GE(hit.y, 0);
        const int channels = c.channels == 0 ? 3 : c.channels;
        if (c.channels < 3 && c.channels > 0) {
            EXPECT_EQ(hit.values[0], hit.values[2]);
        }
        if (std::isfinite(c.fill) && c.fill == 0.0f) {
            EXPECT_EQ(hit.values[0], static_cast<float>((c.width - 1) * channels));
        }
    }

    // The readout under the pointer, while the inspector is shown.
    publish(20, 10, 3, 20, 10, 127.25f);
    w.updateInspectorHover(over(10, 20));
    EXPECT_FALSE(s.pixelSwatch->hasPixel());  // hidden inspector: nothing read
    s.pixelInspectorWindow->show();
    w.updateInspectorHover(over(10, 20));
    ASSERT_TRUE(s.pixelSwatch->hasPixel());
    EXPECT_EQ(s.pixelSwatch->redLabel->text(), QStringLiteral("Red: 127"));
    EXPECT_EQ(s.pixelSwatch->redFractionLabel->text(), QStringLiteral(".250"));
    EXPECT_EQ(s.pixelSwatch->positionLabel->text(), QStringLiteral("Position: 1, 1\n"));
    w.updateInspectorHover(over(0, 0));
    EXPECT_FALSE(s.pixelSwatch->hasPixel());
    EXPECT_EQ(s.pixelSwatch->redLabel->text(), QStringLiteral("Red:"));

    // The pointer moving over the window drives the readout.
    QTest::mouseMove(window.get(), over(11, 20));
    waitUntil([&] { return s.pixelSwatch->hasPixel(); }, 2000);
    EXPECT_TRUE(s.pixelSwatch->hasPixel());
    EXPECT_EQ(s.pixelSwatch->positionLabel->text(), QStringLiteral("Position: 2, 1\n"));

    // A clicked sample follows the display updates into the recent lines.
    w.addPixelSample({1, 0, w.current()->tabID});
    w.displayFinishedUpdating();
    ASSERT_EQ(s.pixelSwatch->readings().count, 1);
    EXPECT_FALSE(s.pixelSwatch->recentLabels[0]->isHidden());
    EXPECT_EQ(s.pixelSwatch->recentLabels[0]->text(), QStringLiteral("130.2, 131.2, 132.2"));
    s.pixelInspectorWindow->hide();
}

// ---- Preferences window and about dialog ----

TEST_F(ProgressTest, PreferencesAreWrittenAtOnceAndShownAgain) {
    MainWindow& w = *window;
    Preferences& store = globalPreferences();
    store.setValue(GrowString("ColorProfileImport"), GrowString("1"), GrowString("int"), false);
    store.setValue(GrowString("ColorProfileExport"), GrowString("7"), GrowString("int"), false);  // names no choice
    w.openPreferencesWindow();
    XmlPreferencesWindow* first = windowState(w).preferencesWindow;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Pellucine Preferences"));
    EXPECT_EQ(first->size(), QSize(500, 250));
    ASSERT_EQ(first->rowCombos.count, 2);
    EXPECT_EQ(first->rowLabels[0]->text(), QStringLiteral("Color Profiles - Load:"));
    EXPECT_EQ(first->rowCombos[0]->currentText(), QStringLiteral("Ignore Embedded Profiles"));
    EXPECT_EQ(first->rowCombos[1]->currentIndex(), 0);
    EXPECT_EQ(first->rowLabels[0]->geometry().right(), 199);
    EXPECT_EQ(first->rowCombos[0]->x(), 210);

    // A choice is in the file at once.
    first->rowCombos[1]->setCurrentIndex(1);
    {
        Preferences reread(store.path);
        EXPECT_EQ(reread.getInt(GrowString("ColorProfileExport"), -1), 1);
        EXPECT_EQ(reread.getInt(GrowString("ColorProfileImport"), -1), 1);
    }
    first->closeButtonPressed();
    EXPECT_FALSE(first->isVisible());

    // A second opening builds a fresh window showing the stored choice.
    QPointer<XmlPreferencesWindow> old(first);
    w.openPreferencesWindow();
    EXPECT_TRUE(old.isNull());
    EXPECT_EQ(windowState(w).preferencesWindow->rowCombos[1]->currentText(), QStringLiteral("Don't Embed Profiles"));
    store.setValue(GrowString("ColorProfileImport"), GrowString("0"), GrowString("int"), false);
    store.setValue(GrowString("ColorProfileExport"), GrowString("0"), GrowString("int"), true);
}

TEST_F(ProgressTest, AboutDialogShowsNameAndVersion) {
    std::unique_ptr<QDialog> about(window->makeAboutDialog());
    QStringList texts;
    for (QLabel* label : about->findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Pellucine")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Version 1.0")));
    EXPECT_TRUE(about->isModal());
    DialogCounter closer;
    closer.arm();
    window->showAboutDialog();  // runs until closed, then is deleted
    EXPECT_EQ(closer.title, QStringLiteral("About Pellucine"));
}

// ---- Real runs of the queue ----

namespace {

QStringList outputsIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

GrowArray<GrowString> batchOutputs(const GrowArray<GrowString>& inputs, const QString& folder) {
    QDir().mkpath(folder);
    return batchOutputPaths(inputs, GrowString(QFile::encodeName(folder).constData()), GrowString("_batch"),
                            GrowString("png"));
}

}  // namespace

TEST_F(ProgressTest, BatchRowsCancelStopAndTheNextRun) {
    MainWindow& w = *window;
    auto& s = windowState(w);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QDir(folder.path()).mkpath("in");
    GrowArray<GrowString> inputs;
    for (int i = 1; i <= 6; ++i) {
        const QString path = folder.path() + QStringLiteral("/in/p%1.png").arg(i);
        ASSERT_TRUE(writeTwoColourPhoto(path, 2000, 1400));
        inputs.append(GrowString(QFile::encodeName(path).constData()));
    }

    // First run: the label names the file in progress; the last row's
    // cancel button removes that job only.
    GrowArray<GrowString> outputs = batchOutputs(inputs, folder.path() + "/out1");
    ASSERT_EQ(w.queueBatch(inputs, outputs, SaveOptions()), 6);
    w.processingInfoTimerFired();
    ASSERT_EQ(rows()->itemIds.count, 6);
    emit rows()->cancelButtons[5]->released();
    QStringList labels;
    // Ticked here as well as by the timer: the five files may all be done
    // before its first tick.
    waitUntil([&] {
        if (s.saveQueue.isBusy()) w.processingInfoTimerFired();
        if (!s.processingInfoLabel->text().isEmpty()) labels << s.processingInfoLabel->text();
        return !s.saveQueue.isBusy();
    }, 60000);
    ASSERT_FALSE(labels.isEmpty());
    bool named = false;
    for (const QString& text : labels)
        named = named || QRegularExpression("^File [1-5] of 5: p[1-5]\\.png$").match(text).hasMatch();
    EXPECT_TRUE(named) << labels.join(" | ").toStdString();
    QStringList written = outputsIn(folder.path() + "/out1");
    EXPECT_EQ(written.size(), 5) << written.join(" ").toStdString();
    EXPECT_FALSE(written.contains("p6_batch.png"));

    // Second run: "Cancel Processing" once the first file is out; what is
    // left is only whole files.
    outputs = batchOutputs(inputs, folder.path() + "/out2");
    ASSERT_EQ(w.queueBatch(inputs, outputs, SaveOptions()), 6);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(folder.path() + "/out2/p1_batch.png"); }, 60000));
    DialogCounter yes;
    yes.arm();
    w.cancelProcessingButtonPressed();
    ASSERT_TRUE(waitUntil([&] { return !s.saveQueue.isBusy(); }, 60000));
    written = outputsIn(folder.path() + "/out2");
    EXPECT_LT(written.size(), 6);
    for (const QString& name : written) {
        EXPECT_TRUE(name.endsWith("_batch.png")) << name.toStdString();  // no temporary file left
        EXPECT_EQ(QImage(folder.path() + "/out2/" + name).size(), QSize(2000, 1400)) << name.toStdString();
    }

    // The next run goes to its end.
    outputs = batchOutputs(inputs, folder.path() + "/out3");
    ASSERT_EQ(w.queueBatch(inputs, outputs, SaveOptions()), 6);
    ASSERT_TRUE(waitUntil([&] { return !s.saveQueue.isBusy(); }, 60000));
    EXPECT_EQ(outputsIn(folder.path() + "/out3").size(), 6);
    waitUntil([&] { return !s.processingInfoTimer->isActive(); }, 3000);
    EXPECT_EQ(yes.seen, 1);  // no error message after a stopped or whole run
}

TEST_F(ProgressTest, FailedSaveOverOriginalReportsOnceAndKeepsTheOriginal) {
    MainWindow& w = *window;
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString png = folder.path() + "/a.png";
    const QString photo = folder.path() + "/a.jpg";
    ASSERT_TRUE(writeTwoColourPhoto(png, 600, 400));
    ASSERT_TRUE(QImage(png).save(photo, "JPEG", 95));
    QFile::remove(png);
    QFile original(photo);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();
    ASSERT_TRUE(w.openMediaFile(photo));
    waitForDisplayIdle(w.current()->view);

    // Files of this process may grow to 64 bytes only; the signal is ignored, so
    // the write fails instead of ending the process.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    DialogCounter counter;
    counter.arm();
    const bool queued = w.queueSave(GrowString(QFile::encodeName(photo).constData()), SaveOptions(), 0, 0, true);
    waitUntil([&] { return !windowState(w).saveQueue.isBusy(); }, 60000);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(queued);
    waitUntil([&] { return counter.seen > 0; }, 5000);
    waitUntil([] { return false; }, 1200);  // more ticks would open more messages
    EXPECT_EQ(counter.seen, 1);
    EXPECT_EQ(counter.title, QStringLiteral("Processing Error"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_TRUE(original.readAll() == before);
    original.close();
    EXPECT_EQ(outputsIn(folder.path()), QStringList{"a.jpg"});
}

// ---- The control strip's auto-hide on hover ----

TEST_F(ProgressTest, HoverSlidesTheControlStripAwayAndBack) {
    MainWindow& w = *window;
    ControlStrip& strip = *windowState(w).controlStrip;
    w.resize(1200, 800);
    QApplication::processEvents();
    ImageMod* withControls = nullptr;
    for (ImageMod* tile : windowState(w).tilePrototypes)
        if (tile->vars.count > 0 && !withControls) withControls = tile;
    ASSERT_NE(withControls, nullptr);
    w.addModToTray(withControls, true, true, false);
    ASSERT_GT(StripAccess::controlTable(strip).count, 0);
    windowState(w).autohideControls = true;  // earlier tests of this process may have stored it off
    ASSERT_EQ(QApplication::mouseButtons(), Qt::NoButton);
    const int x = windowState(w).toolPanel->x() - 5;
    ASSERT_GT(x, 0);
    const int hide = StripAccess::controlHideLine(strip);
    const int step = (w.height() - hide) / 15;

    // Downward above the line, or with a button held: nothing.
    QHoverEvent down(QEvent::HoverMove, QPointF(x, hide - 5), QPointF(x, hide - 10));
    QApplication::sendEvent(&w, &down);
    EXPECT_FALSE(StripAccess::animationTimer(strip)->isActive());

    QHoverEvent up(QEvent::HoverMove, QPointF(x, hide - 10), QPointF(x, hide - 5));
    QApplication::sendEvent(&w, &up);
    EXPECT_TRUE(StripAccess::animationTimer(strip)->isActive());
    EXPECT_EQ(StripAccess::controlSlideStep(strip), step);
    ASSERT_TRUE(waitUntil([&] { return !StripAccess::animationTimer(strip)->isActive(); }, 5000));
    EXPECT_GT(StripAccess::controlSlideOffset(strip), 0.0f);

    const int show = StripAccess::controlShowLine(strip);
    QHoverEvent back(QEvent::HoverMove, QPointF(x, show + 10), QPointF(x, show + 5));
    QApplication::sendEvent(&w, &back);
    EXPECT_EQ(StripAccess::controlSlideStep(strip), -step);
    ASSERT_TRUE(waitUntil([&] { return !StripAccess::animationTimer(strip)->isActive(); }, 5000));
    EXPECT_EQ(StripAccess::controlSlideOffset(strip), 0.0f);
}
