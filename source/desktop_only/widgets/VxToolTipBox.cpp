#include "widgets/VxToolTipBox.h"

#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "media/PixelTransfer.h"
#include "render/RenderContext.h"

VxToolTipBox::VxToolTipBox(QWidget* parent)
    : QWidget(parent),
      backgroundLabel(new QLabel(this)),
      titleLabel(new QLabel(this)),
      textLabel(new QLabel(this)),
      previewLabel(new QLabel(this)),
      layout(new QVBoxLayout()),  // installed on the box below
      renderContext(std::make_unique<RenderContext>(1)),
      animationTimer(new QTimer(this)) {
    renderContext->priority = 0.5f;
    backgroundLabel->setStyleSheet(QStringLiteral(
        "border-image: url(:/img/generic_tool_bg.png) 24 24 24 24;border-top: 12px transparent;"
        "border-bottom: 12px transparent;border-right: 12px transparent;border-left: 12px transparent;"));
    backgroundLabel->show();
    const QString plain = QStringLiteral("border-image: none;border: 0 0 0 0;background:none;;");
    titleLabel->setStyleSheet(plain + QStringLiteral("font-weight: bold;"));
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setFixedHeight(30);
    textLabel->setStyleSheet(plain);
    textLabel->setWordWrap(true);
    textLabel->setTextFormat(Qt::RichText);
    textLabel->setIndent(10);
    textLabel->hide();
    previewLabel->setStyleSheet(plain);
    previewLabel->setAlignment(Qt::AlignCenter);
    previewLabel->hide();
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(titleLabel);
    layout->addWidget(previewLabel);
    layout->addWidget(textLabel);
    layout->addStretch(1);
    setLayout(layout);
    setContentsMargins(margin, margin, margin, bottomMargin);
    animationTimer->setSingleShot(true);
    connect(animationTimer, &QTimer::timeout, this, &VxToolTipBox::animationTimerFired);
    setFocusPolicy(Qt::NoFocus);
    setMinimumSize(200, 200);
    move(0, 10);
}

VxToolTipBox::~VxToolTipBox() {
    animationTimer->stop();
    clearPreviewMods();
}

void VxToolTipBox::clearPreviewMods() {
    for (ImageMod* mod : previewMods) delete mod;
    previewMods.destroy();
    animatedMod = nullptr;
}

void VxToolTipBox::setPreviewSource(const ImageBuffer* source, float scale) {
    previewSource = source;
    previewScale = std::isfinite(scale) && scale > 0.0f ? scale : 1.0f;
    renderContext->reset();
}

void VxToolTipBox::showModInfo(const GrowString& boxTitle, const GrowString& boxText,
                               const GrowArray<ImageMod*>* mods, ImageMod* animated) {
    animationTimer->stop();
    clearPreviewMods();
    title = boxTitle;
    text = boxText;
    titleLabel->setText(QString::fromUtf8(title.c_str()));
    textLabel->setText(QString::fromUtf8(text.c_str()));
    textLabel->setVisible(!text.isEmpty());
    if (mods) {
        for (const ImageMod* mod : *mods) {
            if (!mod) continue;
            ImageMod* copy = duplicateMod(*mod);
            if (!copy) continue;
            previewMods.append(copy);
            if (mod == animated) animatedMod = copy;
        }
    }
    animationFrame = 0;
    renderPreview();
    if (animatedMod && animatedMod->hasAnimTracks()) {
        const float seconds = animatedMod->frameInterval();
        const int ms = std::isfinite(seconds) ? std::clamp(static_cast<int>(seconds * 1000.0f), 16, 2000) : 50;
        animationTimer->start(ms);
    }
    relayout();
}

void VxToolTipBox::renderPreview() {
    if (previewMods.count == 0 || !previewSource || !previewSource->data || previewSource->width < 1 ||
        previewSource->height < 1) {
        previewLabel->clear();
        previewLabel->hide();
        return;
    }
    ImageBuffer work;
    ImageBuffer::copyFloat(work, *previewSource, true);
    if (!work.data) {
        previewLabel->hide();
        return;
    }
    // The whole output at the source's size, as the view's region of it.
    RenderRegion region;
    region.fullWidth = work.width;
    region.fullHeight = work.height;
    region.scale = previewScale;
    if (!renderContext->render(previewMods, &work, nullptr, -1, 0, &region)) {
        // No finished picture: the box shows its text without a preview.
        previewLabel->clear();
        previewLabel->hide();
        return;
    }
    QPixmap pixmap = QPixmap::fromImage(imageFromBuffer(work, true, false, true));
    const qreal ratio = devicePixelRatioF();
    pixmap.setDevicePixelRatio(ratio);
    previewLabel->setPixmap(pixmap);
    previewLabel->setFixedSize(static_cast<int>(std::lround(pixmap.width() / ratio)),
                               static_cast<int>(std::lround(pixmap.height() / ratio)));
    previewLabel->show();
}

void VxToolTipBox::animationTimerFired() {
    if (!animatedMod || !isVisible()) return;
    ++animationFrame;
    animatedMod->applyAnimFrame(animationFrame);
    renderPreview();
    const float seconds = animatedMod->frameInterval();
    animationTimer->start(std::isfinite(seconds) ? std::clamp(static_cast<int>(seconds * 1000.0f), 16, 2000) : 50);
}

void VxToolTipBox::relayout() {
    const int innerWidth = std::max(minimumWidth, previewLabel->isVisible() ? previewLabel->width() : 0);
    int h = titleLabel->height();
    if (previewLabel->isVisible()) h += previewLabel->height();
    if (textLabel->isVisible()) h += textLabel->heightForWidth(innerWidth);
    const int boxWidth = innerWidth + 2 * margin;
    const int boxHeight = std::max(minimumHeight(), h + margin + bottomMargin);
    resize(boxWidth, boxHeight);
    backgroundLabel->setGeometry(rect());
    backgroundLabel->lower();
}

void VxToolTipBox::resizeEvent(QResizeEvent*) {
    backgroundLabel->setGeometry(rect());
    backgroundLabel->lower();
}
