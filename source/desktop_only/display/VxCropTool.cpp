#include "desktop_only/display/VxCropTool.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "framework/CompoundFilter.h"
#include "framework/CropMod.h"
#include "framework/CropRatio.h"
#include "framework/ModVar.h"
#include "render/BorderMod.h"

namespace {

constexpr float kMaxMargin = 0.99f;   // what the tile itself allows per side
constexpr float kMinSide = 0.01f;     // the frame keeps at least 1% of each side
constexpr float kGrabDistance = 10.0f;  // how near an edge a press takes it (logical px)

float finiteOrZero(float v) { return std::isfinite(v) ? v : 0.0f; }

void clampAxis(float& a, float& b) {
    a = std::fmin(std::fmax(finiteOrZero(a), 0.0f), kMaxMargin);
    b = std::fmin(std::fmax(finiteOrZero(b), 0.0f), kMaxMargin);
    const float excess = a + b - (1.0f - kMinSide);
    if (excess > 0.0f) {
        // Scale both down so the frame keeps its minimum side.
        const float keep = (1.0f - kMinSide) / (a + b);
        a *= keep;
        b *= keep;
    }
}

}  // namespace

VxCropTool::VxCropTool(QWidget* parent, CropMod* crop) : VxToolWidget(parent), cropTile(crop) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    if (cropTile) {
        float read[4];
        cropTile->cropMargins(read);
        for (int i = 0; i < 4; ++i) margins[i] = finiteOrZero(read[i]);
    }
}

// The held-back tiles are switched on again within the same refresh that
// switched them off, so none is left here for the destructor.
VxCropTool::~VxCropTool() = default;

// The view shows the whole photo while the frame is edited: the margins and
// the trailing tiles leave the chain until the view has taken its copy.
void VxCropTool::setModList(const GrowArray<ImageMod*>& mods) {
    for (ImageMod* mod : mods) {
        if (mod != cropTile) continue;
        for (int side = kCropLeft; side <= kCropBottom; ++side)
            if (side < cropTile->vars.count)
                if (FloatValue* value = cropTile->vars[side]->floatValue()) value->value = 0.0f;
    }
    releaseTrailing();
    holdBackTrailing(mods);
}

void VxCropTool::restoreMods(const GrowArray<ImageMod*>&) {
    releaseTrailing();
    writeMargins();
}

// Switches off every enabled tile of the trailing group, inside nested
// tiles too (a border there still frames the output).
void VxCropTool::holdBackTrailing(const GrowArray<ImageMod*>& mods) {
    for (ImageMod* mod : mods) {
        if (!mod) continue;
        if (mod->kind() == kCompoundMod) {
            if (const CompoundFilter* nested = dynamic_cast<const CompoundFilter*>(mod))
                holdBackTrailing(nested->subMods);
            continue;
        }
        if (mod->chainGroup() != kGroupTrailing || !mod->enabled) continue;
        mod->enabled = 0;
        heldBack.append(mod);
    }
}

void VxCropTool::releaseTrailing() {
    for (ImageMod* mod : heldBack) mod->enabled = 1;
    heldBack.destroy();
}

void VxCropTool::setImageRect(const QRect& rect) {
    imageRect = rect;
    update();
}

// Only remembered: the margins are fitted again when the proportion or the
// frame changes, so opening the tool never moves a stored crop.
void VxCropTool::setPhotoSize(int32_t width, int32_t height) {
    photoWidth = width;
    photoHeight = height;
}

// The whole picture the margins are fractions of, in the photo's own
// pixels: the photo straightened by the tile's angle, the size a save cuts
// the margins from. Without a usable photo size (or with an angle that is
// not finite) the picture on screen stands in.
void VxCropTool::pictureExtent(float& width, float& height) const {
    width = static_cast<float>(imageRect.width());
    height = static_cast<float>(imageRect.height());
    if (!cropTile || photoWidth < 1 || photoHeight < 1) return;
    float w = 0.0f;
    float h = 0.0f;
    straightenedCroppedSize(nullptr, static_cast<float>(photoWidth), static_cast<float>(photoHeight),
                            cropTile->straightenAngle(), &w, &h);
    if (std::isfinite(w) && std::isfinite(h) && w >= 1.0f && h >= 1.0f) {
        width = w;
        height = h;
    }
}

void VxCropTool::controlAdjusted(ModVar* var) {
    if (!cropTile || !var) return;
    if (var->name == "Aspect") {
        fitAspect(kNone);
        writeMargins();
    }
    update();
}

