// A bi-level page plane: one bit per pixel, rows of bytes, the leftmost pixel
// in the most significant bit, 1 = toner. This is the bit order that the JBIG
// encoder takes and the printer's planes use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kolvex
{

class Bilevel
{
  public:
    Bilevel() = default;
    // An all-white plane; throws std::bad_alloc when it cannot be held.
    Bilevel(int width, int height)
        : width_(width), height_(height), stride_((static_cast<size_t>(width) + 7) / 8),
          bits_(stride_ * static_cast<size_t>(height), 0)
    {
    }

    int width() const { return width_; }
    int height() const { return height_; }
    size_t stride() const { return stride_; }

    uint8_t *row(int y) { return bits_.data() + stride_ * static_cast<size_t>(y); }
    const uint8_t *row(int y) const { return bits_.data() + stride_ * static_cast<size_t>(y); }
    uint8_t *data() { return bits_.data(); }
    const uint8_t *data() const { return bits_.data(); }

    // Pixel access for callers that have checked the bounds.
    bool get(int x, int y) const { return (row(y)[x >> 3] >> (7 - (x & 7))) & 1; }
    void set(int x, int y) { row(y)[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7)); }

    // Number of toner pixels; used by tests and the page log line.
    size_t countSet() const
    {
        size_t n = 0;
        for (uint8_t b : bits_)
            n += static_cast<size_t>(__builtin_popcount(b));
        return n;
    }

  private:
    int width_ = 0;
    int height_ = 0;
    size_t stride_ = 0;
    std::vector<uint8_t> bits_;
};

// Sets the bits [from, to) of a row; the caller keeps them inside the row.
inline void setBitRange(uint8_t *row, int from, int to)
{
    for (int x = from; x < to; ++x)
        row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
}

} // namespace kolvex
