#pragma once
// VxStringInputBox: the control strip's file-name box for a file parameter:
// a framed line edit and an ellipsis button opening an "Open File" dialog
// for the box's file extensions. A change emits editingStarted before and
// stringChanged after it, each with the box itself.

#include <QWidget>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

class QLabel;
class QLineEdit;
class QPushButton;

class VxStringInputBox : public QWidget {
    Q_OBJECT
public:
    explicit VxStringInputBox(QWidget* parent);
    ~VxStringInputBox() override;

    const GrowString& text() const { return text_; }
    // The file extensions the open dialog offers.
    void setExtensions(const GrowArray<GrowString>& list) { extensions = list; }

    void setControlWidth(int width);
    // Sets the text; with emitSignals as a user's change.
    void setText(const GrowString& newText, bool emitSignals);
    // The name filter of the open dialog for the extensions.
    QString dialogFilter() const;

signals:
    void editingStarted(QWidget* control);
    void stringChanged(QWidget* control);

public slots:
    void textEdited();
    void chooseFileButtonPressed();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    GrowArray<GrowString> extensions;
    GrowString text_;
    QLabel* frame;
    QLineEdit* entry;
    QPushButton* ellipsis;
};
