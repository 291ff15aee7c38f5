#include "widgets/VxListChooser.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace {
QString toolStyle() {
    return QString("QWidget {") + "border-image: url(:/img/generic_tool_bg.png) 20 20 20 20;" +
                           "border-top: 10px transparent;" + "border-bottom: 10px transparent;" +
                           "border-right: 10px transparent;" + "border-left: 10px transparent;" +
                           "background:none;;" + "}";
}
constexpr int kArrowSize = 10;
}  // namespace

// ---- The list ----

VxListChooserList::VxListChooserList(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QString("border-image: url(:/img/traylistbg.png) 20 20 20 20;") + "border-top: 10px transparent;" +
                  "border-bottom: 10px transparent;" + "border-right: 10px transparent;" +
                  "border-left: 10px transparent;");
    hide();
}

VxListChooserList::~VxListChooserList() = default;

void VxListChooserList::setChoices(const GrowArray<GrowString>& texts) {
    choices = texts;
    highlighted_ = -1;
    resize(width(), 16 + kRowHeight * choices.count);
    update();
}

int32_t VxListChooserList::rowAt(const QPoint& pos) const {
    if (pos.x() < 0 || pos.x() >= width() || pos.y() < kTopInset) return -1;
    const int32_t row = (pos.y() - kTopInset) / kRowHeight;
    return row < choices.count ? row : -1;
}

void VxListChooserList::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    for (int32_t i = 0; i < choices.count; ++i) {
        const QRect row(6, kTopInset + kRowHeight * i, width() - 12, kRowHeight);
        if (i == highlighted_) painter.fillRect(row, QColor(86, 158, 230, 160));
        painter.setPen(QColor(255, 255, 255));
        painter.drawText(row.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromUtf8(choices[i].c_str()));
    }
}

void VxListChooserList::mouseMoveEvent(QMouseEvent* event) {
    const int32_t row = rowAt(event->pos());
    if (row == highlighted_) return;
    highlighted_ = row;
    update();
    emit hoverItemChanged(row);
}

void VxListChooserList::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    emit itemChosen(rowAt(event->pos()));
}

void VxListChooserList::leaveEvent(QEvent*) {
    if (highlighted_ == -1) return;
    highlighted_ = -1;
    update();
    emit hoverItemChanged(-1);
}

// ---- The chooser ----

VxListChooser::VxListChooser(QWidget* parent) : VxPushButton(parent), arrow(new QLabel(this)) {
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(toolStyle());
    list_ = new VxListChooserList(parent);
    list_->resize(130, 16);
    arrow->setStyleSheet(QString("QLabel {") + "border-image: none;" + "}");
    QPixmap arrowPixmap(":/img/list_chooser_arrow.png");
    arrowPixmap.setDevicePixelRatio(2.0);
    arrow->setPixmap(arrowPixmap);
    arrow->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(this, &QPushButton::released, this, &VxListChooser::mainButtonPressed);
    connect(list_.data(), &VxListChooserList::itemChosen, this, &VxListChooser::itemChosenFromList);
    connect(list_.data(), &VxListChooserList::hoverItemChanged, this, &VxListChooser::itemHoveredFromList);
    resize(130, 20);
}

VxListChooser::~VxListChooser() {
    // The list is a sibling; it goes with its chooser.
    if (list_) {
        list_->disconnect(this);
        delete list_.data();
    }
}

void VxListChooser::setChoices(const GrowArray<GrowString>& texts) {
    choices_ = texts;
    if (list_) list_->setChoices(texts);
    placeList();
}

void VxListChooser::updateText() {
    if (currentIndex_ >= 0 && currentIndex_ < choices_.count)
        setText(QString::fromUtf8(choices_[currentIndex_].c_str()));
    else setText(QString());
}

void VxListChooser::setCurrentIndex(int32_t index) {
    currentIndex_ = index;
    updateText();
}

void VxListChooser::closeList() {
    if (list_) list_->hide();
}

bool VxListChooser::listVisible() const { return list_ && list_->isVisible(); }

int VxListChooser::listHeight() const { return list_ ? list_->height() : 0; }

void VxListChooser::placeList() {
    if (!list_) return;
    // The list opens upwards: the strip lies at the bottom of the window.
    list_->move(x(), y() - list_->height());
}

void VxListChooser::mainButtonPressed() {
    if (!list_) return;
    list_->resetHighlight();
    hoveredIndex_ = -1;
    if (list_->isVisible()) {
        list_->hide();
    } else {
        placeList();
        list_->raise();
        list_->show();
    }
    emit listToggled(this);
}

void VxListChooser::itemHoveredFromList(int index) {
    const bool entry = index >= 0 && index < choices_.count;
    if (entry && hoveredIndex_ == -1) emit itemAboutToChange(this);
    hoveredIndex_ = entry ? index : currentIndex_;
    if (hoverPreview) emit itemHovered(this);
}

void VxListChooser::itemChosenFromList(int index) {
    if (index >= 0 && index < choices_.count) currentIndex_ = index;
    hoveredIndex_ = -1;
    if (list_) list_->hide();
    updateText();
    emit itemChanged(this);
    emit listToggled(this);
}

void VxListChooser::resizeEvent(QResizeEvent* event) {
    VxPushButton::resizeEvent(event);
    arrow->setGeometry(width() - kArrowSize - 10, (height() - kArrowSize) / 2, kArrowSize, kArrowSize);
    placeList();
}

void VxListChooser::moveEvent(QMoveEvent* event) {
    VxPushButton::moveEvent(event);
    placeList();
}

void VxListChooser::hideEvent(QHideEvent* event) {
    VxPushButton::hideEvent(event);
    if (list_) list_->hide();
}
