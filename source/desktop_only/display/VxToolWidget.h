#pragma once
// VxToolWidget: the base of a tool overlay laid over the current view (the
// crop and straighten tool). The main window tells an open tool about every
// new chain, the view's image rectangle (and the photo's own size) after
// each layout and every edit of the control strip; the tool asks to be
// closed through requestToolExit. The operations do nothing here.

#include <QRect>
#include <QWidget>

#include <cstdint>

#include "foundation/GrowArray.h"

class ImageMod;
class ModVar;

class VxToolWidget : public QWidget {
    Q_OBJECT
public:
    explicit VxToolWidget(QWidget* parent = nullptr);
    ~VxToolWidget() override;

    // A copy of the chain before it is handed to the view (the tool may
    // change it) and again after (the tool may put its own state back).
    virtual void setModList(const GrowArray<ImageMod*>& mods);
    virtual void restoreMods(const GrowArray<ImageMod*>& mods);
    // The view's on-screen image rectangle, in view coordinates.
    virtual void setImageRect(const QRect& rect);
    // The size of the view's photo in its own pixels, before any crop or
    // straighten; told just before each setImageRect.
    virtual void setPhotoSize(int32_t width, int32_t height);
    // A control of the strip changed this var while the tool is open.
    virtual void controlAdjusted(ModVar* var);

signals:
    void requestToolExit(VxToolWidget* tool);
};
