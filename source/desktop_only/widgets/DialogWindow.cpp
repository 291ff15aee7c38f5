#include "widgets/DialogWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

DialogWindow::DialogWindow(const QString& title, const QString& message, const QString& okText,
                           const QString& cancelText, QWidget* parent, const QString& inputLabel,
                           GrowString* result)
    : QDialog(parent),
      messageLabel(new QLabel(message, this)),
      detailLabel(new QLabel(this)),
      okButton(new QPushButton(okText, this)),
      cancelButton(new QPushButton(cancelText, this)),
      resultString(result) {
    setWindowTitle(title);
    setModal(true);
    setMinimumWidth(kMinimumWidth);
    setStyleSheet(QStringLiteral("QDialog {background-color: #3c3c3c;}"
                                 "QLabel {color: #ffffff;}"
                                 "QLineEdit {color: #ffffff; background-color: #262626;"
                                 " border: 1px solid #5a5a5a; border-radius: 3px; padding: 3px;}"
                                 "QPushButton {color: #ffffff; background-color: #505050;"
                                 " border: 1px solid #2a2a2a; border-radius: 4px; padding: 4px 16px;}"
                                 "QPushButton:default {background-color: #5e6e82;}"
                                 "QPushButton:pressed {background-color: #3a3a3a;}"));

    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 14);
    layout->setSpacing(12);
    QLabel* titleLabel = new QLabel(title, this);
    QFont bold = titleLabel->font();
    bold.setBold(true);
    titleLabel->setFont(bold);
    layout->addWidget(titleLabel);
    messageLabel->setWordWrap(true);
    messageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(messageLabel);
    // Smaller than the message (the interface's 11 pixels): the size is set
    // by the label's own style sheet, because a style sheet that sets the
    // font, as the program's window does for every widget, overrides a font
    // given to the widget.
    detailLabel->setWordWrap(true);
    detailLabel->setStyleSheet(QStringLiteral("QLabel {color: #c8c8c8; font-size: 10px;}"));
    detailLabel->setTextFormat(Qt::PlainText);
    detailLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    detailLabel->hide();
    layout->addWidget(detailLabel);

    if (resultString) {
        QHBoxLayout* inputRow = new QHBoxLayout();
        inputCaption = new QLabel(inputLabel, this);
        inputEdit = new QLineEdit(QString::fromUtf8(resultString->c_str()), this);
        inputEdit->selectAll();
        inputRow->addWidget(inputCaption);
        inputRow->addWidget(inputEdit, 1);
        layout->addLayout(inputRow);
    }

    QHBoxLayout* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(okButton);
    layout->addLayout(buttons);
    cancelButton->setVisible(!cancelText.isEmpty());
    okButton->setVisible(!okText.isEmpty());
    okButton->setDefault(!okText.isEmpty());
    cancelButton->setAutoDefault(false);
    connect(okButton, &QPushButton::clicked, this, &DialogWindow::okPressed);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    adjustSize();
    if (inputEdit) inputEdit->setFocus();
}

DialogWindow::~DialogWindow() = default;

void DialogWindow::setDetailText(const QString& text) {
    detailLabel->setText(text);
    detailLabel->setVisible(!text.isEmpty());
    // Wider with details, so that a path and its reason mostly keep to a line.
    setMinimumWidth(text.isEmpty() ? kMinimumWidth : kDetailWidth);
    if (text.isEmpty()) {
        adjustSize();
        return;
    }
    // The wrapped labels' height follows the new width.
    resize(minimumWidth(), layout()->totalHeightForWidth(minimumWidth()));
}

void DialogWindow::okPressed() {
    if (resultString && inputEdit) resultString->assign(inputEdit->text().toUtf8().constData());
    accept();
}

int DialogWindow::execCentered() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
    }
    return exec();
}
