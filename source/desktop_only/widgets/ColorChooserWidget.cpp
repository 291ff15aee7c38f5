#include "widgets/ColorChooserWidget.h"

#include <QLabel>
#include <QLineEdit>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kInset = 20;       // the frame's border
constexpr int kHueWidth = 14;    // the hue bar's width in full mode
constexpr int kFieldWidth = 36;
constexpr int kFieldHeight = 18;
constexpr int kGap = 8;

float unit255(float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 255.0f) / 255.0f : 0.0f; }
float clampUnit(double v) { return std::isfinite(v) ? static_cast<float>(std::clamp(v, 0.0, 1.0)) : 0.0f; }
}  // namespace

ColorChooserWidget::ColorChooserWidget(QWidget* parent, int32_t chooserMode) : QWidget(parent), mode(chooserMode) {
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QString("background: none;") + "border-image: url(:/img/generic_tool_bg.png) 40 40 40 40;" +
                  "border-top: 20px transparent;" + "border-bottom: 20px transparent;" +
                  "border-right: 20px transparent;" + "border-left: 20px transparent;");
    colorIndicator = QPixmap(":/img/color_chooser_color_indicator.png");
    colorIndicator.setDevicePixelRatio(2.0);
    hueIndicator = QPixmap(":/img/color_chooser_hue_indicator.png");
    hueIndicator.setDevicePixelRatio(2.0);
    if (mode == 0) {
        caption = new QLabel("RGB", this);
        caption->setStyleSheet(QString("border-image: none;") + "border: 0px;" + "color: #666666;" +
                               "font-size: 12px;");
        caption->setAlignment(Qt::AlignCenter);
        for (QLineEdit*& field : fields) {
            field = new QLineEdit(this);
            field->setStyleSheet(QString("border-image: url(:/img/text_entry_bg.png) 8 8 8 8;") +
                                 "border-top: 4px transparent;" + "border-bottom: 4px transparent;" +
                                 "border-right: 4px transparent;" + "border-left: 4px transparent;" +
                                 "color: #ffffff;");
            field->setAlignment(Qt::AlignCenter);
            field->setTextMargins(-2, -2, -2, -2);
            field->resize(kFieldWidth, kFieldHeight);
            connect(field, &QLineEdit::editingFinished, this, &ColorChooserWidget::numberEdited);
        }
        eyedropper = new QPushButton(this);
        eyedropper->setFocusPolicy(Qt::NoFocus);
        eyedropper->setCursor(Qt::CrossCursor);
        eyedropper->setStyleSheet(QString("border-image: none;") + "border: 1px solid #666666;" +
                                  "background:none;" + "color: #aaaaaa;");
        eyedropper->setText("+");
        eyedropper->resize(kFieldHeight, kFieldHeight);
        connect(eyedropper, &QPushButton::released, this, &ColorChooserWidget::eyedropperPressed);
    }
    setControlSize(mode == 0 ? 300 : 150, mode == 0 ? 130 : 150);
    showNumbers();
}

ColorChooserWidget::~ColorChooserWidget() = default;

void ColorChooserWidget::setColor(float red, float green, float blue, float alphaValue) {
    const float r = unit255(red), g = unit255(green), b = unit255(blue);
    const float maximum = std::max({r, g, b});
    const float minimum = std::min({r, g, b});
    const float delta = maximum - minimum;
    value = maximum;
    saturation = maximum > 0.0f ? delta / maximum : 0.0f;
    if (delta > 0.0f) {
        float h;
        if (maximum == r) h = (g - b) / delta;
        else if (maximum == g) h = 2.0f + (b - r) / delta;
        else h = 4.0f + (r - g) / delta;
        h /= 6.0f;
        if (h < 0.0f) h += 1.0f;
        if (h >= 1.0f) h -= 1.0f;
        hue = h;
    }
    alpha = unit255(alphaValue);
    showNumbers();
    update();
}

QColor ColorChooserWidget::currentColor() const {
    return QColor::fromHsvF(std::clamp(static_cast<double>(hue), 0.0, 1.0) >= 1.0 ? 0.0 : hue, saturation, value,
                            alpha);
}

void ColorChooserWidget::setControlSize(int width, int height) { resize(std::max(width, 0), std::max(height, 0)); }

QRect ColorChooserWidget::hueRect() const {
    if (mode != 0) return QRect(kInset, height() / 2 - 8, std::max(1, width() - 2 * kInset), 16);
    const QRect area = areaRect();
    return QRect(area.right() + 1 + kGap, area.top(), kHueWidth, area.height());
}

QRect ColorChooserWidget::areaRect() const {
    const int fieldsWidth = mode == 0 ? kFieldWidth + kGap : 0;
    const int w = std::max(1, width() - 2 * kInset - kHueWidth - kGap - fieldsWidth);
    return QRect(kInset - 6, kInset - 6, w + 6, std::max(1, height() - 2 * kInset + 12));
}

void ColorChooserWidget::showNumbers() {
    if (mode != 0) return;
    const QColor c = currentColor();
    const int values[3] = {c.red(), c.green(), c.blue()};
    for (int i = 0; i < 3; ++i)
        if (fields[i] && !fields[i]->hasFocus()) fields[i]->setText(QString::number(values[i]));
}

void ColorChooserWidget::resizeEvent(QResizeEvent*) {
    if (mode != 0) return;
    const QRect hues = hueRect();
    const int x = hues.right() + 1 + kGap;
    caption->setGeometry(x, hues.top(), kFieldWidth, kFieldHeight);
    for (int i = 0; i < 3; ++i) fields[i]->move(x, hues.top() + (i + 1) * (kFieldHeight + 4));
    eyedropper->move(x + (kFieldWidth - kFieldHeight) / 2, hues.top() + 4 * (kFieldHeight + 4));
}

