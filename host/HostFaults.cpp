#include "HostFaults.h"

#include <algorithm>
#include <ostream>
#include <utility>

namespace xlhost {

void FaultLog::record(FaultKind kind, std::string detail) { faults_.push_back(Fault{kind, std::move(detail)}); }

std::size_t FaultLog::count(FaultKind kind) const {
    return static_cast<std::size_t>(
        std::count_if(faults_.begin(), faults_.end(), [kind](const Fault& fault) { return fault.kind == kind; }));
}

const char* faultKindName(FaultKind kind) {
    switch (kind) {
        case FaultKind::Leak: return "leak";
        case FaultKind::DoubleFree: return "double free";
        case FaultKind::ForeignFree: return "free of foreign memory";
        case FaultKind::MalformedArgument: return "malformed argument";
        case FaultKind::UnavailableEntry: return "unavailable entry point";
    }
    return "?";
}

std::ostream& operator<<(std::ostream& out, const Fault& fault) {
    return out << faultKindName(fault.kind) << ": " << fault.detail;
}

std::ostream& operator<<(std::ostream& out, const FaultLog& faults) {
    for (const Fault& fault : faults.all()) out << fault << '\n';
    return out;
}

}  // namespace xlhost
