// A module for the loader tests: an export to find, and a variable whose address lies inside it.
extern "C" {
int probeData = 42;
int ProbeAnswer() {
    return probeData;
}
}
