#pragma once
// VxCropTool: the crop and straighten overlay laid over the current view.
//
// It edits the document's crop tile (the "Crop" tile of the tray's pre
// list): the frame's four margins by dragging its edges, corners or the
// whole frame; the straighten angle and the frame proportion ("Aspect")
// through the control strip, which shows the tile's controls while the tool
// is open. While it is open the view shows the whole photo, straightened
// but not cut and without the trailing tiles (output sizing, watermark,
// borders, nested ones too), with the frame drawn over it: the crop works
// on the photo before those tiles, so the frame and its handles follow the
// photo's own geometry. The tool takes the margins out of the chain and
// switches the trailing tiles off before the main window hands the chain to
// the view (setModList), and puts both back right after (restoreMods). The
// margins are fractions of the picture's width (left, right) and height
// (top, bottom). A chosen proportion holds in the photo's own pixels (the
// straightened picture's, as a save cuts it), not in the view's rounded
// screen pixels.
//
// Escape, Return or Enter ask the main window to close the tool.

#include <QPointF>
#include <QRect>
#include <QRectF>

#include <cstdint>

#include "desktop_only/display/VxToolWidget.h"
#include "foundation/GrowArray.h"

class CropMod;

class VxCropTool : public VxToolWidget {
    Q_OBJECT
public:
    VxCropTool(QWidget* parent, CropMod* crop);
    ~VxCropTool() override;

    CropMod* cropTile;                         // the tray's crop tile (not owned)
    float margins[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // left, right, top, bottom
    QRect imageRect;                           // the whole picture on screen (inclusive edges)
    int32_t photoWidth = 0;                    // the photo's own size, 0 x 0 until told
    int32_t photoHeight = 0;

    void setModList(const GrowArray<ImageMod*>& mods) override;
    void restoreMods(const GrowArray<ImageMod*>& mods) override;
    void setImageRect(const QRect& rect) override;
    void setPhotoSize(int32_t width, int32_t height) override;
    void controlAdjusted(ModVar* var) override;

    // Sets the margins (each clamped to 0..0.99, the pair of one axis
    // leaving at least 1% of the side), fits them to the proportion of the
    // tile's "Aspect" choice and writes them into the tile.
    void setMargins(const float newMargins[4]);
    // The frame on screen, in view coordinates.
    QRectF frameRect() const;

signals:
    void cropChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum DragPart { kNone = 0, kLeft = 1, kRight = 2, kTop = 4, kBottom = 8, kMove = 16 };
    int dragPart = kNone;
    // The trailing tiles switched off for the view's copy of the chain, to
    // be switched on again by restoreMods (tiles the user switched off are
    // not among them).
    GrowArray<ImageMod*> heldBack;
    QPointF pressPoint;
    float marginsAtPress[4] = {0.0f, 0.0f, 0.0f, 0.0f};

    void writeMargins();
    void holdBackTrailing(const GrowArray<ImageMod*>& mods);
    void releaseTrailing();
    void fitAspect(int movedPart);
    void pictureExtent(float& width, float& height) const;
    int partAt(const QPointF& point) const;
};
