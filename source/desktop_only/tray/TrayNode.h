#pragma once
// TrayNode: one tile of the tray: a rounded card with the tile's name, an
// enable button, a pin mark for pinned tiles and a stacked look for nested
// tiles. It reports presses (with the keyboard modifiers), double clicks and
// its enable button; the tray decides what they do.

#include <QWidget>

class ImageMod;
class VxPushButton;

class TrayNode : public QWidget {
    Q_OBJECT
public:
    TrayNode(QWidget* parent, ImageMod* tile);
    ~TrayNode() override;

    ImageMod* mod() const { return mod_; }  // not owned: the tray's list owns it
    bool selected() const { return selected_; }
    VxPushButton* enableButton() const { return enableButton_; }
    // Sets the selected flag and restyles the node (updateStyle).
    void setSelected(bool selected);
    // Lets go of the tile for good: a node being discarded never touches it
    // again.
    void forgetTile() { mod_ = nullptr; }

    static constexpr int kWidth = 112;
    static constexpr int kHeight = 62;

    // Restyles the node after its selected flag changed.
    void updateStyle();
    // Restyles the enable button from the tile's enabled flag.
    void updateEnableButton();

signals:
    void nodePressed(TrayNode* node, Qt::KeyboardModifiers modifiers);
    void nodeRightPressed(TrayNode* node);
    void nodeDoubleClicked(TrayNode* node);
    void enableButtonPressed(TrayNode* node);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    ImageMod* mod_;
    bool selected_ = false;
    VxPushButton* enableButton_;
    bool hovered = false;
};
