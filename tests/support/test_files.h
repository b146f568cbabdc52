// Files and shell commands for tests: whole-file reads and writes, and a
// shell command's exit status with its output.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace kolvextest {

// The file's whole content, or "" when it cannot be read.
inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Replaces the file's content.
inline void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline bool fileExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Runs a shell command; returns its exit status (-1 when it did not exit)
// and stores its output, both streams, when asked.
inline int run(const std::string &command, std::string *output = nullptr)
{
    std::string all;
    FILE *p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        all.append(buf, n);
    int status = pclose(p);
    if (output)
        *output = all;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Quotes a text for the shell.
inline std::string quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace kolvextest