void VxCropTool::writeMargins() {
    if (!cropTile) return;
    for (int side = kCropLeft; side <= kCropBottom; ++side)
        if (side < cropTile->vars.count)
            if (FloatValue* value = cropTile->vars[side]->floatValue()) value->value = margins[side];
}

void VxCropTool::setMargins(const float newMargins[4]) {
    for (int i = 0; i < 4; ++i) margins[i] = newMargins[i];
    clampAxis(margins[kCropLeft], margins[kCropRight]);
    clampAxis(margins[kCropTop], margins[kCropBottom]);
    fitAspect(kNone);
    writeMargins();
    update();
    emit cropChanged();
}

// Makes the frame keep the chosen proportion in the photo's own pixels
// (the screen's picture is rounded to whole screen pixels, so its
// proportion is not quite the photo's): the side that was not dragged gives
// way, about the frame's centre.
void VxCropTool::fitAspect(int movedPart) {
    if (!cropTile) return;
    const float ratio = cropAspectRatio(*cropTile);
    float w = 0.0f;
    float h = 0.0f;
    pictureExtent(w, h);
    if (!(ratio > 0.0f) || w < 1.0f || h < 1.0f) return;
    const float frameW = (1.0f - margins[kCropLeft] - margins[kCropRight]) * w;
    const float frameH = (1.0f - margins[kCropTop] - margins[kCropBottom]) * h;
    // The landscape form, turned when the frame stands upright.
    const float want = frameW >= frameH ? ratio : 1.0f / ratio;
    const bool widthLeads = (movedPart & (kLeft | kRight)) != 0 && (movedPart & (kTop | kBottom)) == 0;
    if (widthLeads || (!(movedPart & (kTop | kBottom)) && frameW / frameH < want)) {
        // Height follows the width.
        float newH = frameW / want;
        if (newH > h) newH = h;
        const float centre = (margins[kCropTop] + (1.0f - margins[kCropBottom])) * 0.5f;
        float top = centre - newH / h * 0.5f;
        if (top < 0.0f) top = 0.0f;
        if (top + newH / h > 1.0f) top = 1.0f - newH / h;
        margins[kCropTop] = top;
        margins[kCropBottom] = 1.0f - top - newH / h;
        if (newH == h) {
            const float newW = h * want;
            const float cx = (margins[kCropLeft] + (1.0f - margins[kCropRight])) * 0.5f;
            float left = std::fmax(0.0f, cx - newW / w * 0.5f);
            if (left + newW / w > 1.0f) left = 1.0f - newW / w;
            margins[kCropLeft] = left;
            margins[kCropRight] = 1.0f - left - newW / w;
        }
    } else {
        // Width follows the height.
        float newW = frameH * want;
        if (newW > w) newW = w;
        const float centre = (margins[kCropLeft] + (1.0f - margins[kCropRight])) * 0.5f;
        float left = centre - newW / w * 0.5f;
        if (left < 0.0f) left = 0.0f;
        if (left + newW / w > 1.0f) left = 1.0f - newW / w;
        margins[kCropLeft] = left;
        margins[kCropRight] = 1.0f - left - newW / w;
        if (newW == w) {
            const float newH = w / want;
            const float cy = (margins[kCropTop] + (1.0f - margins[kCropBottom])) * 0.5f;
            float top = std::fmax(0.0f, cy - newH / h * 0.5f);
            if (top + newH / h > 1.0f) top = 1.0f - newH / h;
            margins[kCropTop] = top;
            margins[kCropBottom] = 1.0f - top - newH / h;
        }
    }
    for (float& m : margins) m = std::fmin(std::fmax(m, 0.0f), kMaxMargin);
}

QRectF VxCropTool::frameRect() const {
    const float w = static_cast<float>(imageRect.width());
    const float h = static_cast<float>(imageRect.height());
    return QRectF(imageRect.left() + margins[kCropLeft] * w, imageRect.top() + margins[kCropTop] * h,
                  (1.0f - margins[kCropLeft] - margins[kCropRight]) * w,
                  (1.0f - margins[kCropTop] - margins[kCropBottom]) * h);
}

int VxCropTool::partAt(const QPointF& p) const {
    const QRectF f = frameRect();
    int part = kNone;
    const bool inY = p.y() > f.top() - kGrabDistance && p.y() < f.bottom() + kGrabDistance;
    const bool inX = p.x() > f.left() - kGrabDistance && p.x() < f.right() + kGrabDistance;
    if (inY && std::fabs(p.x() - f.left()) < kGrabDistance) part |= kLeft;
    else if (inY && std::fabs(p.x() - f.right()) < kGrabDistance) part |= kRight;
    if (inX && std::fabs(p.y() - f.top()) < kGrabDistance) part |= kTop;
    else if (inX && std::fabs(p.y() - f.bottom()) < kGrabDistance) part |= kBottom;
    if (part == kNone && f.contains(p)) part = kMove;
    return part;
}

