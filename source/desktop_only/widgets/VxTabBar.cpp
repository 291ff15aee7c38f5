#include "widgets/VxTabBar.h"

#include <QPixmap>

#include <algorithm>

#include "widgets/VxPushButton.h"
#include "widgets/VxTabButton.h"

VxTabBar::VxTabBar(QWidget* parent) : QWidget(parent), background(new QWidget(this)) {
    background->setStyleSheet(QStringLiteral("background:transparent;background-image:none;"));
    background->lower();
    resize(400, VxTabButton::kHeight);
}

VxTabBar::~VxTabBar() = default;

int VxTabBar::indexOfTab(int tabID) const {
    for (int i = 0; i < tabButtons.count; ++i) {
        if (tabButtons[i]->tabID() == tabID) return i;
    }
    return -1;
}

void VxTabBar::addTab(int tabID) {
    VxTabButton* button = new VxTabButton(this, tabID);
    button->setTitle(GrowString("Empty Tab"));
    button->setActive(false);
    connect(button, &QPushButton::clicked, this, &VxTabBar::tabButtonClicked);
    VxPushButton* close = new VxPushButton(button);
    close->setPixmaps(QPixmap(QStringLiteral(":/img/minib_icon_del.png")), QPixmap(), true, false);
    close->setFixedSize(closeButtonSize, closeButtonSize);
    connect(close, &QPushButton::released, this, &VxTabBar::closeButtonPressed);
    tabButtons.append(button);
    closeButtons.append(close);
    button->show();
    close->hide();
    layoutTabs();
    if (currentIndex < 0 || currentIndex >= tabButtons.count) setCurrentTab(tabID);
}

void VxTabBar::setCurrentTab(int tabID) {
    currentIndex = indexOfTab(tabID);
    for (int i = 0; i < tabButtons.count; ++i) {
        const bool current = i == currentIndex;
        tabButtons[i]->setActive(current);
        closeButtons[i]->setVisible(current);
    }
}

void VxTabBar::removeTab(int tabID) {
    const int index = indexOfTab(tabID);
    if (index < 0) return;
    VxTabButton* button = tabButtons[index];
    tabButtons.removeAt(index);
    closeButtons.removeAt(index);
    // Deleted once control returns to the event loop: the close button
    // asking for this removal is a child of the button and is still inside
    // its own release handling.
    button->hide();
    button->deleteLater();  // its close button is its child
    if (currentIndex == index) {
        currentIndex = -1;
    } else if (currentIndex > index) {
        --currentIndex;
    }
    layoutTabs();
}

void VxTabBar::layoutTabs() {
    background->setGeometry(rect());
    if (tabButtons.count == 0) return;
    int total = 0;
    for (VxTabButton* button : tabButtons) {
        button->updateText();
        total += button->width();
    }
    const int room = std::max(0, width() - tabMargin);
    // Tabs that do not fit share the room equally.
    const int share = total > room ? std::max(closeButtonSize + 8, room / tabButtons.count) : 0;
    int x = tabMargin;
    for (int i = 0; i < tabButtons.count; ++i) {
        VxTabButton* button = tabButtons[i];
        const int w = share > 0 ? share : button->width();
        button->setGeometry(x, 0, w, VxTabButton::kHeight);
        closeButtons[i]->move(w - closeButtonSize - 3, (VxTabButton::kHeight - closeButtonSize) / 2 + 1);
        x += w;
    }
}

void VxTabBar::resizeEvent(QResizeEvent*) { layoutTabs(); }

void VxTabBar::tabButtonClicked() {
    VxTabButton* button = qobject_cast<VxTabButton*>(sender());
    if (!button || indexOfTab(button->tabID()) < 0) return;
    setCurrentTab(button->tabID());
    emit tabActivated(button->tabID());
}

void VxTabBar::closeButtonPressed() {
    for (int i = 0; i < closeButtons.count; ++i) {
        if (closeButtons[i] == sender()) {
            emit tabRequestedClose(tabButtons[i]->tabID());
            return;
        }
    }
}
