// Test support for the rasterizer: CUPS raster files made with libcups,
// JBIG planes decoded with jbigkit, a temporary printers root, and the
// filter's side of the page hand-off.
#pragma once

#include <cups/raster.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bilevel.h"

namespace rctest
{

// An RGB raster page filled by a painter: paint(x, y) returns {r, g, b}.
struct RgbPage {
    int width = 0;
    int height = 0;
    int dpi = 600;
    double pageWidthPoints = 595;
    double pageHeightPoints = 842;
    double bboxLeft = 0, bboxBottom = 0, bboxRight = 0, bboxTop = 0; // 0: whole page
    std::string sizeName = "A4";
    std::function<void(int x, int y, uint8_t *rgb)> paint;
};

// Writes the pages as a CUPS raster stream; with truncateLastPage the last
// page loses its second half.
void writeRaster(const std::string &path, const std::vector<RgbPage> &pages,
                 bool truncateLastPage = false);

// Decodes a JBIG file written by the rasterizer; fails the test on errors.
kolvex::Bilevel decodeJbigFile(const std::string &path);

// Number of set pixels in the rectangle [x0, x1) x [y0, y1).
size_t countIn(const kolvex::Bilevel &plane, int x0, int y0, int x1, int y1);

// A temporary folder that is removed with everything in it.
class TempDir
{
  public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

std::string readFile(const std::string &path);
bool fileExists(const std::string &path);
void writeFile(const std::string &path, const std::string &data);

// A running rasterizer process with its stderr captured in a file.
struct Child {
    pid_t pid = -1;
    std::string stderrPath;
    // Waits for the exit (at most timeoutMs) and returns the exit status, or
    // -1 when it had to be killed.
    int wait(int timeoutMs = 30000);
    std::string log() const { return readFile(stderrPath); }
};

Child startProgram(const std::string &program, const std::vector<std::string> &args,
                   const std::vector<std::pair<std::string, std::string>> &env,
                   const std::string &stdinPath, const std::string &stderrPath);

// The filter's side of the hand-off, as rastersend uses it: attaches once the
// rasterizer has made the objects, takes values and names.
class Receiver
{
  public:
    explicit Receiver(key_t key);
    ~Receiver();
    // Attaches, polling for at most timeoutMs; false on time-out.
    bool attach(int timeoutMs = 20000);
    // Takes a value as the filter does (asking again on an empty one); gives
    // "<nothing announced>" when none comes within timeoutMs.
    std::string copies(int timeoutMs = 20000);
    std::string pagesCount(int timeoutMs = 20000);
    std::string fileName(int timeoutMs = 20000);
    // Value of one semaphore of the set.
    int semValue(int num) const;
    // Detaches and removes the objects, as the filter does at job end.
    void endJob();
    // Detaches only (a filter that ends without removing them).
    void detach();

  private:
    std::string take(int kind, int fullSem, int timeoutMs);
    struct Impl;
    Impl *impl_;
};

// Removes any hand-off objects left with the key.
void removeHandoff(key_t key);

} // namespace rctest
