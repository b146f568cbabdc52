#include "private_cupsd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace setuptool
{
namespace testing
{

namespace
{

const char *const kCupsd = "/usr/sbin/cupsd";
const char *const kRestart = "service cups restart";

// A minimal PPD for the queue LR880N: one page size, no filters (the queue
// is never printed to here), no SNMP supply query.
const char *const kMinimalPpd = R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "LR880N.PPD"
*Manufacturer: "Kolvex"
*Product: "(LR880N)"
*ModelName: "Kolvex LR880N"
*ShortNickName: "Kolvex LR880N"
*NickName: "Kolvex LR880N (test)"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "20"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsSNMPSupplies: False
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "12 12 583 830"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
)PPD";

// A loopback port that nothing listens on right now.
int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

void pause(int milliseconds)
{
    timespec delay{0, milliseconds * 1000000L};
    nanosleep(&delay, nullptr);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

} // namespace

PrivateCupsd::PrivateCupsd() = default;

PrivateCupsd::~PrivateCupsd()
{
    stop();
}

QString PrivateCupsd::serverName() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QProcessEnvironment PrivateCupsd::clientEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), serverName());
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    return env;
}

QString PrivateCupsd::runClient(const QString &program, const QStringList &arguments,
                                int *status) const
{
    QProcess process;
    process.setProcessEnvironment(clientEnvironment());
    process.start(program, arguments);
    const bool done = process.waitForFinished(30000);
    if (status)
        *status = (done && process.exitStatus() == QProcess::NormalExit) ? process.exitCode() : -1;
    if (!done)
        process.kill();
    return QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
}

QString PrivateCupsd::log() const
{
    QFile file(dir_.filePath(QStringLiteral("log/error_log")));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.readAll().right(8000));
}

bool PrivateCupsd::writeConfiguration()
{
    const QDir dir(dir_.path());
    for (const char *sub : {"state", "cache", "spool", "spool/tmp", "log", "bin", "bin/filter",
                            "share", "share/model", "ppd"}) {
        if (!dir.mkpath(QString::fromLatin1(sub))) {
            error_ = QStringLiteral("cannot create %1").arg(QString::fromLatin1(sub));
            return false;
        }
    }
    // The scheduler runs its helpers (cups-driverd reading the PPD) as an
    // unprivileged user: the folder must be readable for it.
    for (const QString &path : {dir.path(), dir.filePath(QStringLiteral("share")),
                                dir.filePath(QStringLiteral("share/model"))})
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                        QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                        QFile::ExeOther);

    // ServerBin: the system's backends and helpers; DataDir: the system's
    // data with a model folder of our own that holds only LR880N.ppd.
    for (const char *sub : {"backend", "cgi-bin", "daemon", "monitor", "notifier", "driver"})
        QFile::link(QStringLiteral("/usr/lib/cups/%1").arg(QString::fromLatin1(sub)),
                    dir.filePath(QStringLiteral("bin/%1").arg(QString::fromLatin1(sub))));
    const QStringList shared =
        QDir(QStringLiteral("/usr/share/cups")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QString &entry : shared)
        if (entry != QLatin1String("model"))
            QFile::link(QStringLiteral("/usr/share/cups/") + entry,
                        dir.filePath(QStringLiteral("share/") + entry));
    const QString ppd = dir.filePath(QStringLiteral("share/model/LR880N.ppd"));
    if (!writeFile(ppd, kMinimalPpd)) {
        error_ = QStringLiteral("cannot write ") + ppd;
        return false;
    }
    QFile::setPermissions(ppd, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                   QFile::ReadOther);

    QString userLines;
    if (::geteuid() != 0) {
        const passwd *user = ::getpwuid(::geteuid());
        const group *grp = ::getgrgid(::getegid());
        if (user && grp)
            userLines = QStringLiteral("User %1\nGroup %2\nSystemGroup %2\n")
                            .arg(QString::fromLocal8Bit(user->pw_name),
                                 QString::fromLocal8Bit(grp->gr_name));
    }
    const QString files = QStringLiteral("ServerRoot %1\n"
                                         "StateDir %1/state\n"
                                         "CacheDir %1/cache\n"
                                         "RequestRoot %1/spool\n"
                                         "TempDir %1/spool/tmp\n"
                                         "AccessLog %1/log/access_log\n"
                                         "ErrorLog %1/log/error_log\n"
                                         "PageLog %1/log/page_log\n"
                                         "ServerBin %1/bin\n"
                                         "DataDir %1/share\n"
                                         "FileDevice yes\n"
                                         "Printcap %1/printcap\n")
                              .arg(dir.path()) +
                          userLines;
    const QString conf =
        QStringLiteral("Listen 127.0.0.1:%1\n"
                       "Listen %2/cupsd.sock\n"
                       "Browsing Off\n"
                       "DefaultShared No\n"
                       "DefaultAuthType None\n"
                       "DefaultEncryption Never\n"
                       "LogLevel debug\n"
                       "WebInterface No\n"
                       "<Location />\n  Order Allow,Deny\n  Allow all\n</Location>\n"
                       "<Policy default>\n  <Limit All>\n    Order Allow,Deny\n"
                       "    Allow all\n  </Limit>\n</Policy>\n")
            .arg(port_)
            .arg(dir.path());
    if (!writeFile(dir.filePath(QStringLiteral("cups-files.conf")), files.toLocal8Bit()) ||
        !writeFile(dir.filePath(QStringLiteral("cupsd.conf")), conf.toLocal8Bit())) {
        error_ = QStringLiteral("cannot write the configuration");
        return false;
    }
    return true;
}

