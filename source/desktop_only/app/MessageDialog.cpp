// showMessageDialog: the one modal message of the program.

#include <QApplication>
#include <QDesktopWidget>
#include <QStyle>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/widgets/DialogWindow.h"

int showMessageDialog(QWidget* parent, const QString& title, const QString& text, const QString& okText,
                      const QString& cancelText, const QString& inputLabel) {
    DialogWindow dialog(title, text, okText, cancelText, parent, inputLabel, nullptr);
    const QSize size = dialog.geometry().size();
    const QRect available = QApplication::desktop()->availableGeometry(-1);
    dialog.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
    return dialog.exec();
}
