// One chain for every consumer: tiles added through the window in any
// order of their chain groups (crop, central, trailing) give the same
// picture in the view, the saved file, the batch and the render tool's
// output of the exported filter, and one look-up table from the window,
// the tool and the view's own chain.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

#include <algorithm>

#include "app/PanelTestSupport.h"
#include "desktop_only/display/VxCropTool.h"
#include "desktop_only/media/LutExport.h"
#include "framework/CompoundFilter.h"
#include "framework/ImageLoaderSaver.h"
#include "framework/ModListHelpers.h"
#include "media/PixelTransfer.h"

namespace {

enum Group { kCrop = 0, kCentral = 1, kTrailing = 2 };

class ChainOrderTest : public PanelWindowTest {
protected:
    GrowString native(const QString& path) { return GrowString(QFile::encodeName(path).constData()); }
    void add(Group group) {
        if (group == kCrop) {
            window->runComID(0);
            VxCropTool* tool = qobject_cast<VxCropTool*>(windowState(*window).activeTool);
            ASSERT_NE(tool, nullptr);
            const float margins[4] = {0.1f, 0.05f, 0.1f, 0.0f};
            tool->setMargins(margins);
            window->toolRequestedExit(tool);
            return;
        }
        for (VxPanelItem* item : windowState(*window).toolPanel->tabs()[0].items) {
            if (item->itemKind() != VxPanelItem::kListButtonItem) continue;
            auto* button = static_cast<VxPanelItemListButton*>(item);
            if (button->mod()->name == (group == kCentral ? "Split Tone" : "Custom Rounded"))
                return QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(10, button->height() / 2));
        }
        FAIL() << "no button";
    }
    QImage viewPicture() {
        EXPECT_TRUE(waitForDisplayIdle(view()));
        return imageFromBuffer(VxMediaWidgetTestAccess::shownBuffer(*view()), true, false, true)
            .convertToFormat(QImage::Format_RGB888);
    }
    // The picture saved at the chain's own size, or within width x height
    // as the Save dialog's size asks.
    QImage saved(const QString& path, int32_t width = 0, int32_t height = 0) {
        if (!window->queueSave(native(path), SaveOptions(), width, height, false)) return QImage();
        waitUntil([&] { return !windowState(*window).saveQueue.isBusy(); }, 60000);
        return QImage(path).convertToFormat(QImage::Format_RGB888);
    }
    QByteArray bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

// A grey photo with a white 4 x 4 dead spot at columns 200..203 and rows
// 100..103.
bool writeSpottedPhoto(const QString& path, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(qRgb(110, 100, 90));
    for (int y = 100; y < 104; ++y)
        for (int x = 200; x < 204; ++x) image.setPixel(x, y, qRgb(255, 255, 255));
    return image.save(path, "PNG");
}

// Tiles that measure in the photo's pixels: sharpening, grain, and a dead
// pixel repaired at the spot's corner (its place and radius in the photo's
// pixels); an output size of the given width.
bool writeScaleFilter(const QString& path, const char* outputWidth) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray text = QByteArray("<filter version=\"4\">\n"
                                       "  <mod name=\"Output Size\" version=\"2\" enabled=\"1\">\n"
                                       "    <var name=\"Width\" type=\"float\">") +
                            outputWidth +
                            "</var>\n"
                            "    <var name=\"Height\" type=\"float\">0</var>\n"
                            "  </mod>\n"
                            "  <mod name=\"Sharpen\" version=\"2\" enabled=\"1\">\n"
                            "    <var name=\"Amount\" type=\"float\">80</var>\n"
                            "  </mod>\n"
                            "  <mod name=\"Grain\" version=\"3\" enabled=\"1\">\n"
                            "    <var name=\"Amount\" type=\"float\">50</var>\n"
                            "    <var name=\"Scale\" type=\"float\">60</var>\n"
                            "  </mod>\n"
                            "  <mod name=\"Dead Pixel\" version=\"1\" enabled=\"1\">\n"
                            "    <var name=\"Pixel X\" type=\"float\">204</var>\n"
                            "    <var name=\"Pixel Y\" type=\"float\">104</var>\n"
                            "    <var name=\"Radius\" type=\"float\">10</var>\n"
                            "  </mod>\n"
                            "</filter>\n";
    return file.write(text) == text.size();
}

