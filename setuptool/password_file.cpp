#include "password_file.h"

#include "printers_root.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace setuptool
{

const char kDefaultAdminPassword[] = "8526";

namespace
{

QString passwordFolderPath()
{
    return QString::fromStdString(kolvex::printersPath("LR880/.ad"));
}

} // namespace

QString passwordFilePath()
{
    return QString::fromStdString(kolvex::printersPath("LR880/.ad/.ppds_r88"));
}

QByteArray encodePassword(const QByteArray &passwordBytes)
{
    return passwordBytes.toBase64();
}

QString decodePassword(const QByteArray &fileContent)
{
    const QList<QByteArray> words = fileContent.simplified().split(' ');
    QByteArray decoded = QByteArray::fromBase64(words.isEmpty() ? QByteArray() : words.first());
    const int zero = decoded.indexOf('\0');
    if (zero >= 0)
        decoded.truncate(zero);
    return QString::fromUtf8(decoded);
}

bool ensurePasswordFile()
{
    const QString path = passwordFilePath();
    if (QFileInfo::exists(path))
        return true;

    // The folder is for the administrator alone: read, write and enter.
    const QString folder = passwordFolderPath();
    if (!QDir().mkpath(folder))
        qWarning() << "cannot create" << folder;
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        qWarning() << "cannot create" << path << file.errorString();
        return QFileInfo::exists(path);
    }
    file.write(encodePassword(QByteArray(kDefaultAdminPassword)));
    file.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                    QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther);
    return true;
}

PasswordCheck checkAdminPassword(const QString &typed)
{
    ensurePasswordFile();
    QFile file(passwordFilePath());
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        qWarning() << "password file:" << file.errorString();
        return PasswordCheck::FileError;
    }
    // One short word is all the file holds; a larger file is not ours to trust.
    const QByteArray content = file.read(4096);
    file.close();
    const QString stored = decodePassword(content);
    // An empty or damaged file decodes to nothing: that must not open the tools.
    if (typed.isEmpty() || stored.isEmpty())
        return PasswordCheck::Wrong;
    return typed == stored ? PasswordCheck::Right : PasswordCheck::Wrong;
}

bool passwordFileWritable()
{
    QFile file(passwordFilePath());
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    file.close();
    return true;
}

bool storePassword(const QString &password)
{
    const QString path = passwordFilePath();
    const QFile::Permissions permissions = QFile::permissions(path);
    // Written beside the old file and renamed over it, so a failure never
    // leaves an empty or half-written password behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(encodePassword(password.toUtf8()));
    if (!file.commit())
        return false;
    if (permissions != 0)
        QFile::setPermissions(path, permissions);
    return true;
}

} // namespace setuptool
