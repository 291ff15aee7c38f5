#pragma once
// VxToolWidget: the base of a tool overlay laid over the current view (the
// crop and straighten tool). The main window tells an open tool about every
// new chain, the view's image rectangle after each layout and every edit of
// the control strip; the tool asks to be closed through requestToolExit.
// The four operations do nothing here.

#include <QRect>
#include <QWidget>

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
    // A control of the strip changed this var while the tool is open.
    virtual void controlAdjusted(ModVar* var);

signals:
    void requestToolExit(VxToolWidget* tool);
};
