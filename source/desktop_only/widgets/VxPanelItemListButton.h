#pragma once
// VxPanelItemListButton: a tile or saved filter in the tool panel's list:
// the tile's display name, with a "+" area at its right end that appends
// instead of replacing. It holds its tile and deletes it with itself only
// when its owns-tile flag is set (the prototypes belong to the panel's
// owner; a saved preset's tile belongs to its button).

#include "foundation/GrowString.h"
#include "widgets/VxPanelItem.h"

class ImageMod;

class VxPanelItemListButton : public VxPanelItem {
    Q_OBJECT
public:
    VxPanelItemListButton(ImageMod* tile, bool ownsTile, QWidget* parent);
    ~VxPanelItemListButton() override;

    ImageMod* mod() const { return mod_; }
    bool ownsMod() const { return ownsMod_; }
    // With owns set, the button deletes its tile with itself.
    void setOwnsMod(bool owns) { ownsMod_ = owns; }
    bool deletable() const { return deletable_; }         // offers "Delete" in the context menu
    bool appendPressed() const { return appendPressed_; }  // the last press was on the "+" area
    bool overPlus() const { return overPlus_; }            // the pointer is over the "+" area

    static constexpr int kPlusWidth = 26;

    ItemKind itemKind() const override { return kListButtonItem; }
    int itemHeight() const override { return 24; }

signals:
    void pressed();
    void plusHoverChanged(VxPanelItemListButton* button, bool overPlusArea);
    void buttonRightClicked(VxPanelItemListButton* button, QPoint globalPosition);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    ImageMod* mod_;
    bool ownsMod_;
    bool deletable_ = false;
    bool appendPressed_ = false;
    bool overPlus_ = false;
};