void ColorChooserWidget::eyedropperPressed() {
    picking = true;
    grabMouse(Qt::CrossCursor);
}

void ColorChooserWidget::pickScreenColor(const QPoint& globalPos) {
    QScreen* screen = QGuiApplication::screenAt(globalPos);
    if (!screen) return;
    const QPoint local = globalPos - screen->geometry().topLeft();
    const QImage pixel = screen->grabWindow(0, local.x(), local.y(), 1, 1).toImage();
    if (pixel.isNull() || pixel.width() < 1 || pixel.height() < 1) return;
    const QColor c = pixel.pixelColor(0, 0);
    emit editingStarted(this);
    setColor(static_cast<float>(c.red()), static_cast<float>(c.green()), static_cast<float>(c.blue()), alpha * 255.0f);
    emit colorChanged(this);
}

void ColorChooserWidget::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    const QRect hues = hueRect();
    const bool vertical = mode == 0;
    QLinearGradient hueGradient(hues.topLeft(), vertical ? hues.bottomLeft() : hues.topRight());
    for (int i = 0; i <= 6; ++i) hueGradient.setColorAt(i / 6.0, QColor::fromHsvF(std::fmod(i / 6.0, 1.0), 1.0, 1.0));
    painter.fillRect(hues, hueGradient);
    const qreal hueAt = vertical ? hues.top() + hue * (hues.height() - 1) : hues.left() + hue * (hues.width() - 1);
    const qreal iw = hueIndicator.width() / hueIndicator.devicePixelRatio();
    const qreal ih = hueIndicator.height() / hueIndicator.devicePixelRatio();
    if (mode == 0) {
        const QRect area = areaRect();
        QLinearGradient across(area.topLeft(), area.topRight());
        across.setColorAt(0.0, QColor(255, 255, 255));
        across.setColorAt(1.0, QColor::fromHsvF(hue >= 1.0f ? 0.0 : hue, 1.0, 1.0));
        painter.fillRect(area, across);
        QLinearGradient down(area.topLeft(), area.bottomLeft());
        down.setColorAt(0.0, QColor(0, 0, 0, 0));
        down.setColorAt(1.0, QColor(0, 0, 0, 255));
        painter.fillRect(area, down);
        const QPointF at(area.left() + saturation * (area.width() - 1), area.top() + (1.0f - value) * (area.height() - 1));
        const qreal cw = colorIndicator.width() / colorIndicator.devicePixelRatio();
        const qreal ch = colorIndicator.height() / colorIndicator.devicePixelRatio();
        painter.drawPixmap(QPointF(at.x() - cw * 0.5, at.y() - ch * 0.5), colorIndicator);
        painter.drawPixmap(QPointF(hues.center().x() - iw * 0.5, hueAt - ih * 0.5), hueIndicator);
    } else {
        painter.drawPixmap(QPointF(hueAt - iw * 0.5, hues.center().y() - ih * 0.5), hueIndicator);
    }
}

void ColorChooserWidget::pick(const QPointF& pos) {
    if (drag == kArea) {
        const QRect area = areaRect();
        saturation = clampUnit((pos.x() - area.left()) / std::max(1, area.width() - 1));
        value = clampUnit(1.0 - (pos.y() - area.top()) / std::max(1, area.height() - 1));
    } else if (drag == kHue) {
        const QRect hues = hueRect();
        hue = mode == 0 ? clampUnit((pos.y() - hues.top()) / std::max(1, hues.height() - 1))
                        : clampUnit((pos.x() - hues.left()) / std::max(1, hues.width() - 1));
        if (mode != 0) {
            saturation = 1.0f;
            value = 1.0f;
        }
    }
    showNumbers();
    update();
}

void ColorChooserWidget::mousePressEvent(QMouseEvent* event) {
    if (picking) {
        // The click that ends the eyedropper: any button, anywhere.
        picking = false;
        releaseMouse();
        if (event->button() == Qt::LeftButton) pickScreenColor(event->globalPos());
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->pos();
    if (hueRect().adjusted(-4, -4, 4, 4).contains(pos)) drag = kHue;
    else if (mode == 0 && areaRect().adjusted(-4, -4, 4, 4).contains(pos)) drag = kArea;
    else return;
    emit editingStarted(this);
    pick(event->localPos());
    emit colorChanged(this);
}

void ColorChooserWidget::mouseMoveEvent(QMouseEvent* event) {
    if (drag == kNone) return;
    pick(event->localPos());
    emit colorChanged(this);
}

void ColorChooserWidget::mouseReleaseEvent(QMouseEvent*) { drag = kNone; }

void ColorChooserWidget::numberEdited() {
    if (mode != 0) return;
    float components[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const double typed = fields[i]->text().trimmed().toDouble(&ok);
        components[i] = ok && std::isfinite(typed) ? static_cast<float>(std::clamp(typed, 0.0, 255.0)) : 0.0f;
    }
    const QColor before = currentColor();
    if (before.red() == static_cast<int>(components[0]) && before.green() == static_cast<int>(components[1]) &&
        before.blue() == static_cast<int>(components[2])) {
        showNumbers();
        return;
    }
    emit editingStarted(this);
    setColor(components[0], components[1], components[2], alpha * 255.0f);
    emit colorChanged(this);
}
