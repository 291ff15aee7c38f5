// MainWindow: following the processing queues. A 500 ms timer shows the
// progress label, the cancel button and the render queue rows while a save
// or batch runs, and reports a failed run once the queues are idle; the
// user can cancel a row's job or stop the whole queue.

#include <QLabel>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <thread>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxRenderQueueWidget.h"
#include "desktop_only/widgets/VxRenderQueueWindow.h"
#include "framework/FilterFile.h"

namespace {

// The details beneath the "Processing Error" message: "file: reason" for
// the first three failed jobs, one a line, then "and N more".
QString failureDetails(const GrowArray<JobFailure>& failures) {
    constexpr int32_t kShown = 3;
    QStringList lines;
    for (int32_t i = 0; i < failures.count && i < kShown; ++i)
        lines << failureLine(failures[i].file, failures[i].reason);
    if (failures.count > kShown) lines << QString("and %1 more").arg(failures.count - kShown);
    return lines.join('\n');
}

}  // namespace

QString failureLine(const GrowString& file, const GrowString& reason) {
    return QString::fromUtf8(printableName(file).c_str()) + ": " + QString::fromUtf8(reason.c_str());
}

void MainWindow::processingInfoTimerFired() {
    const bool secondBusy = d->secondQueue.isBusy();
    const bool busy = d->saveQueue.isBusy() || secondBusy;
    if (busy) {
        if (d->cancelProcessingButton && d->cancelProcessingButton->isHidden()) {
            d->cancelProcessingButton->setDown(false);
            d->cancelProcessingButton->show();
        }
        if (d->processingInfoLabel) d->processingInfoLabel->show();
        // The waiting rows and the progress text first, so that the label
        // names the job being processed now rather than on the last tick.
        d->saveQueue.refreshProgress();
        if (d->processingInfoLabel) {
            const GrowString text = secondBusy ? d->secondQueue.statusText() : d->saveQueue.statusText();
            d->processingInfoLabel->setText(QString::fromUtf8(text.c_str()));
        }
        GrowArray<GrowString> names;
        GrowArray<int32_t> ids;
        d->saveQueue.waitingRows(names, ids);
        if (names.count > 0) names[0] = d->saveQueue.statusText();
        if (d->renderQueueWindow) d->renderQueueWindow->queueWidget->setItems(names, ids);
        return;
    }

    // Idle: hide and stop first, so that ticks cannot arrive while the
    // message below runs its own event loop and open it again.
    d->processingInfoTimer->stop();
    if (d->cancelProcessingButton && d->cancelProcessingButton->isVisible()) {
        d->cancelProcessingButton->setDown(false);
        d->cancelProcessingButton->hide();
    }
    if (d->processingInfoLabel) {
        d->processingInfoLabel->hide();
        d->processingInfoLabel->setText(QString());
    }
    if (d->renderQueueWindow)
        d->renderQueueWindow->queueWidget->setItems(GrowArray<GrowString>(), GrowArray<int32_t>());
    if (!d->saveQueue.hasFailed() && !d->secondQueue.hasFailed()) return;
    GrowArray<JobFailure> failures = d->saveQueue.failureList();
    for (const JobFailure& failure : d->secondQueue.failureList()) failures.append(failure);
    showMessageDialog(this, QStringLiteral("Processing Error"),
                      QStringLiteral("There was an error processing your media. You may need to try another "
                                     "location, format, size, or quality setting."),
                      QStringLiteral("OK"), QString(), QString(), failureDetails(failures));
}

void MainWindow::previewProcessorTimerFired() {
    if (!d->secondQueue.isBusy()) d->previewProcessorTimer->stop();
}

void MainWindow::cancelRenderQueueItem(int id) {
    // Rows carry job ids: a row older than the last job change finds its
    // own job or nothing, never a neighbour.
    if (d->saveQueue.cancelJob(id)) d->saveQueue.refreshProgress();
}

void MainWindow::cancelProcessingButtonPressed() {
    if (d->secondQueue.isBusy()) {
        d->secondQueue.stopAfterCurrentJob();
        return;
    }
    const int answer = showMessageDialog(this, QStringLiteral("Cancel Processing"),
                                         QStringLiteral("Do you want to cancel all items currently in the "
                                                        "processing queue?"),
                                         QStringLiteral("Yes"), QStringLiteral("No"), QString());
    // Sets the stop only while the queue is busy: an answer given after the
    // queue ran dry cannot stop the next run.
    if (answer == 1) d->saveQueue.stopAfterCurrentJob();
}

void MainWindow::previewVideoButtonPressed() {
    std::printf("preview video button pressed\n");
    std::fflush(stdout);
    if (!d->secondQueue.isBusy()) return;
    d->secondQueue.stopAfterCurrentJob();
    while (d->secondQueue.isBusy()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}
