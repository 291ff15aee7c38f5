#pragma once
// The application object the widget tests need: one QApplication on the
// offscreen platform, made on first use and kept for the whole run.
#include <QString>
#include <functional>

class QWidget;

void ensureWidgetTestApp();
// Runs answer(dialog) on the next modal dialog that opens, from inside its
// event loop, and remembers the dialog's window title and message.
struct ModalAnswer {
    QString title;
    QString message;
    bool seen = false;
};
// Arms a one-shot watcher: when a modal DialogWindow is shown, records it
// into out and closes it with accept (true) or reject (false); input, when
// not null, is typed into its input row first.
void answerNextDialog(ModalAnswer* out, bool accept, const QString* input = nullptr);
