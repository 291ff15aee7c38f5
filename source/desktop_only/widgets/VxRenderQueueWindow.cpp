#include "widgets/VxRenderQueueWindow.h"

#include "widgets/VxRenderQueueWidget.h"

VxRenderQueueWindow::VxRenderQueueWindow(QWidget* parent, const GrowString& windowTitle)
    : VxSubWindow(parent, windowTitle), queueWidget(new VxRenderQueueWidget(this)) {
    setContent(queueWidget);
    connect(queueWidget, &VxRenderQueueWidget::cancelItemRequested, this, &VxRenderQueueWindow::cancelItemPressed);
}

VxRenderQueueWindow::~VxRenderQueueWindow() = default;

void VxRenderQueueWindow::cancelItemPressed(int id) { emit cancelItemRequested(id); }
