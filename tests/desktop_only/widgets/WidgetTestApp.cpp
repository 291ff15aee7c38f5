#include "WidgetTestApp.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>

#include "widgets/DialogWindow.h"

void ensureWidgetTestApp() {
    static int argc = 1;
    static char name[] = "test_desktop_widgets";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    (void)app;
}

void answerNextDialog(ModalAnswer* out, bool accept, const QString* input) {
    const QString typed = input ? *input : QString();
    const bool hasInput = input != nullptr;
    // Polls from the modal loop until the dialog is up.
    auto* timer = new QTimer();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, out, accept, typed, hasInput] {
        auto* dialog = qobject_cast<DialogWindow*>(QApplication::activeModalWidget());
        if (!dialog) return;
        timer->stop();
        timer->deleteLater();
        out->seen = true;
        out->title = dialog->windowTitle();
        out->message = dialog->messageLabel->text();
        if (hasInput && dialog->inputEdit) dialog->inputEdit->setText(typed);
        if (accept) {
            dialog->okButton->click();
        } else {
            dialog->reject();
        }
    });
    timer->start();
}
