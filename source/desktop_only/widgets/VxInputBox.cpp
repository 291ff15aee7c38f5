#include "widgets/VxInputBox.h"

#include <QLabel>
#include <QLineEdit>

#include <cmath>

namespace {
constexpr int kEntryHeight = 20;
constexpr int kEntryInset = 20;  // the frame's border
}  // namespace

VxInputBox::VxInputBox(QWidget* parent) : QWidget(parent), background(new QLabel(this)), entry(new QLineEdit(this)) {
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    background->setStyleSheet(QString("background-color:transparent;") +
                              "border-image: url(:/img/generic_tool_bg.png) 40 40 40 40;" +
                              "border-top: 20px transparent;" + "border-bottom: 20px transparent;" +
                              "border-right: 20px transparent;" + "border-left: 20px transparent;");
    background->setAlignment(Qt::AlignCenter);
    background->setScaledContents(true);
    entry->setStyleSheet(QString("border-image: url(:/img/text_entry_bg.png) 8 8 8 8;") +
                         "border-top: 4px transparent;" + "border-bottom: 4px transparent;" +
                         "border-right: 4px transparent;" + "border-left: 4px transparent;" + "color: #ffffff;");
    entry->setTextMargins(-2, -2, -2, -2);
    entry->setAlignment(Qt::AlignCenter);
    entry->setFixedHeight(kEntryHeight);
    connect(entry, &QLineEdit::editingFinished, this, &VxInputBox::textEdited);
    mode = 1;
    scale = 1.0f;
    setControlSize(100, background->sizeHint().height());
    setValue(false, 0.0f);
}

VxInputBox::~VxInputBox() = default;

void VxInputBox::setMode(int32_t newMode) {
    mode = newMode;
    if (newMode == 0) scale = 1000.0f;
    else if (newMode == 1) scale = 1.0f;
}

void VxInputBox::setValue(bool emitSignals, float v) {
    if (emitSignals) emit editingStarted(this);
    // Cut toward zero at the rounding scale; non-finite input keeps nothing.
    double scaled = static_cast<double>(v) * scale;
    if (!std::isfinite(scaled)) scaled = std::isnan(scaled) ? 0.0 : (scaled > 0 ? 3.0e38 : -3.0e38);
    value_ = static_cast<float>(std::trunc(scaled) / scale) + 0.0f;  // no "-0"
    entry->setText(shownText());
    if (emitSignals) emit sliderChanged(this);
}

QString VxInputBox::shownText() const { return QString::asprintf("%.0f", static_cast<double>(value_)); }

void VxInputBox::setControlSize(int width, int height) {
    resize(std::max(width, 0), std::max(height, 0));
}

void VxInputBox::resizeEvent(QResizeEvent*) {
    background->setGeometry(0, 0, width(), height());
    entry->setGeometry(kEntryInset - 4, (height() - kEntryHeight) / 2, std::max(0, width() - 2 * (kEntryInset - 4)),
                       kEntryHeight);
}

void VxInputBox::textEdited() {
    bool ok = false;
    const double typed = entry->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(typed)) {
        entry->setText(shownText());
        return;
    }
    const float next = static_cast<float>(std::fmax(-3.0e38, std::fmin(3.0e38, typed)));
    if (next == value_) return;
    setValue(true, next);
}
