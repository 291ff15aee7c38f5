// The tooltip box: texts, and the preview of tiles over the preview source.
#include <gtest/gtest.h>

#include <QLabel>

#include "WidgetTestApp.h"
#include "foundation/ImageBuffer.h"
#include "support/TestTiles.h"
#include "widgets/VxToolTipBox.h"

TEST(VxToolTipBox, ShowsTextsAndAPreviewOnlyWithTilesAndASource) {
    ensureWidgetTestApp();
    QWidget window;
    VxToolTipBox box(&window);
    EXPECT_EQ(box.previewWidth, 350);
    EXPECT_EQ(box.previewHeight, 300);
    EXPECT_EQ(box.pos(), QPoint(0, 10));
    AddConstantTile tile(40.0f);
    GrowArray<ImageMod*> mods;
    mods.append(&tile);

    box.showModInfo(GrowString("Exposure"), GrowString(""), &mods, nullptr);
    EXPECT_EQ(box.titleLabel->text(), QStringLiteral("Exposure"));
    EXPECT_FALSE(box.textLabel->isVisibleTo(&box));
    EXPECT_FALSE(box.previewLabel->isVisibleTo(&box));  // no preview source yet

    ImageBuffer source;
    ASSERT_TRUE(source.allocateFloat(60, 40, 3));
    box.setPreviewSource(&source);
    box.showModInfo(GrowString("Exposure"), GrowString("Brighter <b>or</b> darker."), &mods, nullptr);
    EXPECT_TRUE(box.textLabel->isVisibleTo(&box));
    ASSERT_TRUE(box.previewLabel->isVisibleTo(&box));
    const QImage shown = box.previewLabel->pixmap(Qt::ReturnByValue).toImage();
    ASSERT_EQ(shown.size(), QSize(60, 40));
    EXPECT_EQ(qRed(shown.pixel(10, 10)), 40);  // the tile ran on a copy of the source
    EXPECT_EQ(source.floats()[0], 0.0f);
    EXPECT_GE(box.width(), box.minimumWidth + 2 * box.margin);

    box.showModInfo(GrowString("Crop"), GrowString(""), nullptr, nullptr);
    EXPECT_FALSE(box.previewLabel->isVisibleTo(&box));
}
