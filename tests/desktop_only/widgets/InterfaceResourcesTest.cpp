// The built-in resources: registered from the library, every interface
// image the window asks for, and a default bundle whose filters all load.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "WidgetTestApp.h"
#include "framework/FilterFile.h"
#include "framework/ImageMod.h"
#include "framework/PresetBundle.h"
#include "framework/TilePrototypes.h"

// The resources are compiled into a library: they must register at start-up
// without any call from the program.
TEST(InterfaceResources, RegisteredFromTheLibrary) {
    ensureWidgetTestApp();
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/fonts/Vera.ttf")));
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/fonts/VeraBd.ttf")));
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/prefs/default_favorite_filters_photo.bnd")));
}

// Drawn at twice the shown size: every image has even sides.
TEST(InterfaceResources, EveryInterfaceImageIsThere) {
    ensureWidgetTestApp();
    const char* names[] = {
        "active_media_panel_bg", "button_ellipsis", "color_chooser_color_indicator",
        "color_chooser_hue_indicator", "control_label_bg", "default_image_thumb", "floating_menu_bg_plain",
        "generic_tool_bg", "hue_handle", "list_chooser_arrow", "main_bg", "mini_button_bg", "mini_icon_cancel",
        "mini_icon_close", "minib_icon_del", "minib_icon_hide_p", "minib_icon_hide_t", "minib_icon_show_p",
        "minib_icon_show_t", "minib_icon_visible", "panels_horizontal_active", "panels_horizontal_inactive",
        "panels_single_active", "panels_single_inactive", "panels_vertical_active", "panels_vertical_inactive",
        "preview_chooser_collapse", "preview_chooser_uncollapse", "slider_bg", "slider_handle", "slider_tickmark",
        "startup_loadphoto", "startup_loadphoto_high", "text_entry_bg", "toolpanelbg", "tools_icon_basics",
        "tools_icon_borders", "tools_icon_color", "tools_icon_light", "tools_icon_photographic",
        "tools_icon_selectors", "tools_icon_utility", "traylistbg"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const QImage image(QStringLiteral(":/img/%1.png").arg(QLatin1String(name)));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width() % 2, 0);
        EXPECT_EQ(image.height() % 2, 0);
    }
}

TEST(InterfaceResources, DefaultBundleUnpacksIntoFourteenGroupsThatAllLoad) {
    ensureWidgetTestApp();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray target = folder.path().toUtf8() + "/Presets";
    ASSERT_TRUE(unpackBundle(GrowString(":/prefs/default_favorite_filters_photo.bnd"), GrowString(target.constData())));
    QDir presets(QString::fromUtf8(target));
    const QStringList groups = presets.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_EQ(groups.size(), 14);
    for (const char* name : {"Color Essentials", "Film Tone", "Color Correction", "Classic Photography"}) {
        EXPECT_TRUE(groups.contains(QString::fromUtf8(name))) << name;
    }
    EXPECT_TRUE(presets.exists(QStringLiteral("Example Custom Preset.plf")));

    GrowArray<ImageMod*> prototypes;
    buildPrototypeList(prototypes);
    int filters = 0;
    QStringList paths{presets.filePath(QStringLiteral("Example Custom Preset.plf"))};
    for (const QString& group : groups) {
        const QStringList files = QDir(presets.filePath(group)).entryList({QStringLiteral("*.plf")}, QDir::Files);
        EXPECT_GE(files.size(), 3) << group.toStdString();
        for (const QString& file : files) paths << presets.filePath(group + QLatin1Char('/') + file);
    }
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        GrowArray<ImageMod*> mods;
        uint32_t status = 99;
        loadFilterFile(mods, GrowString(path.toUtf8().constData()), prototypes, status);
        EXPECT_EQ(status, static_cast<uint32_t>(kFilterReadClean));
        EXPECT_GE(mods.count, 1);
        for (ImageMod* mod : mods) delete mod;
        ++filters;
    }
    EXPECT_GE(filters, 14 * 3 + 1);
    freePrototypeList(prototypes);
}
