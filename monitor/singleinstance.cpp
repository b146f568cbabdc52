#include "singleinstance.h"

#include <QDebug>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Opens the lock file for writing without following a symbolic link and
// without blocking on a FIFO someone planted there. An existing file is
// opened as it is; a missing one is created exclusively, so a file or link
// that appears in between is never taken over. Returns the descriptor or -1.
int openLockFile(const QByteArray &path)
{
    const int flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.constData(), flags);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        fd = ::open(path.constData(), flags | O_CREAT | O_EXCL, 0777);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

bool checkOnly(const QString &lockFilePath)
{
    const QByteArray path = QFile::encodeName(lockFilePath);
    const int fd = openLockFile(path);

    // Only a plain file is usable as a lock; anything else at this shared
    // path (a FIFO, a device, a directory) was not made by a monitor.
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        qDebug() << "open lockfile";
        return false;
    }
    // The creation mode passes through the umask, so set 0777 on the open
    // file itself. Only a file of our own with a single name gets it: the
    // file of another user's monitor is left alone, and a hard link planted
    // to one of our files is never made world-writable.
    if (st.st_uid == ::geteuid() && st.st_nlink == 1 && (st.st_mode & 07777) != 0777)
        if (::fchmod(fd, 0777) != 0)
            qDebug() << "chmod lockfile failed, errno" << errno;

    if (::lockf(fd, F_TLOCK, 0) != 0) {
        ::close(fd);
        qDebug() << "open file error";
        return false;
    }
    // The descriptor is deliberately kept open: closing it would drop the lock.
    return true;
}
