#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include "WidgetTestApp.h"

// The resources are compiled into a library: they must register at start-up
// without any call from the program.
TEST(InterfaceResources, RegisteredFromTheLibrary) {
    ensureWidgetTestApp();
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/fonts/Vera.ttf")));
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/fonts/VeraBd.ttf")));
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/prefs/default_favorite_filters_photo.bnd")));
    EXPECT_FALSE(QImage(QStringLiteral(":/img/generic_tool_bg.png")).isNull());
}
