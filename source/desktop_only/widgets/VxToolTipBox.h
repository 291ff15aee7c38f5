#pragma once
// VxToolTipBox: the floating information box for tiles and commands: a
// framed background, a title, a word-wrapped rich-text description and,
// when tiles and a preview source are given, the preview source rendered
// through those tiles as the document view renders them at that size. A
// tile given as the animated one is animated by the single-shot animation
// timer, one frame per firing.

#include <QWidget>

#include <memory>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

class ImageBuffer;
class ImageMod;
class QLabel;
class QTimer;
class QVBoxLayout;
class RenderContext;

class VxToolTipBox : public QWidget {
    Q_OBJECT
public:
    explicit VxToolTipBox(QWidget* parent);
    ~VxToolTipBox() override;

    GrowString title;
    GrowString text;
    int minimumWidth = 250;
    int margin = 10;
    int bottomMargin = 20;
    int previewWidth = 350;   // the main window draws previewSource at this size
    int previewHeight = 300;
    int extraHeight = 100;    // room below the preview for the text
    QLabel* backgroundLabel;
    QLabel* titleLabel;
    QLabel* textLabel;
    QLabel* previewLabel;
    QVBoxLayout* layout;
    std::unique_ptr<RenderContext> renderContext;
    const ImageBuffer* previewSource = nullptr;  // not owned
    float previewScale = 1.0f;  // output pixels per pixel of the preview source
    QTimer* animationTimer;
    ImageMod* animatedMod = nullptr;  // the shown tile being animated (a private clone)
    int32_t animationFrame = 0;

    // Replaces the preview source (not owned) and resets the render cache;
    // scale is the output pixels per source pixel, so that tiles that work
    // in output pixels (blur radii, grain) render as the view renders them
    // at that size.
    void setPreviewSource(const ImageBuffer* source, float scale = 1.0f);
    // Fills the box: title, text (rich text, "" hides it), the preview of
    // mods over the preview source (null or empty: no preview), and the tile
    // to animate (null: none).
    void showModInfo(const GrowString& boxTitle, const GrowString& boxText, const GrowArray<ImageMod*>* mods,
                     ImageMod* animated);
    // Sizes and lays out the labels.
    void relayout();

public slots:
    void animationTimerFired();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void renderPreview();
    GrowArray<ImageMod*> previewMods;  // owned clones
    void clearPreviewMods();
};
