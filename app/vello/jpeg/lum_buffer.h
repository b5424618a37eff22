// A block of Lumacore memory (32-byte aligned, from lumMalloc) owned by one object.
#ifndef VELLO_JPEG_LUM_BUFFER_H
#define VELLO_JPEG_LUM_BUFFER_H

#include <climits>
#include <cstdint>
#include <utility>

#include "lumacore/lumacore.h"

namespace vello {

class LumBuffer {
  public:
    LumBuffer() = default;
    ~LumBuffer() { lumFree(data_); }
    LumBuffer(const LumBuffer&) = delete;
    LumBuffer& operator=(const LumBuffer&) = delete;
    LumBuffer(LumBuffer&& other) noexcept : data_(std::exchange(other.data_, nullptr)), size_(other.size_) {}
    LumBuffer& operator=(LumBuffer&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        return *this;
    }

    // Replaces the block by one of `bytes` bytes, cleared to zero. False when the size does not fit the
    // allocator's 32-bit length or memory ran out; the buffer is then empty.
    bool Allocate(std::int64_t bytes) {
        Release();
        if (bytes <= 0 || bytes > INT_MAX - 64) return false;
        data_ = static_cast<Lum8u*>(lumMalloc(static_cast<int>(bytes)));
        if (data_ == nullptr) return false;
        size_ = bytes;
        if (lumsZero_8u(data_, static_cast<int>(bytes)) < 0) {
            Release();
            return false;
        }
        return true;
    }
    void Release() {
        lumFree(data_);
        data_ = nullptr;
        size_ = 0;
    }

    Lum8u* data() const { return data_; }
    Lum16s* data16() const {
        return reinterpret_cast<Lum16s*>(data_);
    }  // NOLINT: lumMalloc is 32-byte aligned
    std::int64_t size() const { return size_; }
    bool empty() const { return data_ == nullptr; }

  private:
    Lum8u* data_ = nullptr;
    std::int64_t size_ = 0;
};

}  // namespace vello

#endif
