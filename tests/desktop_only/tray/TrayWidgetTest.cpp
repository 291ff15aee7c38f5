#include <gtest/gtest.h>

#include "WidgetTestApp.h"
#include "framework/CompoundFilter.h"
#include "support/TestTiles.h"
#include "tray/TrayWidget.h"

TEST(TrayWidget, StartsEmpty) {
    ensureWidgetTestApp();
    TrayWidget tray(nullptr);
    EXPECT_EQ(tray.masterList->subMods.count, 0);
    EXPECT_EQ(tray.displayedList, tray.masterList.get());
    EXPECT_TRUE(tray.undoStack != nullptr);
    EXPECT_FALSE(tray.modified);
    EXPECT_TRUE(tray.filterName.isEmpty());
}
