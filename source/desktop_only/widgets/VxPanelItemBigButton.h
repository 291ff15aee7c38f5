#pragma once
// VxPanelItemBigButton: a command button of the tool panel (for example
// "Crop/Straighten"): a wide rounded button carrying a command id and a
// text that can be changed later (followed by a repaint).

#include "foundation/GrowString.h"
#include "widgets/VxPanelItem.h"

class VxPanelItemBigButton : public VxPanelItem {
    Q_OBJECT
public:
    VxPanelItemBigButton(int commandId, const GrowString& label, QWidget* parent);
    ~VxPanelItemBigButton() override;

    int commandID() const { return commandID_; }
    const GrowString& text() const { return text_; }
    // Changes the text and repaints.
    void setText(const GrowString& label);

    ItemKind itemKind() const override { return kBigButtonItem; }
    int itemHeight() const override { return 38; }

signals:
    void pressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int commandID_;
    GrowString text_;
    bool down = false;
};
