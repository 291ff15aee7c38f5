#pragma once
// VxTabBar: the row of document tabs. One VxTabButton per tab, in tab order,
// each with a close button inside it (shown on the current tab only).
// Reports a click on a tab through tabActivated(tabID) (after making it
// current) and a released close button through tabRequestedClose(tabID).

#include <QWidget>

#include "foundation/GrowArray.h"

class VxPushButton;
class VxTabButton;

class VxTabBar : public QWidget {
    Q_OBJECT
public:
    explicit VxTabBar(QWidget* parent);
    ~VxTabBar() override;

    int tabMargin = 18;        // left margin of the first tab
    int closeButtonSize = 20;  // side of the square close buttons
    int currentIndex = -1;
    GrowArray<VxTabButton*> tabButtons;     // children of the bar, in tab order
    GrowArray<VxPushButton*> closeButtons;  // one per tab button, child of it
    QWidget* background;

    void addTab(int tabID);
    void setCurrentTab(int tabID);
    void removeTab(int tabID);
    void layoutTabs();
    // The index of the first button with that id, or -1.
    int indexOfTab(int tabID) const;

signals:
    void tabActivated(int tabID);
    void tabRequestedClose(int tabID);

public slots:
    void tabButtonClicked();
    void closeButtonPressed();

protected:
    void resizeEvent(QResizeEvent* event) override;
};