void VxCropTool::paintEvent(QPaintEvent*) {
    if (imageRect.width() < 1 || imageRect.height() < 1) return;
    QPainter painter(this);
    const QRectF whole(imageRect.left(), imageRect.top(), imageRect.width(), imageRect.height());
    const QRectF f = frameRect();
    // Darken what the crop cuts away.
    QPainterPath shade;
    shade.addRect(whole);
    QPainterPath keep;
    keep.addRect(f);
    painter.fillPath(shade.subtracted(keep), QColor(0, 0, 0, 150));
    // The frame and its thirds.
    painter.setPen(QPen(QColor(255, 255, 255, 90), 1.0));
    for (int i = 1; i < 3; ++i) {
        painter.drawLine(QPointF(f.left() + f.width() * i / 3.0, f.top()),
                         QPointF(f.left() + f.width() * i / 3.0, f.bottom()));
        painter.drawLine(QPointF(f.left(), f.top() + f.height() * i / 3.0),
                         QPointF(f.right(), f.top() + f.height() * i / 3.0));
    }
    painter.setPen(QPen(QColor(255, 255, 255), 1.5));
    painter.drawRect(f);
}

void VxCropTool::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragPart = partAt(event->localPos());
    pressPoint = event->localPos();
    for (int i = 0; i < 4; ++i) marginsAtPress[i] = margins[i];
}

void VxCropTool::mouseMoveEvent(QMouseEvent* event) {
    if (dragPart == kNone) {
        const int part = partAt(event->localPos());
        if (part == kMove) setCursor(Qt::SizeAllCursor);
        else if (part == (kLeft | kTop) || part == (kRight | kBottom)) setCursor(Qt::SizeFDiagCursor);
        else if (part == (kRight | kTop) || part == (kLeft | kBottom)) setCursor(Qt::SizeBDiagCursor);
        else if (part & (kLeft | kRight)) setCursor(Qt::SizeHorCursor);
        else if (part & (kTop | kBottom)) setCursor(Qt::SizeVerCursor);
        else unsetCursor();
        return;
    }
    const float w = static_cast<float>(imageRect.width());
    const float h = static_cast<float>(imageRect.height());
    if (w < 1.0f || h < 1.0f) return;
    const float dx = static_cast<float>(event->localPos().x() - pressPoint.x()) / w;
    const float dy = static_cast<float>(event->localPos().y() - pressPoint.y()) / h;
    float m[4];
    for (int i = 0; i < 4; ++i) m[i] = marginsAtPress[i];
    if (dragPart == kMove) {
        const float sx = std::fmin(std::fmax(dx, -m[kCropLeft]), m[kCropRight]);
        const float sy = std::fmin(std::fmax(dy, -m[kCropTop]), m[kCropBottom]);
        m[kCropLeft] += sx;
        m[kCropRight] -= sx;
        m[kCropTop] += sy;
        m[kCropBottom] -= sy;
    } else {
        if (dragPart & kLeft) m[kCropLeft] = std::fmin(m[kCropLeft] + dx, 1.0f - kMinSide - m[kCropRight]);
        if (dragPart & kRight) m[kCropRight] = std::fmin(m[kCropRight] - dx, 1.0f - kMinSide - m[kCropLeft]);
        if (dragPart & kTop) m[kCropTop] = std::fmin(m[kCropTop] + dy, 1.0f - kMinSide - m[kCropBottom]);
        if (dragPart & kBottom) m[kCropBottom] = std::fmin(m[kCropBottom] - dy, 1.0f - kMinSide - m[kCropTop]);
    }
    for (int i = 0; i < 4; ++i) margins[i] = m[i];
    clampAxis(margins[kCropLeft], margins[kCropRight]);
    clampAxis(margins[kCropTop], margins[kCropBottom]);
    if (dragPart != kMove) fitAspect(dragPart);
    writeMargins();
    update();
    emit cropChanged();
}

void VxCropTool::mouseReleaseEvent(QMouseEvent*) { dragPart = kNone; }

void VxCropTool::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit requestToolExit(this);
        return;
    }
    VxToolWidget::keyPressEvent(event);
}
