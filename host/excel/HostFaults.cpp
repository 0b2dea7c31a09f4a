#include "HostFaults.h"

#include <algorithm>
#include <ostream>
#include <utility>

namespace xlhost {

template <class Kind>
void CountedLog<Kind>::record(Kind kind, std::string detail, std::size_t times) {
    for (Counted<Kind>& entry : entries_) {
        if (entry.kind == kind && entry.detail == detail) {
            entry.times += times;
            return;
        }
    }
    entries_.push_back(Counted<Kind>{kind, std::move(detail), times});
}

template <class Kind>
std::size_t CountedLog<Kind>::count(Kind kind) const {
    std::size_t total = 0;
    for (const Counted<Kind>& entry : entries_)
        if (entry.kind == kind) total += entry.times;
    return total;
}

template class CountedLog<FaultKind>;
template class CountedLog<NoticeKind>;

const char* faultKindName(FaultKind kind) {
    switch (kind) {
        case FaultKind::Leak:
            return "leak";
        case FaultKind::DoubleFree:
            return "double free";
        case FaultKind::ForeignFree:
            return "free of foreign memory";
        case FaultKind::MalformedArgument:
            return "malformed argument";
        case FaultKind::BrokenCall:
            return "broken call";
    }
    return "?";
}

const char* noticeKindName(NoticeKind kind) {
    switch (kind) {
        case NoticeKind::MissingEntry:
            return "missing entry point";
        case NoticeKind::NotModelled:
            return "not modelled";
    }
    return "?";
}

namespace {

std::ostream& printCounted(std::ostream& out, const char* kind, const std::string& detail, std::size_t times) {
    out << kind << ": " << detail;
    if (times > 1) out << " (" << times << " times)";
    return out;
}

template <class Kind>
std::ostream& printLog(std::ostream& out, const CountedLog<Kind>& log) {
    for (const Counted<Kind>& entry : log.all()) out << entry << '\n';
    return out;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Fault& fault) {
    return printCounted(out, faultKindName(fault.kind), fault.detail, fault.times);
}

std::ostream& operator<<(std::ostream& out, const Notice& notice) {
    return printCounted(out, noticeKindName(notice.kind), notice.detail, notice.times);
}

std::ostream& operator<<(std::ostream& out, const FaultLog& faults) {
    return printLog(out, faults);
}
std::ostream& operator<<(std::ostream& out, const NoticeLog& notices) {
    return printLog(out, notices);
}

}  // namespace xlhost
