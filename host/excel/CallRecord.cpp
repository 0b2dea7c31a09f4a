#include "CallRecord.h"

#include <ostream>

namespace xlhost {

const char* entryName(Entry entry) {
    switch (entry) {
        case Entry::Excel4:
            return "Excel4";
        case Entry::Excel4v:
            return "Excel4v";
        case Entry::MdCallBack12:
            return "MdCallBack12";
        case Entry::Direct:
            return "a direct call";
        case Entry::LPenHelper:
            return "LPenHelper";
    }
    return "an unknown entry";
}

std::ostream& operator<<(std::ostream& out, const CallRecord& call) {
    out << functionName(call.function) << '(';
    for (std::size_t i = 0; i < call.arguments.size(); ++i) out << (i > 0 ? ", " : "") << call.arguments[i];
    out << ") through " << entryName(call.entry) << " [" << layoutName(call.layout) << "] -> " << call.returnCode;
    if (call.result) out << ", result " << *call.result;
    return out;
}

}  // namespace xlhost
