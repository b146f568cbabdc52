// The guard that keeps one monitor per model running on a machine, shared by
// all users and desktops through a lock file in /tmp.
#pragma once

#include <QString>

// Opens (creating if needed) the lock file at lockFilePath, makes a file this
// user owns world-writable so other users' monitors can lock it too, and takes
// a non-blocking exclusive lock on it. Returns true when this process holds
// the lock; the descriptor stays open for the life of the process, so the
// lock lasts until the process ends. Returns false, with a debug line, when
// the file cannot be opened safely ("open lockfile") or another process holds
// the lock ("open file error"). Never follows a symbolic link at the path and
// never blocks.
bool checkOnly(const QString &lockFilePath);
