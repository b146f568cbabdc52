// The single-instance guard: safe handling of the shared lock path, and the
// real programs excluding a second start of their own model only.
#include "singleinstance.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

// Pid of the process holding a lock on the file, 0 when none (or no file).
qint64 lockHolder(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    const bool ok = ::fcntl(fd, F_GETLK, &fl) == 0;
    ::close(fd);
    return ok && fl.l_type != F_UNLCK ? fl.l_pid : 0;
}

// Removes on destruction a file that did not exist on construction.
class RemoveIfNew
{
  public:
    explicit RemoveIfNew(const QString &file) : path(file), existed(QFileInfo::exists(file)) {}
    ~RemoveIfNew()
    {
        if (!existed)
            QFile::remove(path);
    }

  private:
    QString path;
    bool existed;
};

// A monitor program started on an offscreen display with its own printers root.
class Monitor
{
  public:
    Monitor(const QString &program, const QString &root)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KOLVEX_PRINTERS_ROOT", root);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, QStringList());
    }
    ~Monitor()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    }
    QProcess process;
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void createsAWorldWritableLockFile();
    void givesItsOwnExistingFileTheSharedMode();
    void refusesASymbolicLinkAtTheLockPath();
    void neverCreatesTheTargetOfADanglingLink();
    void refusesAFifoWithoutBlocking();
    void usbAndNetworkMonitorsRunSideBySideAndRefuseASecondStart();

  private:
    std::unique_ptr<QTemporaryDir> tmp;
};

void TestSingleInstance::init()
{
    tmp.reset(new QTemporaryDir);
    QVERIFY(tmp->isValid());
}

void TestSingleInstance::createsAWorldWritableLockFile()
{
    const QString path = tmp->filePath("lockfile_r88");
    const mode_t oldMask = ::umask(022);
    const bool held = checkOnly(path);
    ::umask(oldMask);
    QVERIFY(held);
    QVERIFY(S_ISREG(modeOf(path)));
    QCOMPARE(modeOf(path) & 07777, mode_t(0777));
    QCOMPARE(lockHolder(path), qint64(0)); // our own lock does not show to ourselves
}

void TestSingleInstance::givesItsOwnExistingFileTheSharedMode()
{
    const QString path = tmp->filePath("lockfile_r88n");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0600) == 0);
    QVERIFY(checkOnly(path));
    QCOMPARE(modeOf(path) & 07777, mode_t(0777));
}

void TestSingleInstance::refusesASymbolicLinkAtTheLockPath()
{
    const QString target = tmp->filePath("precious");
    QFile f(target);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep");
    f.close();
    QVERIFY(::chmod(QFile::encodeName(target).constData(), 0600) == 0);
    const QString path = tmp->filePath("lockfile_r88");
    QVERIFY(QFile::link(target, path));

    QTest::ignoreMessage(QtDebugMsg, "open lockfile");
    QVERIFY(!checkOnly(path));
    QCOMPARE(modeOf(target) & 07777, mode_t(0600));
    QVERIFY(S_ISLNK(modeOf(path)));
}

void TestSingleInstance::neverCreatesTheTargetOfADanglingLink()
{
    const QString target = tmp->filePath("planted");
    const QString path = tmp->filePath("lockfile_r88");
    QVERIFY(QFile::link(target, path));

    QTest::ignoreMessage(QtDebugMsg, "open lockfile");
    QVERIFY(!checkOnly(path));
    QVERIFY(!QFile::exists(target));
}

void TestSingleInstance::refusesAFifoWithoutBlocking()
{
    const QString path = tmp->filePath("lockfile_r88");
    QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0666) == 0);
    QTest::ignoreMessage(QtDebugMsg, "open lockfile");
    QVERIFY(!checkOnly(path));
}

void TestSingleInstance::usbAndNetworkMonitorsRunSideBySideAndRefuseASecondStart()
{
    const QString usbLock = "/tmp/lockfile_r88";
    const QString netLock = "/tmp/lockfile_r88n";
    if (lockHolder(usbLock) || lockHolder(netLock))
        QSKIP("a status monitor is already running on this machine");
    // Leave /tmp as it was found, whatever the outcome.
    RemoveIfNew usbCleanup(usbLock);
    RemoveIfNew netCleanup(netLock);
    const QString root = tmp->path();
    for (const char *model : {"LR880", "LR880N"})
        QVERIFY(QDir().mkpath(root + "/" + model + "/control"));

    {
        Monitor usb(STATUSMON_PATH, root);
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(usbLock), usb.process.processId(), 10000);
        QCOMPARE(modeOf(usbLock) & 07777, mode_t(0777));

        Monitor secondUsb(STATUSMON_PATH, root);
        QVERIFY(secondUsb.process.waitForFinished(10000));
        QCOMPARE(secondUsb.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(secondUsb.process.exitCode(), 0);
        QVERIFY(secondUsb.process.readAll().contains("open file error"));

        // The network model's monitor has its own lock and runs beside it.
        Monitor net(STATUSMON_NET_PATH, root);
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(netLock), net.process.processId(), 10000);
        QCOMPARE(modeOf(netLock) & 07777, mode_t(0777));
        QCOMPARE(usb.process.state(), QProcess::Running);

        Monitor secondNet(STATUSMON_NET_PATH, root);
        QVERIFY(secondNet.process.waitForFinished(10000));
        QCOMPARE(secondNet.process.exitCode(), 0);
        QCOMPARE(net.process.state(), QProcess::Running);
        QCOMPARE(usb.process.state(), QProcess::Running);
    }
}

QTEST_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
