#pragma once
// VxListChooser: the control strip's list chooser for a choice parameter,
// and its drop-down list.
//
// The chooser is a flat button showing the current choice with an arrow at
// its right end. Pressing it opens or closes its list, a sibling widget
// (a child of the chooser's parent, so it can reach above the chooser).
// Hovering entries of the open list previews them (itemHovered, when the
// hover-preview flag is set; the first hover emits itemAboutToChange so an
// undo record can be made); choosing an entry makes it current. The
// chooser owns its list: deleting the chooser deletes the list, so a list
// left open when the strip is rebuilt never reaches a deleted chooser.
// Every signal carries the chooser itself.

#include <QPointer>
#include <QWidget>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "widgets/VxPushButton.h"

class QLabel;

class VxListChooserList : public QWidget {
    Q_OBJECT
public:
    explicit VxListChooserList(QWidget* parent);
    ~VxListChooserList() override;

    int32_t highlighted() const { return highlighted_; }
    // Forgets the highlighted entry (it shows from the next repaint).
    void resetHighlight() { highlighted_ = -1; }

    static constexpr int kRowHeight = 22;
    static constexpr int kTopInset = 10;

    void setChoices(const GrowArray<GrowString>& texts);
    // The entry under a point of the list, -1 when none.
    int32_t rowAt(const QPoint& pos) const;

signals:
    void itemChosen(int index);
    void hoverItemChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    GrowArray<GrowString> choices;
    int32_t highlighted_ = -1;
};

class VxListChooser : public VxPushButton {
    Q_OBJECT
public:
    explicit VxListChooser(QWidget* parent);
    ~VxListChooser() override;

    const GrowArray<GrowString>& choices() const { return choices_; }
    int32_t currentIndex() const { return currentIndex_; }
    int32_t hoveredIndex() const { return hoveredIndex_; }
    VxListChooserList* list() const { return list_.data(); }
    // Makes index current and shows it (updateText).
    void setCurrentIndex(int32_t index);
    // Whether hovering an entry reports itemHovered.
    void setHoverPreview(uint8_t on) { hoverPreview = on; }
    // Closes the drop-down list when it is open.
    void closeList();

    void setChoices(const GrowArray<GrowString>& texts);
    // Shows the current choice; an index outside the choices shows nothing.
    void updateText();
    bool listVisible() const;
    int listHeight() const;

signals:
    void itemAboutToChange(QWidget* control);
    void itemHovered(QWidget* control);
    void itemChanged(QWidget* control);
    void listToggled(QWidget* control);

public slots:
    void mainButtonPressed();
    void itemChosenFromList(int index);
    void itemHoveredFromList(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void placeList();
    GrowArray<GrowString> choices_;
    int32_t currentIndex_ = 0;
    int32_t hoveredIndex_ = -1;
    uint8_t hoverPreview = 1;
    QPointer<VxListChooserList> list_;
    QLabel* arrow;
};
