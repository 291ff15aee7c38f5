#pragma once
// Shared pieces of the tests of the panel, the menus, the dispatcher and the
// tools: a window offscreen with a photo on disk, a URL handler that records
// instead of starting a browser, and small look-ups.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QList>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "desktop_only/app/DesktopServices.h"
#include "desktop_only/app/MainWindow.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/tray/TrayWidget.h"
#include "desktop_only/widgets/VxPanelItemListButton.h"
#include "desktop_only/widgets/VxToolPanel.h"
#include "framework/ImageMod.h"
#include "support/DesktopTestAccess.h"
#include "support/DesktopTestHelpers.h"
#include "support/StateGuards.h"

// Every XML name of the window's prototype list, in order.
inline const std::vector<std::string>& expectedPrototypeNames() {
    static const std::vector<std::string> names = {
        "Custom Straight", "Custom Rounded", "Fill Out", "Custom File Border", "47mm Square", "35mm Bleed",
        "Eroded", "Cut", "Infini 50", "Insta", "Print-W", "Print-B", "Vinyl", "75mm Strip", "White Slide",
        "Notched", "Safety Film", "Paper", "Exposure", "Contrast", "Saturation", "Colorize Temperature",
        "Multi Tool", "Tone Curve", "Exposure Curve", "Advanced Contrast", "Shadows/Highlights", "Dynamics",
        "Brightness", "Colorize Basic", "Colorize Curve", "RGB Curves", "Color Wheels", "Component Curve",
        "Hue Shift", "Hue Brightness", "Saturation Curve", "Split Tone", "Color Balance", "Color Mixer",
        "Filtered B+W", "Vignette", "Grain", "Sharpen", "Blur", "Radial Blur", "Hue Mask", "HSV Mask",
        "Luminance Mask", "Watermark", "Dead Pixel", "Aspect Ratio", "Output Size Exact", "Output Size",
        "Luminance Contrast", "Shadows", "Highlights", "Crop", "RGB Curve", "Curves", "Lightleak", "Noise",
        "Selective Saturation", "Color Correction", "White Balance", "Gamma", "Tint", "Colorize",
        "Color Filter", "Dye", "RGB Swap", "Discolor", "Contrast Saturation", "Greyscale Channel Mixer",
        "Lab Curves", "1958", "1962", "1974", "1983", "Autochrome", "Colorcross", "Helga", "Instant",
        "Italiano", "Lolo", "Magazine", "Matte", "Mono", "Poolside", "Silver", "Skater", "Wedding", "Hipster",
        "Plastic", "Saloon"};
    return names;
}

inline ImageMod* prototypeNamed(MainWindow& w, const char* name) {
    for (ImageMod* tile : windowState(w).tilePrototypes)
        if (tile->name == name) return tile;
    return nullptr;
}

// The tile classes of the list that this build does not have yet.
inline std::vector<std::string> missingPrototypeNames(MainWindow& w) {
    std::vector<std::string> missing;
    for (const std::string& name : expectedPrototypeNames())
        if (!prototypeNamed(w, name.c_str())) missing.push_back(name);
    return missing;
}

inline std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

inline bool hasListButton(MainWindow& w, const ImageMod* tile) {
    for (VxPanelItem* item : windowState(w).toolPanel->tabs()[0].items)
        if (item->itemKind() == VxPanelItem::kListButtonItem &&
            static_cast<VxPanelItemListButton*>(item)->mod() == tile)
            return true;
    return false;
}

// The first action with this text in the menus or on the window.
inline QAction* actionNamed(MainWindow& w, const char* text) {
    QList<QAction*> all = w.actions();
    auto& s = windowState(w);
    for (QMenu* menu : {s.fileMenu, s.editMenu, s.viewMenu, s.helpMenu}) all += menu->actions();
    for (QAction* action : all)
        if (action->text() == QString::fromUtf8(text)) return action;
    return nullptr;
}

// Answers the next modal dialog with its first button, recording its title
// and text.
struct DialogCatcher {
    QString title;
    QString text;
    void arm() {
        QTimer::singleShot(50, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return arm();
            title = modal->windowTitle();
            for (QLabel* label : modal->findChildren<QLabel*>())
                if (!label->text().isEmpty() && label->text() != title) text = label->text();
            static_cast<QDialog*>(modal)->accept();
        });
    }
};

// A bundle of one file, in the archive's record format.
inline bool writeOneFileBundle(const QString& archive, const char* name, const QString& dataPath) {
    QFile in(dataPath);
    if (!in.open(QIODevice::ReadOnly)) return false;
    const QByteArray data = in.readAll();
    QByteArray bytes("FILE");
    auto u32 = [&bytes](uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.append(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    u32(static_cast<uint32_t>(std::strlen(name)));
    bytes.append(name);
    u32(static_cast<uint32_t>(data.size()));
    bytes.append(data);
    QFile out(archive);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

class PanelWindowTest : public ::testing::Test {
protected:
    // Each test starts from the preferences of a new process (run whole, the
    // binary's other tests have changed them) and leaves them as it found them.
    teststate::FreshPreferences preferences;
    void SetUp() override {
        ensureTestApplication();
        ASSERT_TRUE(folder.isValid());
        photo = folder.path() + "/a.png";
        ASSERT_TRUE(writeTwoColourPhoto(photo, 300, 200));
        setDesktopUrlHandler([this](const QUrl& url) {
            openedUrls << url;
            return true;
        });
        setFileManagerCallsEnabled(false);
        window = std::make_unique<MainWindow>("QWidget { color: #ffffff; }");
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        MainWindow::openFileChooserOverride() = nullptr;
        waitForWindowIdle(*window, false);
        window.reset();
        setDesktopUrlHandler(nullptr);
        setFileManagerCallsEnabled(true);
    }
    VxMediaWidget* view() { return window->current()->view; }
    TrayWidget* tray() { return window->current()->tray; }
    void trigger(const char* text) {
        QAction action(QString::fromUtf8(text), nullptr);
        window->actionTriggered(&action);
    }

    QTemporaryDir folder;
    QString photo;
    QList<QUrl> openedUrls;
    std::unique_ptr<MainWindow> window;
};
