#include "widgets/VxToolPanel.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QWheelEvent>

#include <algorithm>

#include "framework/ImageMod.h"
#include "widgets/VxPanelItem.h"
#include "widgets/VxPanelItemBigButton.h"
#include "widgets/VxPanelItemHeader.h"
#include "widgets/VxPanelItemListButton.h"
#include "widgets/VxPushButton.h"
#include "widgets/VxScroller.h"

VxToolPanel::VxToolPanel(QWidget* parent)
    : QWidget(parent),
      contextMenu(new QMenu(this)),
      deleteAction(contextMenu->addAction(QStringLiteral("Delete"))),
      backgroundLabel(new QLabel(this)),
      contentWidget(new QWidget(backgroundLabel)),
      scroller(new VxScroller(backgroundLabel, Qt::Vertical)) {
    contextMenu->setStyleSheet(QStringLiteral(
        "*{font-size:11px;background:transparent;background-image:none;"
        "border-image: url(:/img/floating_menu_bg_plain.png) 8 8 8 8;"
        "border-top: 8px transparent;border-bottom: 8px transparent;"
        "border-right: 8px transparent;border-left: 8px transparent;}"
        "QMenu::item::selected {background-color: #323232;}"
        "QMenu::item::disabled {color: #444444;}"));
    connect(contextMenu, &QMenu::triggered, this, &VxToolPanel::menuTriggered);
    setMouseTracking(true);
    backgroundLabel->setPalette(palette());
    backgroundLabel->raise();
    backgroundLabel->setStyleSheet(QStringLiteral(
        "background:transparent;background-image:none;border-image: url(:/img/toolpanelbg.png) 16 16 16 16;"
        "border-top: 8px transparent;border-bottom: 8px transparent;"
        "border-right: 8px transparent;border-left: 8px transparent;"));
    contentWidget->setStyleSheet(QStringLiteral("border-image: none;border: 0 0 0 0;background:none;;"));
    setStyleSheet(QStringLiteral("background:none;"));
    connect(scroller, &VxScroller::scrolled, this, &VxToolPanel::scrollerScrolled);
    resize(220, 400);
}

VxToolPanel::~VxToolPanel() = default;

int32_t VxToolPanel::tabIndexFor(int32_t tabID) const {
    if (tabs_.count == 0) return -1;
    for (int32_t i = 0; i < tabs_.count; ++i) {
        if (tabs_[i].tabID == tabID) return i;
    }
    return 0;
}

void VxToolPanel::addTab(int32_t id, const GrowString& name) {
    ToolPanelTab tab;
    tab.name = name;
    tab.tabID = id;
    tabs_.append(tab);
    tabScrollPositions.append(0.0f);
    VxPushButton* button = new VxPushButton(backgroundLabel);
    button->setText(QString::fromUtf8(name.c_str()));
    button->setCheckable(true);
    button->setProperty("tabID", id);
    button->setStyleSheet(QStringLiteral(
        "QPushButton {border-image: none;border: 0px;background:none;color: #999999;font-weight: bold;}"
        "QPushButton:checked {color: #ffffff;}"));
    connect(button, &QPushButton::pressed, this, &VxToolPanel::tabButtonPressed);
    tabButtons.append(button);
    button->show();
    if (currentTabID_ < 0 || tabs_.count == 1) currentTabID_ = id;
}

void VxToolPanel::appendItem(int32_t tabIndex, VxPanelItem* item) {
    tabs_[tabIndex].items.append(item);
    connect(item, &VxPanelItem::panelItemEntered, this, &VxToolPanel::panelItemEntered);
    item->setVisible(tabIndex == currentTabIndex());
}

