// Load Next and Load Previous past files that cannot be read, and the
// loader's reason beneath "Can't Load File", on the real window offscreen.

#include <QBuffer>
#include <QFileInfo>
#include <QImage>

#include "PanelTestSupport.h"
#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "desktop_only/widgets/DialogWindow.h"

namespace {

// Answers every "Can't Load File" while it lives, recording the detail
// line of each.
struct CantLoadAnswerer {
    QStringList details;
    QString message;
    std::unique_ptr<QObject> guard = std::make_unique<QObject>();
    void arm() {
        QTimer::singleShot(20, guard.get(), [this] {
            if (auto* dialog = qobject_cast<DialogWindow*>(QApplication::activeModalWidget())) {
                EXPECT_EQ(dialog->windowTitle(), "Can't Load File");
                message = dialog->messageLabel->text();
                details << (dialog->detailLabel->isVisibleTo(dialog) ? dialog->detailLabel->text() : QString());
                dialog->accept();
            }
            arm();
        });
    }
};

// The detail line the window should show for path: its name and the
// loader's own reason.
QString expectedDetail(const QString& path) {
    DesktopImageLoaderSaver loader;
    ImageBuffer image;
    GrowString reason;
    EXPECT_FALSE(loader.loadFloatKeepingAlpha(GrowString(QFile::encodeName(path).constData()), &image, true,
                                              nullptr, &reason));
    return QFileInfo(path).fileName() + ": " + QString::fromUtf8(reason.c_str());
}

}  // namespace

// a, b, c, d read; bb and bc are text. A step in the same direction after a
// failure goes on from the failed file; a step the other way starts from
// the photo shown; a walk that comes round to the photo shown leaves it as
// it is; any other open starts the walk afresh.
TEST_F(PanelWindowTest, LoadNextGoesOnPastUnreadableFiles) {
    struct Step {
        char key;            // '>' Load Next, '<' Load Previous, 'o' open `file`
        const char* file;    // the file that fails, or the one 'o' opens; "" for none
        const char* shown;   // the file shown afterwards
    };
    struct Walk {
        const char* unreadable;  // the folder's text files; the others of a..d are photos
        const char* start;
        std::vector<Step> steps;
    } walks[] = {
        {"bb bc", "b", {{'>', "bb", "b"}, {'>', "bc", "b"}, {'>', "", "c"}, {'<', "bc", "c"}, {'<', "bb", "c"},
                        {'<', "", "b"}}},
        {"bb bc", "b", {{'>', "bb", "b"}, {'>', "bc", "b"}, {'<', "", "a"}}},
        {"bb bc", "b", {{'>', "bb", "b"}, {'o', "d", "d"}, {'>', "", "a"}}},
        {"a c d", "b", {{'<', "a", "b"}, {'<', "d", "b"}, {'<', "c", "b"}, {'<', "", "b"}, {'<', "a", "b"}}},
    };
    int index = 0;
    for (const Walk& walk : walks) {
        SCOPED_TRACE(index);
        const QString dir = folder.path() + QString("/walk%1").arg(index++);
        ASSERT_TRUE(QDir().mkpath(dir));
        const QStringList unreadable = QString(walk.unreadable).split(' ');
        for (const char* name : {"a", "b", "bb", "bc", "c", "d"}) {
            const QString path = dir + "/" + name + ".png";
            if (!unreadable.contains(name)) {
                if (QString(name).size() == 1) {
                    ASSERT_TRUE(QFile::copy(photo, path));
                }
                continue;
            }
            QFile text(path);
            ASSERT_TRUE(text.open(QIODevice::WriteOnly));
            text.write("not a photo");
        }
        ASSERT_TRUE(window->openMediaFile(dir + "/" + walk.start + ".png"));
        auto shown = [this] {
            return QFileInfo(QFile::decodeName(window->current()->name.c_str())).completeBaseName();
        };
        for (const Step& step : walk.steps) {
            SCOPED_TRACE(std::string(1, step.key) + step.file);
            const ImageBuffer* before = view()->sharedSource().get();
            const QString shownBefore = shown();
            CantLoadAnswerer answerer;
            answerer.arm();
            if (step.key == 'o') ASSERT_TRUE(window->openMediaFile(dir + "/" + step.file + ".png"));
            else trigger(step.key == '>' ? "Load Next" : "Load Previous");
            const bool failed = step.key != 'o' && *step.file;
            ASSERT_EQ(answerer.details.size(), failed ? 1 : 0);
            if (failed) {
                EXPECT_EQ(answerer.details[0], expectedDetail(dir + "/" + step.file + ".png"));
            }
            EXPECT_EQ(shown(), step.shown);
            // A photo that stays shown is not read again.
            if (shownBefore == step.shown) {
                EXPECT_EQ(view()->sharedSource().get(), before);
            }
        }
    }
}

// Every kind of failure keeps the message and adds the loader's reason.
TEST_F(PanelWindowTest, CantLoadFileGivesTheLoadersReason) {
    const QString empty = folder.path() + "/empty.jpg", cut = folder.path() + "/cut.png";
    QFile(empty).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::copy(photo, cut));
    QFile(cut).resize(60);
    // A JPEG cut at half with its end marker put back: its rows past the cut
    // would come out grey.
    const QString ended = folder.path() + "/ended.jpg";
    {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && QImage(photo).save(&buffer, "JPEG", 90));
        QFile file(ended);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(jpeg.left(jpeg.size() / 2) + QByteArray("\xff\xd9", 2));
    }
    for (const QString& path : {empty, cut, ended, folder.path() + "/missing.png", folder.path()}) {
        SCOPED_TRACE(path.toStdString());
        CantLoadAnswerer answerer;
        answerer.arm();
        EXPECT_FALSE(window->openMediaFile(path));
        ASSERT_EQ(answerer.details.size(), 1);
        EXPECT_EQ(answerer.message, QString("The file \"%1\" could not be opened as an image.").arg(path));
        EXPECT_EQ(answerer.details[0], expectedDetail(path));
    }
    EXPECT_EQ(expectedDetail(ended), "ended.jpg: the JPEG file is damaged or cut short");
}