// The brightest sample of the picture's pixels around the dead spot, drawn
// at `reduction` photo pixels per picture pixel: white where it was not
// repaired.
int brightestAtSpot(const QImage& picture, int reduction) {
    int brightest = 0;
    for (int y = 100 / reduction - 1; y <= 104 / reduction; ++y)
        for (int x = 200 / reduction - 1; x <= 204 / reduction; ++x)
            if (picture.valid(x, y)) {
                const QRgb p = picture.pixel(x, y);
                brightest = std::max({brightest, qRed(p), qGreen(p), qBlue(p)});
            }
    return brightest;
}

#ifdef PELLUCINE_RENDER_TOOL
bool runRenderTool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(PELLUCINE_RENDER_TOOL), arguments);
    return tool.waitForFinished(120000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}
#endif

}  // namespace

TEST_F(ChainOrderTest, EveryGroupOrderGivesOnePictureEverywhere) {
#ifndef PELLUCINE_RENDER_TOOL
    FAIL() << "the render tool is not built";
#else
    ASSERT_TRUE(window->openMediaFile(photo));
    Group order[3] = {kCrop, kCentral, kTrailing};
    do {
        const QString name = QString("%1%2%3").arg(order[0]).arg(order[1]).arg(order[2]);
        SCOPED_TRACE(name.toStdString());
        window->loadFilterSlot(QString(), true);
        tray()->clearPreMods();
        for (Group group : order) add(group);
        ASSERT_EQ(tray()->masterList()->subMods.count, 2);
        EXPECT_STREQ(tray()->masterList()->subMods[0]->name.c_str(), "Split Tone");
        EXPECT_STREQ(tray()->masterList()->subMods[1]->name.c_str(), "Custom Rounded");

        const QImage file = saved(folder.path() + "/saved" + name + ".png");
        ASSERT_FALSE(file.isNull());
        // The basic border stays white: the toning runs before it.
        EXPECT_EQ(file.pixel(0, 0), qRgb(255, 255, 255));
        EXPECT_EQ(file.pixel(file.width() - 1, file.height() - 1), qRgb(255, 255, 255));
        EXPECT_TRUE(viewPicture() == file);  // the photo fits the view at full size

        GrowArray<GrowString> inputs, outputs;
        inputs.append(native(photo));
        outputs.append(native(folder.path() + "/batch" + name + ".png"));
        ASSERT_EQ(window->queueBatch(inputs, outputs, SaveOptions()), 1);
        ASSERT_TRUE(waitUntil([&] { return !windowState(*window).saveQueue.isBusy(); }, 60000));
        EXPECT_TRUE(QImage(folder.path() + "/batch" + name + ".png").convertToFormat(QImage::Format_RGB888) == file);

        const QString filter = folder.path() + "/look" + name + ".plf";
        ASSERT_TRUE(window->exportFilterTo(native(filter), false));
        const QString rendered = folder.path() + "/tool" + name + ".png";
        ASSERT_TRUE(runRenderTool({filter, photo, rendered}));
        EXPECT_TRUE(QImage(rendered).convertToFormat(QImage::Format_RGB888) == file);

        // The table of the window, of the tool and of the view's chain.
        const QString lut = folder.path() + "/look" + name + ".cube";
        const QString toolLut = folder.path() + "/tool/look" + name + ".cube";
        const QString viewLut = folder.path() + "/view/look" + name + ".cube";
        ASSERT_TRUE(QDir(folder.path()).mkpath("tool") && QDir(folder.path()).mkpath("view"));
        ASSERT_TRUE(window->exportFilterTo(native(lut), true));
        ASSERT_TRUE(runRenderTool({"--lut", toolLut, filter, photo}));
        OwnedTiles viewChain;
        viewChain.list = view()->copyChain();
        ASSERT_TRUE(exportCubeLut(viewChain.list, native(viewLut), GrowString(("look" + name).toUtf8())));
        EXPECT_EQ(bytes(lut), bytes(toolLut));
        EXPECT_EQ(bytes(lut), bytes(viewLut));
    } while (std::next_permutation(order, order + 3));
#endif
}

