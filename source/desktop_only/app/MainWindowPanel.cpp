// MainWindow: the side tool panel and the prototype list.
//
// The panel has one tab, "Adjustments": the "Crop/Straighten" command
// button on top (no header above it, so it stays visible whatever is
// collapsed), then seven sections of list buttons. Every tile class has one
// prototype in tilePrototypes, in a fixed order: the borders, the panel's
// tiles, the building blocks, the camera styles. A list button refers to
// the prototype itself; new tiles are clones of it, and the filter-file
// reader makes tiles from the prototype with the same XML name.

#include <cstring>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/widgets/VxPanelItemBigButton.h"
#include "desktop_only/widgets/VxPanelItemListButton.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

namespace {

// The borders, in the list's order: the straight basic border (no list
// button), the rounded one, the fill border, the image border, then the
// fourteen frames (no list buttons).
const char* const kBorderNames[] = {
    "Custom Straight", "Custom Rounded", "Fill Out", "Custom File Border",
    "47mm Square",     "35mm Bleed",     "Eroded",   "Cut",
    "Infini 50",       "Insta",          "Print-W",  "Print-B",
    "Vinyl",           "75mm Strip",     "White Slide", "Notched",
    "Safety Film",     "Paper",
};

// The 36 tiles with list buttons, in panel order (the three borders are
// listed between index 30 and 31).
const char* const kPanelNames[] = {
    // Basics
    "Exposure", "Contrast", "Saturation", "Colorize Temperature", "Multi Tool",
    // Advanced Light
    "Tone Curve", "Exposure Curve", "Advanced Contrast", "Shadows/Highlights", "Dynamics", "Brightness",
    // Advanced Color
    "Colorize Basic", "Colorize Curve", "RGB Curves", "Color Wheels", "Component Curve", "Hue Shift",
    "Hue Brightness", "Saturation Curve", "Split Tone", "Color Balance", "Color Mixer", "Filtered B+W",
    // Photographic
    "Vignette", "Grain", "Sharpen", "Blur", "Radial Blur",
    // Masks
    "Hue Mask", "HSV Mask", "Luminance Mask",
    // Utility
    "Watermark", "Dead Pixel", "Aspect Ratio", "Output Size Exact", "Output Size",
};
constexpr int kPanelCount = sizeof(kPanelNames) / sizeof(kPanelNames[0]);
constexpr int kBordersAt = 31;  // the Borders and Utility headers come before this panel tile

struct SectionStart {
    int index;
    const char* name;
    const char* icon;
};
const SectionStart kSections[] = {
    {0, "Basics", ":/img/tools_icon_basics.png"},
    {5, "Advanced Light", ":/img/tools_icon_light.png"},
    {11, "Advanced Color", ":/img/tools_icon_color.png"},
    {23, "Photographic", ":/img/tools_icon_photographic.png"},
    {28, "Masks", ":/img/tools_icon_selectors.png"},
};

// Tiles that only other tiles use, and the crop tile: no list buttons.
const char* const kBuildingBlockNames[] = {
    "Luminance Contrast", "Shadows", "Highlights", "Crop", "RGB Curve", "Curves", "Lightleak",
    "Noise", "Selective Saturation", "Color Correction", "White Balance", "Gamma", "Tint",
    "Colorize", "Color Filter", "Dye", "RGB Swap", "Discolor", "Contrast Saturation",
    "Greyscale Channel Mixer", "Lab Curves",
};

const char* const kCameraNames[] = {
    "1958", "1962", "1974",   "1983",  "Autochrome", "Colorcross", "Helga",  "Instant",   "Italiano", "Lolo",
    "Magazine", "Matte", "Mono", "Poolside", "Silver", "Skater", "Wedding", "Hipster", "Plastic", "Saloon",
};

// Takes the prototype with that XML name out of pool; null when no tile
// class of that name is built in.
ImageMod* takeNamed(GrowArray<ImageMod*>& pool, const char* name) {
    for (int32_t i = 0; i < pool.count; ++i) {
        if (std::strcmp(pool[i]->name.c_str(), name) != 0) continue;
        ImageMod* tile = pool[i];
        pool.removeAt(i);
        return tile;
    }
    return nullptr;
}

}  // namespace

void MainWindow::buildToolPanel() {
    // Every tile folder contributes its prototypes, made with their start
    // values; they are put into the panel's order here.
    GrowArray<ImageMod*> pool;
    buildPrototypeList(pool);

    d->toolPanel = new VxToolPanel(this);
    connect(d->toolPanel, &VxToolPanel::modButtonClicked, this, &MainWindow::modButtonClicked);
    connect(d->toolPanel, &VxToolPanel::comIDButtonClicked, this, &MainWindow::comIDButtonClicked);
    connect(d->toolPanel, &VxToolPanel::deleteButtonClicked, this, &MainWindow::deleteFavoriteClicked);
    connect(d->toolPanel, &VxToolPanel::imageModHovered, this, &MainWindow::imageModHovered);
    d->toolPanel->addTab(0, GrowString("Adjustments"));

    ImageMod* borders[sizeof(kBorderNames) / sizeof(kBorderNames[0])];
    int b = 0;
    for (const char* name : kBorderNames) {
        borders[b++] = takeNamed(pool, name);
        if (borders[b - 1]) d->tilePrototypes.append(borders[b - 1]);
    }

    d->cropPanelButton = d->toolPanel->addCommandButton(0, GrowString("Crop/Straighten"), 0);

    for (int i = 0; i < kPanelCount; ++i) {
        for (const SectionStart& section : kSections)
            if (section.index == i) d->toolPanel->addSectionHeader(GrowString(section.name), section.icon);
        if (i == kBordersAt) {
            d->toolPanel->addSectionHeader(GrowString("Borders"), ":/img/tools_icon_borders.png");
            for (int k = 1; k <= 3; ++k)
                if (borders[k]) d->toolPanel->addModButton(borders[k]);
            d->toolPanel->addSectionHeader(GrowString("Utility"), ":/img/tools_icon_utility.png");
        }
        ImageMod* tile = takeNamed(pool, kPanelNames[i]);
        if (!tile) continue;
        d->toolPanel->addModButton(tile);
        d->tilePrototypes.append(tile);
    }

    for (const char* name : kBuildingBlockNames)
        if (ImageMod* tile = takeNamed(pool, name)) d->tilePrototypes.append(tile);
    for (const char* name : kCameraNames)
        if (ImageMod* tile = takeNamed(pool, name)) d->tilePrototypes.append(tile);
    // A tile class the tables above do not name still loads from filter
    // files: it keeps its prototype, behind the named ones.
    for (int32_t i = 0; i < pool.count; ++i) d->tilePrototypes.append(pool[i]);
    pool.destroy();

    d->toolPanel->setCurrentTab(0);
    d->toolPanel->relayout();
}
