// Ownership of what Lumacore allocates. Every block from lumsMalloc_8u / lumsMalloc_16s / lumMalloc and
// every object from an ...InitAlloc primitive goes back to its matching free function exactly once, when
// its one holder is destroyed, reset or overwritten. Holders move; they never copy.
//
//   LumBuffer<Lum16s> rows;              // an aligned, zero-filled array with its length
//   if (!rows.Allocate(64 * blocks)) ...
//
//   LumObject<LumiDecodeHuffmanState, lumiDecodeHuffmanStateFree_JPEG_8u> state;
//   if (LumInitAlloc(state, lumiDecodeHuffmanStateInitAlloc_JPEG_8u) < 0) ...
//
// Codecs, hosts and tools all use these; no code outside this header calls a Lumacore free function.
#ifndef VELLO_COMMON_LUM_MEMORY_H
#define VELLO_COMMON_LUM_MEMORY_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

#include "lumacore/lumacore.h"

namespace vello {

// Deleter that hands an object to the Lumacore free function `Free` (nothing for null).
template <auto Free>
struct LumFree {
    template <typename T>
    void operator()(T* p) const noexcept {
        if (p != nullptr) static_cast<void>(Free(p));
    }
};

// One Lumacore object (a Huffman specification or state, a G.726 decoder state, ...) owned by one holder
// that frees it with `Free`.
template <typename T, auto Free>
using LumObject = std::unique_ptr<T, LumFree<Free>>;

using LumDecodeHuffmanSpecPtr = LumObject<LumiDecodeHuffmanSpec, lumiDecodeHuffmanSpecFree_JPEG_8u>;
using LumDecodeHuffmanStatePtr = LumObject<LumiDecodeHuffmanState, lumiDecodeHuffmanStateFree_JPEG_8u>;
using LumEncodeHuffmanSpecPtr = LumObject<LumiEncodeHuffmanSpec, lumiEncodeHuffmanSpecFree_JPEG_8u>;
using LumEncodeHuffmanStatePtr = LumObject<LumiEncodeHuffmanState, lumiEncodeHuffmanStateFree_JPEG_8u>;

// Calls an InitAlloc primitive whose last argument receives the new object, `args` being the ones before
// it, and gives the object to `holder` (which frees what it held). Returns the primitive's status; on a
// failure the holder is left empty.
template <typename T, auto Free, typename InitAlloc, typename... Args>
LumStatus LumInitAlloc(LumObject<T, Free>& holder, InitAlloc initAlloc, Args&&... args) {
    T* object = nullptr;
    const LumStatus status = initAlloc(std::forward<Args>(args)..., &object);
    holder.reset(object);
    if (status < 0 || object == nullptr) {
        holder.reset();
        return status < 0 ? status : lumStsNullPtrErr;
    }
    return status;
}

// An array of `T` in Lumacore memory (32-byte aligned, lumsMalloc_8u, freed with lumsFree), with its
// length in elements. Empty until Allocate succeeds.
template <typename T>
class LumBuffer {
    static_assert(std::is_trivial_v<T>, "Lumacore memory holds plain samples and coefficients");

  public:
    LumBuffer() = default;
    LumBuffer(LumBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    LumBuffer& operator=(LumBuffer&& other) noexcept {
        LumBuffer taken(std::move(other));
        std::swap(data_, taken.data_);
        std::swap(size_, taken.size_);
        return *this;
    }
    LumBuffer(const LumBuffer&) = delete;
    LumBuffer& operator=(const LumBuffer&) = delete;
    ~LumBuffer() { lumsFree(data_); }

    // Replaces the array by one of `count` elements, every byte `fill` (all bits zero by default). False
    // (and empty) when the count is not positive, its bytes do not fit the allocator's int length, or
    // memory ran out.
    [[nodiscard]] bool Allocate(std::int64_t count, Lum8u fill = 0) {
        Release();
        if (count <= 0 || count > (INT_MAX - 64) / static_cast<std::int64_t>(sizeof(T))) return false;
        const int bytes = static_cast<int>(count * static_cast<std::int64_t>(sizeof(T)));
        auto* block = lumsMalloc_8u(bytes);
        if (block == nullptr) return false;
        if ((fill == 0 ? lumsZero_8u(block, bytes) : lumsSet_8u(fill, block, bytes)) < 0) {
            lumsFree(block);
            return false;
        }
        data_ = reinterpret_cast<T*>(block);  // NOLINT: 32-byte aligned, suits every sample type
        size_ = count;
        return true;
    }
    void Release() noexcept {
        lumsFree(std::exchange(data_, nullptr));
        size_ = 0;
    }

    T* data() const { return data_; }
    std::int64_t size() const { return size_; }
    bool empty() const { return data_ == nullptr; }

  private:
    T* data_ = nullptr;
    std::int64_t size_ = 0;  // elements
};

}  // namespace vello

#endif
