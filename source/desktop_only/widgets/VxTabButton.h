#pragma once
// VxTabButton: one document tab of the tab bar: a flat, checkable button
// showing the tab's title, carrying the tab's id. The active tab is drawn
// raised and bright, the others dimmed.

#include <QPushButton>

#include "foundation/GrowString.h"

class VxTabButton : public QPushButton {
    Q_OBJECT
public:
    VxTabButton(QWidget* parent, int tabId);

    const GrowString& title() const { return title_; }
    int tabID() const { return tabID_; }
    // Sets the title and sizes the button to it (updateText).
    void setTitle(const GrowString& text);

    // Sizes the button to its title (text width plus room for the close button).
    void updateText();
    // Checks the button and gives it the active or inactive look.
    void setActive(bool active);
    bool isActive() const { return activeLook; }

    static constexpr int kHeight = 24;
    static constexpr int kTextPadding = 14;  // left of the title
    static constexpr int kCloseRoom = 26;    // right of the title, for the close button

public slots:
    void onClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    GrowString title_;
    int tabID_;
    bool activeLook = false;
    bool hovered = false;
};
