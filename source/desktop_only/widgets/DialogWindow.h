#pragma once
// DialogWindow: the program's modal message dialog: a title, a message, an
// optional input row and up to two buttons. An empty button text hides that
// button; without a result string no input row is shown. exec() gives 1 for
// OK and 0 for Cancel or closing. When OK is pressed the input text (UTF-8)
// is written into the result string; it also starts as the input's text.
// Beneath the message a second, smaller label may give details (hidden
// until setDetailText gives it text).

#include <QDialog>

#include "foundation/GrowString.h"

class QLabel;
class QLineEdit;
class QPushButton;

class DialogWindow : public QDialog {
    Q_OBJECT
public:
    DialogWindow(const QString& title, const QString& message, const QString& okText, const QString& cancelText,
                 QWidget* parent, const QString& inputLabel, GrowString* result);
    ~DialogWindow() override;

    // Centres the dialog on the available area of the default screen and runs
    // it modally; returns exec()'s result.
    int execCentered();

    // Shows `text` beneath the message in the smaller detail label; an
    // empty text hides it.
    void setDetailText(const QString& text);

    QLabel* messageLabel;
    QLabel* detailLabel;             // hidden while it has no text
    QLabel* inputCaption = nullptr;  // null without an input row
    QLineEdit* inputEdit = nullptr;  // null without an input row
    QPushButton* okButton;
    QPushButton* cancelButton;

    static constexpr int kMinimumWidth = 360;
    static constexpr int kDetailWidth = 600;  // the minimum width while details are shown

private slots:
    void okPressed();

private:
    GrowString* resultString;
};
