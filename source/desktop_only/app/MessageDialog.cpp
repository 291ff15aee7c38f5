// showMessageDialog: the one modal message of the program.

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/widgets/DialogWindow.h"

// The dialog is centred on the available area of the default screen (the
// primary one), wherever the parent window lies.
int showMessageDialog(QWidget* parent, const QString& title, const QString& text, const QString& okText,
                      const QString& cancelText, const QString& inputLabel, const QString& detail) {
    DialogWindow dialog(title, text, okText, cancelText, parent, inputLabel, nullptr);
    if (!detail.isEmpty()) dialog.setDetailText(detail);
    const QSize size = dialog.geometry().size();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen)
        dialog.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, screen->availableGeometry()));
    return dialog.exec();
}