// A hand-written filter holding the border in front of the toning loads in
// chain-group order: the border stays white in the view, the saved file and
// the render tool's picture.
TEST_F(ChainOrderTest, AFileInAnotherOrderLoadsInGroupOrder) {
    ASSERT_TRUE(window->openMediaFile(photo));
    const QString filter = folder.path() + "/old.plf";
    QFile file(filter);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<filter version=\"4\">\n"
               "  <mod name=\"Custom Rounded\" version=\"1\" enabled=\"1\"></mod>\n"
               "  <mod name=\"Split Tone\" version=\"1\" enabled=\"1\"></mod>\n"
               "</filter>\n");
    file.close();
    for (bool replace : {true, false}) {
        SCOPED_TRACE(replace ? "replacing" : "appending");
        if (!replace) {
            window->loadFilterSlot(QString(), true);
            add(kCentral);  // the appended tiles join their groups
        }
        window->loadFilterIntoDocument(native(filter), replace);
        ASSERT_EQ(tray()->masterList()->subMods.count, replace ? 2 : 3);
        EXPECT_STREQ(tray()->masterList()->subMods[tray()->masterList()->subMods.count - 1]->name.c_str(),
                     "Custom Rounded");
        const QImage picture = saved(folder.path() + "/old" + (replace ? "r" : "a") + ".png");
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 255, 255));
        EXPECT_TRUE(viewPicture() == picture);
#ifdef PELLUCINE_RENDER_TOOL
        if (replace) {  // the render tool reads the file in the same order
            const QString rendered = folder.path() + "/old-tool.png";
            ASSERT_TRUE(runRenderTool({filter, photo, rendered}));
            EXPECT_TRUE(QImage(rendered).convertToFormat(QImage::Format_RGB888) == picture);
        }
#endif
    }
}

// An output size of half the photo (of an even and of an odd width, whose
// half has a fraction): the view at full size, the saved file and the
// render tool's picture are one picture, its sharpening and grain measured
// in the photo's pixels, and the dead pixel repaired where it lies.
TEST_F(ChainOrderTest, TilesInPhotoPixelsAtAnOutputSizeOfHalf) {
    struct Case {
        const char* what;
        int photoWidth;
        const char* outputWidth;
    } cases[] = {{"even width", 600, "300"}, {"odd width", 601, "300.5"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString photoPath = folder.path() + "/spotted" + QString::number(c.photoWidth) + ".png";
        const QString filter = folder.path() + "/half" + QString::number(c.photoWidth) + ".plf";
        ASSERT_TRUE(writeSpottedPhoto(photoPath, c.photoWidth, 400));
        ASSERT_TRUE(writeScaleFilter(filter, c.outputWidth));
        ASSERT_TRUE(window->openMediaFile(photoPath));
        window->loadFilterIntoDocument(native(filter), true);

        const QImage shown = viewPicture();
        EXPECT_EQ(view()->fitScale(), 1.0f);  // the picture fits the view at full size
        ASSERT_EQ(shown.size(), QSize(300, 200));
        EXPECT_LT(brightestAtSpot(shown, 2), 200);
        const QImage file = saved(folder.path() + "/saved" + QString::number(c.photoWidth) + ".png");
        EXPECT_TRUE(file == shown);
#ifdef PELLUCINE_RENDER_TOOL
        const QString rendered = folder.path() + "/tool" + QString::number(c.photoWidth) + ".png";
        ASSERT_TRUE(runRenderTool({filter, photoPath, rendered}));
        EXPECT_TRUE(QImage(rendered).convertToFormat(QImage::Format_RGB888) == file);
#endif
    }
}

// Saved at half the chain's size (the output size already halves the
// photo), the picture equals the view fitted at half zoom: both at four
// photo pixels per picture pixel.
TEST_F(ChainOrderTest, ASaveAtHalfSizeEqualsTheViewAtHalfZoom) {
    // The output (half the photo) twice the view's width and its height
    // within twice the view's, so that the view fits it at exactly half.
    const int halfWidth = view()->width();
    const int halfHeight = view()->height() / 2;
    ASSERT_GT(halfWidth, 60);
    ASSERT_GT(halfHeight, 30);
    const QString photoPath = folder.path() + "/spotted.png";
    const QString filter = folder.path() + "/half.plf";
    ASSERT_TRUE(writeSpottedPhoto(photoPath, 4 * halfWidth, 4 * halfHeight));
    ASSERT_TRUE(writeScaleFilter(filter, QByteArray::number(2 * halfWidth).constData()));
    ASSERT_TRUE(window->openMediaFile(photoPath));
    window->loadFilterIntoDocument(native(filter), true);

    const QImage shown = viewPicture();
    EXPECT_EQ(view()->fitScale(), 0.5f);
    ASSERT_EQ(shown.size(), QSize(halfWidth, halfHeight));
    EXPECT_LT(brightestAtSpot(shown, 4), 200);
    EXPECT_TRUE(saved(folder.path() + "/half.png", halfWidth, halfHeight) == shown);
}
