#pragma once
// VxTrayButton: the control strip's button for a button parameter. A click
// emits buttonPressed with the button itself.

#include <QPushButton>

class VxTrayButton : public QPushButton {
    Q_OBJECT
public:
    explicit VxTrayButton(QWidget* parent);
    ~VxTrayButton() override;

signals:
    void buttonPressed(QWidget* control);

public slots:
    void onClicked();
};
