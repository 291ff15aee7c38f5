// Revealing a file through the file manager's ShowItems call, on a private
// session bus: the path travels as data, whatever characters it holds.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include "desktop_only/app/DesktopServices.h"
#include "support/DesktopTestHelpers.h"

namespace {

// A stand-in file manager: records the items of each ShowItems call.
class FakeFileManager : public QDBusVirtualObject {
public:
    QMutex lock;
    QStringList items;
    int calls = 0;
    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != "ShowItems" || message.arguments().size() != 2) return false;
        {
            QMutexLocker guard(&lock);
            ++calls;
            items = message.arguments()[0].toStringList();
        }
        connection.send(message.createReply());
        return true;
    }
};

}  // namespace

TEST(RevealOverDBus, ShowItemsCarriesThePathAsData) {
    ensureTestApplication();
    const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
    ASSERT_FALSE(daemon.isEmpty()) << "dbus-daemon is not installed (scripts/setup.sh installs it)";
    QProcess bus;
    bus.start(daemon, {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(bus.waitForStarted(5000));
    ASSERT_TRUE(bus.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());

    // The service answers on a thread of its own while the caller waits.
    QThread serviceThread;
    serviceThread.start();
    FakeFileManager manager;
    manager.moveToThread(&serviceThread);
    QDBusConnection service = QDBusConnection::connectToBus(address, "fake-file-manager");
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerVirtualObject("/org/freedesktop/FileManager1", &manager));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));

    QTemporaryDir dir;
    const QString odd = dir.path() + "/a \"quoted\" #1 ?x %20 'name'.png";
    QFile file(odd);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QList<QUrl> opened;
    setDesktopUrlHandler([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    setFileManagerCallsEnabled(true);
    EXPECT_TRUE(revealFileInBrowser(odd));
    setDesktopUrlHandler(nullptr);

    {
        QMutexLocker guard(&manager.lock);
        EXPECT_EQ(manager.calls, 1);
        ASSERT_EQ(manager.items.size(), 1);
        EXPECT_EQ(QUrl(manager.items[0]).toLocalFile(), odd);
    }
    EXPECT_TRUE(opened.isEmpty());  // no fallback when the file manager answered

    service.unregisterService("org.freedesktop.FileManager1");
    service.unregisterObject("/org/freedesktop/FileManager1");
    QDBusConnection::disconnectFromBus("fake-file-manager");
    serviceThread.quit();
    serviceThread.wait();
    bus.kill();
    bus.waitForFinished(5000);
}
