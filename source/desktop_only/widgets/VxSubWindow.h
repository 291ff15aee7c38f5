#pragma once
// VxSubWindow: a small floating window inside the main window's media area:
// a framed background, an optional title, a close button that hides the
// window, and a content widget. Dragging the title bar moves it within its
// parent.

#include <QWidget>

#include "foundation/GrowString.h"

class QLabel;
class VxPushButton;

class VxSubWindow : public QWidget {
    Q_OBJECT
public:
    VxSubWindow(QWidget* parent, const GrowString& title);
    ~VxSubWindow() override;

    GrowString title;
    QLabel* background;
    QLabel* titleLabel;      // hidden when the title is empty
    VxPushButton* closeButton;
    QWidget* content;        // the content; replaced with setContent

    static constexpr int kInitialWidth = 300;
    static constexpr int kInitialHeight = 200;
    static constexpr int kMargin = 10;       // between the frame and the content
    static constexpr int kTitleHeight = 24;  // title bar, when there is a title
    static constexpr int kCloseSize = 18;

    // Makes widget the content (reparented to the window); the old content
    // is deleted.
    void setContent(QWidget* widget);
    // Places the background, the title, the close button and the content.
    void layoutContents();

public slots:
    void closeButtonPressed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool dragging = false;
    QPoint dragStart;  // pointer position in the parent minus the window's position
};
