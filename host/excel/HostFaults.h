#ifndef HOST_HOSTFAULTS_H
#define HOST_HOSTFAULTS_H

// What the stand-in Excel holds against the add-in (things real Excel would crash on, corrupt
// memory over, or leak), and what it answered in Excel's place without the add-in being at fault
// (an entry point the played Excel lacks, a question the stand-in does not model). Tests query
// them; the host reports them when it goes away. A fault or notice that repeats is kept once,
// with the number of times it came, so a loop of bad calls reads as one line.

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
    BrokenCall,         // a worksheet call that broke Excel's rules (wrote into an argument, ...)
};

enum class NoticeKind {
    MissingEntry,  // an entry point the played Excel does not have, answered as that Excel would
    NotModelled,   // a function or question the stand-in does not model, answered with a failure
};

template <class Kind>
struct Counted {
    Kind kind;
    std::string detail;
    std::size_t times = 1;
};

template <class Kind>
class CountedLog {
public:
    // Adds `times` occurrences; one like an entry already logged only adds to that entry's count.
    void record(Kind kind, std::string detail, std::size_t times = 1);
    const std::vector<Counted<Kind>>& all() const { return entries_; }
    // Occurrences of that kind, repeats included.
    std::size_t count(Kind kind) const;
    bool empty() const { return entries_.empty(); }
    void clear() { entries_.clear(); }

private:
    std::vector<Counted<Kind>> entries_;
};

using Fault = Counted<FaultKind>;
using FaultLog = CountedLog<FaultKind>;
using Notice = Counted<NoticeKind>;
using NoticeLog = CountedLog<NoticeKind>;

extern template class CountedLog<FaultKind>;
extern template class CountedLog<NoticeKind>;

const char* faultKindName(FaultKind kind);
const char* noticeKindName(NoticeKind kind);
// "leak: detail", with " (3 times)" after a repeated one.
std::ostream& operator<<(std::ostream& out, const Fault& fault);
std::ostream& operator<<(std::ostream& out, const Notice& notice);
// One entry per line.
std::ostream& operator<<(std::ostream& out, const FaultLog& faults);
std::ostream& operator<<(std::ostream& out, const NoticeLog& notices);

}  // namespace xlhost

#endif