VxPanelItemBigButton* VxToolPanel::addCommandButton(int32_t tabID, const GrowString& label, int commandID) {
    const int32_t index = tabIndexFor(tabID);
    if (index < 0) return nullptr;
    VxPanelItemBigButton* button = new VxPanelItemBigButton(commandID, label, contentWidget);
    connect(button, &VxPanelItemBigButton::pressed, this, &VxToolPanel::comIDButtonClickedSlot);
    appendItem(index, button);
    return button;
}

void VxToolPanel::addSectionHeader(const GrowString& name, const QString& iconPath) {
    const int32_t index = tabIndexFor(0);
    if (index < 0) return;
    VxPanelItemHeader* header = new VxPanelItemHeader(name, iconPath, contentWidget);
    connect(header, &VxPanelItemHeader::collapseToggled, this, &VxToolPanel::headerToggled);
    appendItem(index, header);
}

VxPanelItemListButton* VxToolPanel::addModButton(ImageMod* tile) {
    const int32_t index = tabIndexFor(0);
    if (index < 0) return nullptr;
    VxPanelItemListButton* button = new VxPanelItemListButton(tile, false, contentWidget);
    connect(button, &VxPanelItemListButton::plusHoverChanged, this, &VxToolPanel::plusHoverChanged);
    connect(button, &VxPanelItemListButton::pressed, this, &VxToolPanel::modButtonClickedSlot);
    connect(button, &VxPanelItemListButton::buttonRightClicked, this, &VxToolPanel::buttonRightClicked);
    appendItem(index, button);
    return button;
}

void VxToolPanel::setCurrentTab(int32_t tabID) {
    const int32_t index = tabIndexFor(tabID);
    if (index < 0) return;
    currentTabID_ = tabs_[index].tabID;
    relayout();
}

void VxToolPanel::relayout() {
    backgroundLabel->setGeometry(rect());
    const int32_t current = currentTabIndex();
    // Tab buttons across the top.
    const int tabWidth = tabButtons.count > 0 ? (width() - 2 * kPadding) / tabButtons.count : 0;
    for (int32_t i = 0; i < tabButtons.count; ++i) {
        tabButtons[i]->setGeometry(kPadding + i * tabWidth, kPadding, tabWidth, kTabRowHeight - 4);
        tabButtons[i]->setChecked(i == current);
    }
    const int top = kPadding + kTabRowHeight;
    const int viewHeight = std::max(0, height() - top - kPadding);
    const int itemWidth = std::max(0, width() - 2 * kPadding - VxScroller::kThickness);
    int y = 0;
    for (int32_t t = 0; t < tabs_.count; ++t) {
        bool sectionOpen = true;
        for (VxPanelItem* item : tabs_[t].items) {
            if (t != current) {
                item->hide();
                continue;
            }
            bool shown = true;
            if (item->itemKind() == VxPanelItem::kHeaderItem) {
                sectionOpen = !static_cast<VxPanelItemHeader*>(item)->collapsed();
            } else {
                shown = sectionOpen;
            }
            item->setVisible(shown);
            if (!shown) continue;
            item->setGeometry(0, y, itemWidth, item->itemHeight());
            y += item->itemHeight();
        }
    }
    scroller->setGeometry(width() - kPadding - VxScroller::kThickness, top, VxScroller::kThickness, viewHeight);
    scroller->setLengths(static_cast<float>(viewHeight), static_cast<float>(y));
    if (current >= 0) {
        scroller->setPosition(tabScrollPositions[current], false);
        tabScrollPositions[current] = scroller->position();
    }
    contentWidget->setGeometry(kPadding, top - static_cast<int>(scroller->position()), itemWidth,
                               std::max(y, viewHeight));
    scroller->raise();
}

void VxToolPanel::setSectionCollapsed(int32_t tabID, const GrowString& sectionName, bool collapsed) {
    const int32_t index = tabIndexFor(tabID);
    if (index < 0) return;
    for (VxPanelItem* item : tabs_[index].items) {
        if (item->itemKind() != VxPanelItem::kHeaderItem) continue;
        VxPanelItemHeader* header = static_cast<VxPanelItemHeader*>(item);
        if (header->name() == sectionName) header->setCollapsed(collapsed);
    }
    relayout();
}

