#pragma once
// VxRenderQueueWindow: the "Render Queue" sub-window; its content is a
// VxRenderQueueWidget whose cancel requests it passes on with the row's id.

#include "widgets/VxSubWindow.h"

class VxRenderQueueWidget;

class VxRenderQueueWindow : public VxSubWindow {
    Q_OBJECT
public:
    VxRenderQueueWindow(QWidget* parent, const GrowString& title);
    ~VxRenderQueueWindow() override;

    VxRenderQueueWidget* queueWidget;  // the content

signals:
    void cancelItemRequested(int id);

public slots:
    void cancelItemPressed(int id);
};
