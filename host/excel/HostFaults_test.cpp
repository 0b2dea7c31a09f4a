#include "HostFaults.h"

#include <gtest/gtest.h>

#include <sstream>

namespace xlhost {
namespace {

TEST(FaultLog, AFaultThatRepeatsIsKeptOnceWithItsCount) {
    FaultLog faults;
    for (int i = 0; i < 3; ++i) faults.record(FaultKind::MalformedArgument, "xlFree of a null text");
    faults.record(FaultKind::Leak, "xlFree of a null text");
    faults.record(FaultKind::MalformedArgument, "xlCoerce of a null text", 2);
    ASSERT_EQ(faults.all().size(), 3u);
    EXPECT_EQ(faults.count(FaultKind::MalformedArgument), 5u);
    EXPECT_EQ(faults.count(FaultKind::DoubleFree), 0u);
    std::ostringstream printed;
    printed << faults;
    EXPECT_EQ(printed.str(),
              "malformed argument: xlFree of a null text (3 times)\n"
              "leak: xlFree of a null text\n"
              "malformed argument: xlCoerce of a null text (2 times)\n");
}

}  // namespace
}  // namespace xlhost
