#pragma once
// VxPreviewChooser: the full-window chooser that shows the current picture
// through many filters at once, as thumbnails, in collapsible sections; a
// click on a thumbnail reports the filter (previewChosen) and closes it.
//
// Built here: the black background, the content widget and its scroller,
// the 33 ms recheck timer (it runs while the chooser is shown), the close
// button, the section pixmaps and the signals the main window listens to.
// The thumbnails and their rendering come with a later stage.

#include <QPixmap>
#include <QWidget>

#include "foundation/GrowString.h"

class ImageMod;
class QLabel;
class QTimer;
class VxPushButton;
class VxScroller;

class VxPreviewChooser : public QWidget {
    Q_OBJECT
public:
    explicit VxPreviewChooser(QWidget* parent);
    ~VxPreviewChooser() override;

    int32_t sectionMargin = 18;    // the two numbers the layout starts from
    int32_t thumbnailSize = 300;
    QLabel* background = nullptr;  // black, holds content and scroller
    QWidget* content = nullptr;
    VxScroller* scroller = nullptr;
    QTimer* recheckTimer = nullptr;
    VxPushButton* closeButton = nullptr;
    QPixmap collapsePixmap;
    QPixmap uncollapsePixmap;
    float scrollPosition = 0.0f;

signals:
    void previewChosen(ImageMod* mod, bool append);
    void sectionEnabled(int tabID, GrowString sectionName, bool enabled);

public slots:
    void scrollerScrolled(float position);
    void recheckTimerFired();
    void closeButtonPressed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};
