#pragma once
// VxToolPanel: the side tool panel: tabs of items (section headers, command
// buttons and tile list buttons) in a scrolled column. Headers collapse the
// items below them. A pressed list button reports its tile with the append
// flag (the "+" area), a command button its command id; a right click on a
// deletable list button offers "Delete".

#include <QWidget>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

class ImageMod;
class QAction;
class QLabel;
class QMenu;
class VxPanelItem;
class VxPanelItemBigButton;
class VxPanelItemHeader;
class VxPanelItemListButton;
class VxPushButton;
class VxScroller;

struct ToolPanelTab {
    GrowArray<VxPanelItem*> items;  // in display order; children of the content widget
    GrowString name;
    int32_t tabID = -1;
};

class VxToolPanel : public QWidget {
    Q_OBJECT
public:
    explicit VxToolPanel(QWidget* parent);
    ~VxToolPanel() override;

    const GrowArray<ToolPanelTab>& tabs() const { return tabs_; }
    int32_t currentTabID() const { return currentTabID_; }
    // Whether hovering a tile button previews it in the tooltip box; takes
    // effect at the next hover.
    bool hoverPreview() const { return hoverPreview_; }
    void setHoverPreview(bool on) { hoverPreview_ = on; }

    static constexpr int kTabRowHeight = 26;
    static constexpr int kPadding = 8;

    void addTab(int32_t id, const GrowString& name);
    VxPanelItemBigButton* addCommandButton(int32_t tabID, const GrowString& label, int commandID);
    void addSectionHeader(const GrowString& name, const QString& iconPath);
    VxPanelItemListButton* addModButton(ImageMod* tile);
    void relayout();
    void setSectionCollapsed(int32_t tabID, const GrowString& sectionName, bool collapsed);
    GrowArray<GrowString> collapsedSectionNames(int32_t tabID) const;
    GrowArray<ImageMod*> presetMods() const;
    // Makes the tab with that id current (the first tab when none has it).
    void setCurrentTab(int32_t tabID);

    // The index of the tab with that id, else 0 (the first tab); -1 with no tabs.
    int32_t tabIndexFor(int32_t tabID) const;
    // Takes item out of every tab's list (its first occurrence in each;
    // later items move up), forgets it as the context menu's target,
    // detaches and deletes it, then lays out and repaints the panel.
    void deleteItem(VxPanelItem* item);

signals:
    void modButtonClicked(VxPanelItemListButton* clicker, bool append);
    void comIDButtonClicked(VxPanelItemBigButton* clicker, bool append);
    void deleteButtonClicked(VxPanelItemListButton* clicker);
    void imageModHovered(ImageMod* mod, bool append);

public slots:
    void menuTriggered(QAction* action);
    void scrollerScrolled(float position);
    void panelItemEntered(VxPanelItem* item);
    void comIDButtonClickedSlot();
    void modButtonClickedSlot();
    void plusHoverChanged(VxPanelItemListButton* button, bool overPlus);
    void buttonRightClicked(VxPanelItemListButton* button, QPoint globalPosition);
    void headerToggled(VxPanelItemHeader* header);
    void tabButtonPressed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void appendItem(int32_t tabIndex, VxPanelItem* item);
    int32_t currentTabIndex() const { return tabIndexFor(currentTabID_); }

    GrowArray<ToolPanelTab> tabs_;
    GrowArray<float> tabScrollPositions;  // one per tab
    GrowArray<VxPushButton*> tabButtons;  // one per tab, children of the background label
    int32_t currentTabID_ = -1;
    bool hoverPreview_ = true;
    QMenu* contextMenu;
    QAction* deleteAction;
    QLabel* backgroundLabel;
    QWidget* contentWidget;
    VxScroller* scroller;
    VxPanelItemListButton* menuTarget = nullptr;  // the list button the context menu is for
};
