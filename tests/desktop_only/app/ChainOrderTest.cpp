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
            VxCropTool* tool = qobject_cast<VxCropTool*>(window->activeTool);
            ASSERT_NE(tool, nullptr);
            const float margins[4] = {0.1f, 0.05f, 0.1f, 0.0f};
            tool->setMargins(margins);
            window->toolRequestedExit(tool);
            return;
        }
        for (VxPanelItem* item : window->toolPanel->tabs[0].items) {
            if (item->itemKind() != VxPanelItem::kListButtonItem) continue;
            auto* button = static_cast<VxPanelItemListButton*>(item);
            if (button->mod->name == (group == kCentral ? "Split Tone" : "Custom Rounded"))
                return QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(10, button->height() / 2));
        }
        FAIL() << "no button";
    }
    QImage viewPicture() {
        EXPECT_TRUE(waitForDisplayIdle(view()));
        return imageFromBuffer(VxMediaWidgetTestAccess::shownBuffer(*view()), true, false, true)
            .convertToFormat(QImage::Format_RGB888);
    }
    QImage saved(const QString& path) {
        if (!window->queueSave(native(path), SaveOptions(), 0, 0, false)) return QImage();
        waitUntil([&] { return !window->saveQueue.isBusy(); }, 60000);
        return QImage(path).convertToFormat(QImage::Format_RGB888);
    }
    QByteArray bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

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
    GTEST_SKIP() << "the render tool is not built";
#else
    ASSERT_TRUE(window->openMediaFile(photo));
    Group order[3] = {kCrop, kCentral, kTrailing};
    do {
        const QString name = QString("%1%2%3").arg(order[0]).arg(order[1]).arg(order[2]);
        SCOPED_TRACE(name.toStdString());
        window->loadFilterSlot(QString(), true);
        tray()->clearPreMods();
        for (Group group : order) add(group);
        ASSERT_EQ(tray()->masterList->subMods.count, 2);
        EXPECT_STREQ(tray()->masterList->subMods[0]->name.c_str(), "Split Tone");
        EXPECT_STREQ(tray()->masterList->subMods[1]->name.c_str(), "Custom Rounded");

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
        ASSERT_TRUE(waitUntil([&] { return !window->saveQueue.isBusy(); }, 60000));
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
        ASSERT_EQ(tray()->masterList->subMods.count, replace ? 2 : 3);
        EXPECT_STREQ(tray()->masterList->subMods[tray()->masterList->subMods.count - 1]->name.c_str(),
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
