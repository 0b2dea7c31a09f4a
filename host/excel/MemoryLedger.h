#ifndef HOST_MEMORYLEDGER_H
#define HOST_MEMORYLEDGER_H

// The stand-in Excel's own memory: every block it hands out in a result, and what became of it.
// Blocks given back stay reserved (and poisoned) while the ledger lives, so an address is never
// handed out twice and a second xlFree is always recognised as one.

#include "HostFaults.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>

namespace xlhost {

class MemoryLedger {
public:
    explicit MemoryLedger(FaultLog& faults) : faults_(faults) {}
    ~MemoryLedger();
    MemoryLedger(const MemoryLedger&) = delete;
    MemoryLedger& operator=(const MemoryLedger&) = delete;

    // A block of `bytes` bytes (at least one), aligned for any record; `origin` names the call
    // whose result it is, for the fault reports.
    unsigned char* allocate(std::size_t bytes, std::string origin);

    enum class Outcome { Released, DoubleFree, Foreign };
    // Takes a block back. A second release and a pointer the ledger never handed out (the
    // inside of a block included) are recorded as faults, with `caller` in the detail.
    Outcome release(const void* pointer, const std::string& caller);

    bool isOutstanding(const void* pointer) const { return outstanding_.count(pointer) != 0; }
    std::size_t outstanding() const { return outstanding_.size(); }

    // Records a leak for every block still handed out, takes them back, and returns their count.
    std::size_t checkForLeaks();

private:
    struct Block {
        std::unique_ptr<std::max_align_t[]> memory;
        std::size_t bytes;
        std::string origin;
        std::string fate;
    };
    void retire(std::map<const void*, Block>::iterator block, std::string fate);

    FaultLog& faults_;
    std::map<const void*, Block> outstanding_;
    std::map<const void*, Block> retired_;
};

}  // namespace xlhost

#endif
