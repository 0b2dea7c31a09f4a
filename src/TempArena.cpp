#include "TempArena.h"

#include <new>

namespace zep {

namespace {

constexpr std::uint32_t firstBlockSize = 8192;

std::uint64_t GrownSize(std::uint64_t size) {
    return size + size / 2;  // size × 1.5, truncated
}

// Every allocation starts on an 8-byte boundary: records hold doubles and pointers, and a text
// body of odd length must not misalign the record carved out after it. Excel never sees where
// in a block a record lies, only the record.
constexpr std::uint64_t allocationAlignment = 8;

std::uint64_t AlignedOffset(std::uint64_t offset) {
    return (offset + allocationAlignment - 1) & ~(allocationAlignment - 1);
}

}  // namespace

void* TempArena::Allocate(std::size_t bytes) {
    if (blocks_.empty()) PushBlock(firstBlockSize);
    // Growth follows the front block, not the request. Find where it ends before adding blocks,
    // so that a request no 32-bit block can hold adds none. A request fits strictly inside.
    std::uint64_t size = blocks_.front().size;
    std::uint64_t used = AlignedOffset(offset_);
    while (used >= size || bytes >= size - used) {
        size = GrownSize(size);
        used = 0;
        if (size > UINT32_MAX) throw std::bad_alloc();
    }
    std::uint64_t start = AlignedOffset(offset_);
    while (start >= blocks_.front().size || bytes >= blocks_.front().size - start) {
        PushBlock(static_cast<std::uint32_t>(GrownSize(blocks_.front().size)));
        start = 0;
    }
    offset_ = static_cast<std::uint32_t>(start + bytes);
    return blocks_.front().start.get() + start;
}

void TempArena::PushBlock(std::uint32_t size) {
    blocks_.push_front(Block{size, std::unique_ptr<unsigned char[]>(new unsigned char[size])});
    offset_ = 0;
}

void TempArena::Release(bool all) {
    const std::size_t kept = all ? 0 : 1;
    while (blocks_.size() > kept) blocks_.pop_back();
    offset_ = 0;
}

std::vector<TempArena::BlockView> TempArena::Blocks() const {
    std::vector<BlockView> views;
    for (const Block& block : blocks_) views.push_back(BlockView{block.size, block.start.get()});
    return views;
}

}  // namespace zep
