#include "desktop_only/display/VxToolWidget.h"

VxToolWidget::VxToolWidget(QWidget* parent) : QWidget(parent) {}

VxToolWidget::~VxToolWidget() = default;

void VxToolWidget::setModList(const GrowArray<ImageMod*>&) {}

void VxToolWidget::restoreMods(const GrowArray<ImageMod*>&) {}

void VxToolWidget::setImageRect(const QRect&) {}

void VxToolWidget::setPhotoSize(int32_t, int32_t) {}

void VxToolWidget::controlAdjusted(ModVar*) {}