GrowArray<GrowString> VxToolPanel::collapsedSectionNames(int32_t tabID) const {
    GrowArray<GrowString> names;
    const int32_t index = tabIndexFor(tabID);
    if (index < 0) return names;
    for (VxPanelItem* item : tabs_[index].items) {
        if (item->itemKind() != VxPanelItem::kHeaderItem) continue;
        const VxPanelItemHeader* header = static_cast<const VxPanelItemHeader*>(item);
        if (header->collapsed()) names.append(header->name());
    }
    return names;
}

GrowArray<ImageMod*> VxToolPanel::presetMods() const {
    GrowArray<ImageMod*> mods;
    const int32_t index = tabIndexFor(1);
    if (index < 0) return mods;
    for (VxPanelItem* item : tabs_[index].items) {
        if (item->itemKind() == VxPanelItem::kListButtonItem) {
            mods.append(static_cast<VxPanelItemListButton*>(item)->mod());
        }
    }
    return mods;
}

void VxToolPanel::deleteItem(VxPanelItem* item) {
    for (ToolPanelTab& tab : tabs_) {
        for (int32_t i = 0; i < tab.items.count; ++i) {
            if (tab.items[i] != item) continue;
            tab.items.removeAt(i);
            break;
        }
    }
    if (menuTarget == item) menuTarget = nullptr;
    item->hide();
    item->setParent(nullptr);
    delete item;
    relayout();
    update();
}

void VxToolPanel::menuTriggered(QAction* action) {
    if (action == deleteAction && menuTarget) emit deleteButtonClicked(menuTarget);
    menuTarget = nullptr;
}

void VxToolPanel::scrollerScrolled(float position) {
    const int32_t current = currentTabIndex();
    if (current >= 0) tabScrollPositions[current] = position;
    contentWidget->move(contentWidget->x(), kPadding + kTabRowHeight - static_cast<int>(position));
}

void VxToolPanel::panelItemEntered(VxPanelItem* item) {
    if (!item || item->itemKind() != VxPanelItem::kListButtonItem) {
        emit imageModHovered(nullptr, false);
        return;
    }
    VxPanelItemListButton* button = static_cast<VxPanelItemListButton*>(item);
    if (hoverPreview_) emit imageModHovered(button->mod(), button->overPlus());
}

void VxToolPanel::plusHoverChanged(VxPanelItemListButton* button, bool overPlus) {
    if (hoverPreview_ && button) emit imageModHovered(button->mod(), overPlus);
}

void VxToolPanel::comIDButtonClickedSlot() {
    VxPanelItemBigButton* button = qobject_cast<VxPanelItemBigButton*>(sender());
    if (button) emit comIDButtonClicked(button, false);
}

void VxToolPanel::modButtonClickedSlot() {
    VxPanelItemListButton* button = qobject_cast<VxPanelItemListButton*>(sender());
    if (button) emit modButtonClicked(button, button->appendPressed());
}

void VxToolPanel::buttonRightClicked(VxPanelItemListButton* button, QPoint globalPosition) {
    if (!button || !button->deletable()) return;
    menuTarget = button;
    contextMenu->popup(globalPosition);
}

void VxToolPanel::headerToggled(VxPanelItemHeader*) { relayout(); }

void VxToolPanel::tabButtonPressed() {
    QObject* button = sender();
    if (button) setCurrentTab(button->property("tabID").toInt());
}

void VxToolPanel::resizeEvent(QResizeEvent*) { relayout(); }

void VxToolPanel::wheelEvent(QWheelEvent* event) { scroller->wheelScroll(event); }

void VxToolPanel::leaveEvent(QEvent* event) {
    emit imageModHovered(nullptr, false);
    QWidget::leaveEvent(event);
}
