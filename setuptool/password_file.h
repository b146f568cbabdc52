// The administrator password file of the fingerprint manager: one word, the
// Base64 text of the password's bytes, no newline, in LR880/.ad/.ppds_r88
// under the printers root.
#pragma once

#include <QByteArray>
#include <QString>

namespace setuptool
{

// The password the file is created with when it is missing.
extern const char kDefaultAdminPassword[];

// Full path of the password file.
QString passwordFilePath();

// The file's content for a password: its Base64 text, no newline.
QByteArray encodePassword(const QByteArray &passwordBytes);

// The password a file content holds: the first whitespace-delimited word,
// Base64-decoded, read as UTF-8 up to its first zero byte.
QString decodePassword(const QByteArray &fileContent);

// Creates the folder (mode 0700) and the file (mode 0666) holding the default
// password when the file does not exist. False when it still does not exist.
bool ensurePasswordFile();

enum class PasswordCheck {
    Right,     // the typed text equals the stored password
    Wrong,     // it does not (an empty text never matches)
    FileError, // the file cannot be opened for reading and writing
};

// Checks a typed password against the file, creating the file with the
// default password first when it is missing.
PasswordCheck checkAdminPassword(const QString &typed);

// True when the existing file can be opened for writing; never creates it.
bool passwordFileWritable();

// Replaces the file's content with the new password's Base64 text (UTF-8
// bytes) in one step, keeping the file's permissions. False on failure, with
// the old content left in place.
bool storePassword(const QString &password);

} // namespace setuptool
