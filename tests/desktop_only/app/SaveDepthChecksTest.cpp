// The save flow counts a deeper photo's PNG or TIFF at the 16 bits a sample
// it gets: an output size that fits at 8 bits only is refused before
// anything is queued, with the reason, while the same size of an 8-bit photo
// goes to the queue.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

#include "desktop_only/app/MainWindow.h"
#include "desktop_only/media/MediaTestHelpers.h"
#include "desktop_only/widgets/DialogWindow.h"
#include "support/DesktopTestAccess.h"
#include "support/DesktopTestHelpers.h"
#include "support/StateGuards.h"

namespace {

GrowString native(const QString& path) { return GrowString(QFile::encodeName(path).constData()); }

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SaveDepthChecksTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        ASSERT_TRUE(folder.isValid());
        window = std::make_unique<MainWindow>("");
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        waitForWindowIdle(*window);
        window.reset();
    }

    QTemporaryDir folder;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

// Save over a TIFF through an exact output size: 1000 x 1000 with the
// working memory held to 52 bytes an output pixel (48 at 8 bits, 56 at 16),
// and a row wider than Qt's 16-bit pictures (with every image allocation
// failing, so that the 8-bit save queued fails for want of memory instead of
// drawing 33 million pixels).
TEST_F(SaveDepthChecksTest, ADeepPhotosSaveIsRefusedForWhatDoesNotFitAtSixteenBits) {
    const struct {
        const char* what;
        int width, height;
        const char* reason;
        bool memory;
    } cases[] = {
        {"memory", 1000, 1000, "1000 x 1000 pixels, needs 0.1 GB of working memory", true},
        {"width", 33554432, 1, "a 16-bit picture holds at most 33,554,431 pixels a row", false},
    };
    QImage flat(30, 20, QImage::Format_RGB888);
    flat.fill(QColor(200, 120, 40));
    for (const auto& c : cases) {
        const QString filter = folder.filePath(QString(c.what) + ".plf");
        QFile file(filter);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QString("<filter version=\"4\">\n  <mod name=\"Output Size Exact\" version=\"1\" enabled=\"1\">\n"
                           "    <var name=\"Width\" type=\"float\">%1</var>\n"
                           "    <var name=\"Height\" type=\"float\">%2</var>\n  </mod>\n</filter>\n")
                       .arg(c.width)
                       .arg(c.height)
                       .toUtf8());
        file.close();
        for (bool deep : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (deep ? ", 16-bit photo" : ", 8-bit photo"));
            const QString photo = folder.filePath(QString(c.what) + (deep ? "-deep.tif" : "-flat.tif"));
            if (deep) ASSERT_TRUE(mediatest::writeSixteenBitGradient(photo.toStdString(), 30, 20, false));
            else ASSERT_TRUE(flat.save(photo));
            ASSERT_TRUE(window->openMediaFile(photo));
            window->loadFilterIntoDocument(native(filter), true);
            waitForWindowIdle(*window);
            const QByteArray before = bytesOf(photo);

            mediatest::WorkingMemoryLimit limit(c.memory ? 1000 * 1000 * 52 : 0);
            std::optional<teststate::FailingImageAllocations> failing;
            if (!c.memory) failing.emplace();
            QStringList titles;
            QStringList messages;
            QObject guard;
            std::function<void()> answer = [&] {
                if (QWidget* modal = QApplication::activeModalWidget()) {
                    titles << modal->windowTitle();
                    if (auto* dialog = qobject_cast<DialogWindow*>(modal)) messages << dialog->messageLabel->text();
                    static_cast<QDialog*>(modal)->accept();  // the size dialog at the chain's full size
                }
                QTimer::singleShot(20, &guard, answer);
            };
            QTimer::singleShot(20, &guard, answer);
            window->saveMedia(false, false);
            ASSERT_FALSE(titles.isEmpty());
            EXPECT_EQ(titles.first(), "Save Size");
            const bool refused = titles.contains("Save Error") && messages.join('\n').contains(c.reason);
            EXPECT_EQ(refused, deep) << messages.join('\n').toStdString();
            // Queued: the memory case's 8-bit save is written over the
            // photo; the width case's fails for want of memory, and says so.
            waitForWindowIdle(*window);
            const bool failed = !deep && !c.memory;
            if (failed) {
                EXPECT_TRUE(waitUntil([&] { return messages.join('\n').contains("error processing your media"); }));
            }
            failing.reset();
            EXPECT_EQ(windowState(*window).saveQueue.hasFailed(), failed);
            EXPECT_EQ(bytesOf(photo) != before, !deep && c.memory);
        }
    }
}
