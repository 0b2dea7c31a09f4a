#ifndef SRC_RETURNCODES_H
#define SRC_RETURNCODES_H

#include <cstdint>
#include <string>

namespace zep {

// Turns a non-zero Excel return code into its exception. The bits are tested from the most
// to the least telling (uncalculated, abort, stack overflow, invalid record, failed, invalid
// count, invalid function number); the first one present decides. Returns 0 for 0 and any
// code without a known bit unchanged.
int CheckReturnCode(int code);

// The same, naming what failed: text is appended to the messages of the invalid-record,
// failed, invalid-count and invalid-function cases.
int CheckReturnCode(int code, const std::string& text);

// The name of a whole value type word ("xltypeNum", ...); "unknown" for anything else,
// including a known type that carries a flag bit.
const char* TypeName(std::uint32_t typeWord);

}  // namespace zep

#endif
