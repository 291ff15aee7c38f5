#pragma once
// VxToolTipBox: the floating information box for tiles and commands: a
// framed background, a title, a word-wrapped rich-text description and,
// when tiles and a preview source are given, the preview source rendered
// through those tiles. A tile with animation tracks is animated by the
// single-shot animation timer, one frame per firing.

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
    QTimer* animationTimer;
    ImageMod* animatedMod = nullptr;  // the shown tile being animated (a private clone)
    int32_t animationFrame = 0;

    // Replaces the preview source (not owned) and resets the render cache.
    void setPreviewSource(const ImageBuffer* source);
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
