#include "MemoryLedger.h"

#include <cstring>
#include <sstream>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define XLHOST_POISON(address, bytes) ASAN_POISON_MEMORY_REGION(address, bytes)
#define XLHOST_UNPOISON(address, bytes) ASAN_UNPOISON_MEMORY_REGION(address, bytes)
#else
#define XLHOST_POISON(address, bytes) ((void)(address), (void)(bytes))
#define XLHOST_UNPOISON(address, bytes) ((void)(address), (void)(bytes))
#endif

namespace xlhost {

namespace {

std::string pointerText(const void* pointer) {
    std::ostringstream text;
    text << pointer;
    return text.str();
}

}  // namespace

MemoryLedger::~MemoryLedger() {
    for (auto& [address, block] : retired_) XLHOST_UNPOISON(block.memory.get(), block.bytes);
}

unsigned char* MemoryLedger::allocate(std::size_t bytes, std::string origin) {
    if (bytes == 0) bytes = 1;
    const std::size_t units = (bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    Block block{std::make_unique<std::max_align_t[]>(units), bytes, std::move(origin), std::string()};
    auto* memory = reinterpret_cast<unsigned char*>(block.memory.get());
    outstanding_.emplace(memory, std::move(block));
    return memory;
}

MemoryLedger::Outcome MemoryLedger::release(const void* pointer, const std::string& caller) {
    const auto block = outstanding_.find(pointer);
    if (block != outstanding_.end()) {
        retire(block, "given back by " + caller);
        return Outcome::Released;
    }
    const auto retired = retired_.find(pointer);
    if (retired != retired_.end()) {
        faults_.record(FaultKind::DoubleFree, caller + " of " + pointerText(pointer) + " from " +
                                                  retired->second.origin + ", already " + retired->second.fate);
        return Outcome::DoubleFree;
    }
    faults_.record(FaultKind::ForeignFree,
                   caller + " of " + pointerText(pointer) + ", which the host never handed out");
    return Outcome::Foreign;
}

std::size_t MemoryLedger::checkForLeaks() {
    const std::size_t leaks = outstanding_.size();
    while (!outstanding_.empty()) {
        const auto block = outstanding_.begin();
        faults_.record(FaultKind::Leak, std::to_string(block->second.bytes) + " bytes at " + pointerText(block->first) +
                                            " from " + block->second.origin + " never given back with xlFree");
        retire(block, "reclaimed by a leak check");
    }
    return leaks;
}

void MemoryLedger::retire(std::map<const void*, Block>::iterator block, std::string fate) {
    // Scribbled over, so that an add-in still reading it sees garbage rather than its old value.
    std::memset(block->second.memory.get(), 0xDD, block->second.bytes);
    XLHOST_POISON(block->second.memory.get(), block->second.bytes);
    block->second.fate = std::move(fate);
    retired_.insert(outstanding_.extract(block));
}

}  // namespace xlhost
