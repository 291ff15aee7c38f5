#pragma once
// VxPushButton: the program's flat push button.
//
// It never takes the keyboard focus. It draws its normal pixmap, or its
// active pixmap while it is checked, pressed or hovered, centred at half the
// pixmap's size (the pixmaps are drawn at twice their shown size); without an
// active pixmap the normal one is drawn at half opacity until the button is
// active. Unless it is pixmap-only, the plain styled button is drawn below.
// A non-empty tooltip text is shown 1000 ms after the pointer enters.

#include <QPixmap>
#include <QPushButton>

#include "foundation/GrowString.h"

class QTimer;

class VxPushButton : public QPushButton {
    Q_OBJECT
public:
    explicit VxPushButton(QWidget* parent);
    ~VxPushButton() override;

    const QPixmap& normalPixmap() const { return normalPixmap_; }  // null when none
    const QPixmap& activePixmap() const { return activePixmap_; }  // null when none
    bool pixmapOnly() const { return pixmapOnly_; }
    const GrowString& toolTipText() const { return toolTipText_; }
    // The text shown 1000 ms after the pointer enters (none when empty);
    // it takes effect at the next entry.
    void setToolTipText(const GrowString& text) { toolTipText_ = text; }

    // Replaces both pixmaps (a null pixmap: none) and the pixmap-only flag;
    // with fit, the button gets a fixed size of half the larger pixmap's
    // width and height.
    void setPixmaps(const QPixmap& normal, const QPixmap& active, bool pixmapOnlyFlag, bool fit);

    // Whether the button now draws its active look (checked, down or hovered).
    bool showsActive() const;

    static constexpr int kToolTipDelayMs = 1000;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private slots:
    void toolTipTimerFired();

private:
    QPixmap normalPixmap_;
    QPixmap activePixmap_;
    bool pixmapOnly_ = false;
    GrowString toolTipText_;
    QTimer* toolTipTimer;
    bool hovered = false;
};
