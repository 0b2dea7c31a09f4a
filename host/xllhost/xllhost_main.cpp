// xllhost: see XllHostProgram.h and `xllhost --help`.
#include "XllHostProgram.h"

#include <iostream>

int main(int argc, char* argv[]) {
    // Bound to the buffers as they are now: an open add-in may point std::cerr at the debugger.
    std::ostream out(std::cout.rdbuf());
    std::ostream err(std::cerr.rdbuf());
    const int status = xlhost::runXllHost(std::vector<std::string>(argv + 1, argv + argc), out, err);
    out.flush();
    return status;
}
