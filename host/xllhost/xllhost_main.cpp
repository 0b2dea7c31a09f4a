// xllhost: see XllHostProgram.h and `xllhost --help`.
#include "XllHostProgram.h"

#include <iostream>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // The same bytes as on every other platform: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    // Bound to the buffers as they are now: an open add-in may point std::cerr at the debugger.
    std::ostream out(std::cout.rdbuf());
    std::ostream err(std::cerr.rdbuf());
    const int status = xlhost::runXllHost(std::vector<std::string>(argv + 1, argv + argc), out, err);
    out.flush();
    return status;
}