bool PrivateCupsd::start()
{
    if (running())
        return true;
    if (!dir_.isValid() || !QFileInfo::exists(QString::fromLatin1(kCupsd))) {
        error_ = QStringLiteral("no temporary folder or no %1").arg(QString::fromLatin1(kCupsd));
        return false;
    }
    port_ = freeLoopbackPort();
    if (port_ == 0) {
        error_ = QStringLiteral("no free loopback port");
        return false;
    }
    if (!writeConfiguration())
        return false;

    const QByteArray conf = QDir(dir_.path()).filePath(QStringLiteral("cupsd.conf")).toLocal8Bit();
    const QByteArray files =
        QDir(dir_.path()).filePath(QStringLiteral("cups-files.conf")).toLocal8Bit();
    const QByteArray output =
        QDir(dir_.path()).filePath(QStringLiteral("log/cupsd.out")).toLocal8Bit();
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) {
        error_ = QStringLiteral("fork failed");
        return false;
    }
    if (pid_ == 0) {
        // The scheduler must not outlive a test that crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        const int out = ::open(output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
        }
        ::execl(kCupsd, kCupsd, "-f", "-c", conf.constData(), "-s", files.constData(),
                static_cast<char *>(nullptr));
        ::_exit(127);
    }

    // Up to ten seconds for the scheduler to listen.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (accepts(port_))
            return true;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            QFile out(QString::fromLocal8Bit(output));
            out.open(QIODevice::ReadOnly);
            error_ =
                QStringLiteral("cupsd exited: ") + QString::fromLocal8Bit(out.readAll()) + log();
            return false;
        }
        pause(50);
    }
    error_ = QStringLiteral("cupsd does not listen on port %1").arg(port_);
    stop();
    return false;
}

void PrivateCupsd::stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        pause(50);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

PrivateCupsCommandRunner::PrivateCupsCommandRunner(const PrivateCupsd &cupsd)
    : cupsd_(cupsd), previous_(setCommandRunner(this))
{
}

PrivateCupsCommandRunner::~PrivateCupsCommandRunner()
{
    setCommandRunner(previous_);
}

int PrivateCupsCommandRunner::executeCommand(const QString &commandLine)
{
    shell << commandLine;
    return -2;
}

int PrivateCupsCommandRunner::runShell(const QString &commandLine)
{
    shell << commandLine;
    if (commandLine == QLatin1String(kRestart)) {
        restarts << commandLine;
        return restartStatus;
    }
    // Only CUPS clients go to the shell, and only against the private scheduler.
    if (!commandLine.startsWith(QLatin1String("/usr/sbin/lpadmin ")))
        return -1;
    QProcess process;
    process.setProcessEnvironment(cupsd_.clientEnvironment());
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine});
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void PrivateCupsCommandRunner::startProgram(const QString &program, const QStringList &arguments)
{
    shell << (QStringList{program} + arguments).join(QLatin1Char(' '));
}

} // namespace testing
} // namespace setuptool
