#include "widgets/VxStringInputBox.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QFile>
#include <QPushButton>

namespace {
constexpr int kHeight = 48;
constexpr int kInset = 16;
constexpr int kEntryHeight = 20;
constexpr int kButtonSize = 20;
}  // namespace

VxStringInputBox::VxStringInputBox(QWidget* parent)
    : QWidget(parent), frame(new QLabel(this)), entry(new QLineEdit(this)), ellipsis(new QPushButton(this)) {
    frame->setStyleSheet(QString("background-color:transparent;") +
                         "border-image: url(:/img/generic_tool_bg.png) 40 40 40 40;" + "border-top: 20px transparent;" +
                         "border-bottom: 20px transparent;" + "border-right: 20px transparent;" +
                         "border-left: 20px transparent;");
    entry->setStyleSheet(QString("border-image: url(:/img/text_entry_bg.png) 8 8 8 8;") +
                         "border-top: 4px transparent;" + "border-bottom: 4px transparent;" +
                         "border-right: 4px transparent;" + "border-left: 4px transparent;" + "color: #ffffff;");
    connect(entry, &QLineEdit::editingFinished, this, &VxStringInputBox::textEdited);
    QPixmap dots(":/img/button_ellipsis.png");
    dots.setDevicePixelRatio(2.0);
    ellipsis->setIcon(QIcon(dots));
    ellipsis->setStyleSheet(QString("background:none;") + "border:0px;");
    ellipsis->setFocusPolicy(Qt::NoFocus);
    connect(ellipsis, &QPushButton::released, this, &VxStringInputBox::chooseFileButtonPressed);
    setControlWidth(100);
}

VxStringInputBox::~VxStringInputBox() = default;

void VxStringInputBox::setControlWidth(int width) { resize(std::max(width, 0), kHeight); }

void VxStringInputBox::setText(const GrowString& newText, bool emitSignals) {
    if (emitSignals) emit editingStarted(this);
    text_ = newText;
    entry->setText(QString::fromUtf8(text_.c_str()));
    if (emitSignals) emit stringChanged(this);
}

QString VxStringInputBox::dialogFilter() const {
    if (extensions.count == 0) return QString();
    QStringList patterns;
    for (const GrowString& extension : extensions) patterns << "*." + QString::fromUtf8(extension.c_str());
    return "Files (" + patterns.join(' ') + ")";
}

void VxStringInputBox::textEdited() {
    const QByteArray typed = entry->text().toUtf8();
    if (typed == QByteArray(text_.c_str())) return;
    setText(GrowString(typed.constData()), true);
}

void VxStringInputBox::chooseFileButtonPressed() {
    const QString chosen = QFileDialog::getOpenFileName(this, "Open File", QString(), dialogFilter());
    if (chosen.isEmpty()) return;
    setText(GrowString(QFile::encodeName(chosen).constData()), true);
}

void VxStringInputBox::resizeEvent(QResizeEvent*) {
    frame->setGeometry(0, 0, width(), height());
    const int entryWidth = std::max(0, width() - 2 * kInset - kButtonSize - 4);
    entry->setGeometry(kInset, (height() - kEntryHeight) / 2, entryWidth, kEntryHeight);
    ellipsis->setGeometry(kInset + entryWidth + 4, (height() - kButtonSize) / 2, kButtonSize, kButtonSize);
}
