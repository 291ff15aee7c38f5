#include "widgets/VxTrayButton.h"

VxTrayButton::VxTrayButton(QWidget* parent) : QPushButton(parent) {
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(QString("QWidget {") + "border-image: url(:/img/generic_tool_bg.png) 20 20 20 20;" +
                  "border-top: 10px transparent;" + "border-bottom: 10px transparent;" +
                  "border-right: 10px transparent;" + "border-left: 10px transparent;" + "background:none;;" + "}");
    connect(this, &QPushButton::clicked, this, &VxTrayButton::onClicked);
    resize(100, 54);
}

VxTrayButton::~VxTrayButton() = default;

void VxTrayButton::onClicked() { emit buttonPressed(this); }
