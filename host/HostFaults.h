#ifndef HOST_HOSTFAULTS_H
#define HOST_HOSTFAULTS_H

// What the stand-in Excel holds against the add-in: things real Excel would crash on, corrupt
// memory over, or leak. Tests query them; the host reports the ones left when it goes away.

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace xlhost {

enum class FaultKind {
    Leak,               // host memory handed out and never given back with xlFree
    DoubleFree,         // xlFree of host memory already given back
    ForeignFree,        // xlFree of memory the host never handed out
    MalformedArgument,  // a record Excel could not read (bad type word, null pointer, bad count)
    UnavailableEntry,   // an entry point the configured Excel version does not have
};

struct Fault {
    FaultKind kind;
    std::string detail;
};

class FaultLog {
public:
    void record(FaultKind kind, std::string detail);
    const std::vector<Fault>& all() const { return faults_; }
    std::size_t count(FaultKind kind) const;
    bool empty() const { return faults_.empty(); }
    void clear() { faults_.clear(); }

private:
    std::vector<Fault> faults_;
};

const char* faultKindName(FaultKind kind);
std::ostream& operator<<(std::ostream& out, const Fault& fault);
std::ostream& operator<<(std::ostream& out, const FaultLog& faults);

}  // namespace xlhost

#endif
