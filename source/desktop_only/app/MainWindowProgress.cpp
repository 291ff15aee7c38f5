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

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/widgets/VxPushButton.h"
#include "desktop_only/widgets/VxRenderQueueWidget.h"
#include "desktop_only/widgets/VxRenderQueueWindow.h"
#include "foundation/Mutex.h"
#include "framework/FilterFile.h"

namespace {

// The details beneath the "Processing Error" message: "file: reason" for
// the first three failed jobs, one a line, then "and N more".
QString failureDetails(const GrowArray<JobFailure>& failures) {
    constexpr int32_t kShown = 3;
    QStringList lines;
    for (int32_t i = 0; i < failures.count && i < kShown; ++i)
        lines << QString::fromUtf8(printableName(failures[i].file).c_str()) + ": " +
                     QString::fromUtf8(failures[i].reason.c_str());
    if (failures.count > kShown) lines << QString("and %1 more").arg(failures.count - kShown);
    return lines.join('\n');
}

}  // namespace

void MainWindow::processingInfoTimerFired() {
    const bool secondBusy = secondQueue.isBusy();
    const bool busy = saveQueue.isBusy() || secondBusy;
    if (busy) {
        if (cancelProcessingButton && cancelProcessingButton->isHidden()) {
            cancelProcessingButton->setDown(false);
            cancelProcessingButton->show();
        }
        if (processingInfoLabel) processingInfoLabel->show();
        // The waiting rows and the progress text first, so that the label
        // names the job being processed now rather than on the last tick.
        saveQueue.refreshProgress();
        if (processingInfoLabel) {
            const GrowString text = secondBusy ? secondQueue.statusText() : saveQueue.statusText();
            processingInfoLabel->setText(QString::fromUtf8(text.c_str()));
        }
        GrowArray<GrowString> names;
        GrowArray<int32_t> ids;
        {
            MutexLocker status(saveQueue.statusLock.get());
            names = saveQueue.waitingNames;
            ids = saveQueue.waitingIds;
        }
        if (names.count > 0) names[0] = saveQueue.statusText();
        if (renderQueueWindow) renderQueueWindow->queueWidget->setItems(names, ids);
        return;
    }

    // Idle: hide and stop first, so that ticks cannot arrive while the
    // message below runs its own event loop and open it again.
    processingInfoTimer->stop();
    if (cancelProcessingButton && cancelProcessingButton->isVisible()) {
        cancelProcessingButton->setDown(false);
        cancelProcessingButton->hide();
    }
    if (processingInfoLabel) {
        processingInfoLabel->hide();
        processingInfoLabel->setText(QString());
    }
    if (renderQueueWindow) renderQueueWindow->queueWidget->setItems(GrowArray<GrowString>(), GrowArray<int32_t>());
    bool failed = false;
    {
        MutexLocker status(saveQueue.statusLock.get());
        failed = saveQueue.errorFlag == 1;
    }
    {
        MutexLocker status(secondQueue.statusLock.get());
        failed = failed || secondQueue.errorFlag == 1;
    }
    if (!failed) return;
    GrowArray<JobFailure> failures = saveQueue.failureList();
    for (const JobFailure& failure : secondQueue.failureList()) failures.append(failure);
    showMessageDialog(this, QStringLiteral("Processing Error"),
                      QStringLiteral("There was an error processing your media. You may need to try another "
                                     "location, format, size, or quality setting."),
                      QStringLiteral("OK"), QString(), QString(), failureDetails(failures));
}

void MainWindow::previewProcessorTimerFired() {
    if (!secondQueue.isBusy()) previewProcessorTimer->stop();
}

void MainWindow::cancelRenderQueueItem(int id) {
    // Rows carry job ids: a row older than the last job change finds its
    // own job or nothing, never a neighbour.
    if (saveQueue.cancelJob(id)) saveQueue.refreshProgress();
}

void MainWindow::cancelProcessingButtonPressed() {
    if (secondQueue.isBusy()) {
        secondQueue.stopAfterCurrentJob();
        return;
    }
    const int answer = showMessageDialog(this, QStringLiteral("Cancel Processing"),
                                         QStringLiteral("Do you want to cancel all items currently in the "
                                                        "processing queue?"),
                                         QStringLiteral("Yes"), QStringLiteral("No"), QString());
    // Sets the stop only while the queue is busy: an answer given after the
    // queue ran dry cannot stop the next run.
    if (answer == 1) saveQueue.stopAfterCurrentJob();
}

void MainWindow::previewVideoButtonPressed() {
    std::printf("preview video button pressed\n");
    std::fflush(stdout);
    if (!secondQueue.isBusy()) return;
    secondQueue.stopAfterCurrentJob();
    while (secondQueue.isBusy()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}
