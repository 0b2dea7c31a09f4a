#ifndef HOST_CALLRECORD_H
#define HOST_CALLRECORD_H

// The stand-in's log of calls: each call into Excel as Excel saw it.

#include "HostEntryPoints.h"
#include "RecordCodec.h"
#include "Value.h"

#include <iosfwd>
#include <optional>
#include <vector>

namespace xlhost {

const char* entryName(Entry entry);

// One call into Excel as Excel saw it.
struct CallRecord {
    Entry entry;
    Layout layout;
    int function;
    std::vector<Value> arguments;  // decoded; an unreadable record appears as an invalid value
    int returnCode;
    std::optional<Value> result;  // what Excel wrote into the result record, if anything
};
std::ostream& operator<<(std::ostream& out, const CallRecord& call);

}  // namespace xlhost

#endif
