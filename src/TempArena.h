#ifndef SRC_TEMPARENA_H
#define SRC_TEMPARENA_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace zep {

// Temporary memory handed out by bumping an offset through the newest of a list of blocks. It
// does no locking of its own: the connection locks the arena all threads share, and each thread
// alone uses the arena of its thread-safe calls.
class TempArena {
public:
    // Valid until the next Release. Blocks grow by half of the newest one's size; a request no
    // 32-bit block could hold throws std::bad_alloc and leaves the arena as it was.
    void* Allocate(std::size_t bytes);
    // Keeps only the newest block (all = false) or none, and hands memory out from its start.
    void Release(bool all);

    // One block; Blocks() lists them newest first.
    struct BlockView {
        std::uint32_t size;
        const void* start;
    };
    std::vector<BlockView> Blocks() const;

private:
    struct Block {
        std::uint32_t size;
        std::unique_ptr<unsigned char[]> start;
    };
    void PushBlock(std::uint32_t size);

    std::deque<Block> blocks_;  // newest at the front
    std::uint32_t offset_ = 0;
};

}  // namespace zep

#endif
