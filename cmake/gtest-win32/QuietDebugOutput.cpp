// GoogleTest echoes every failed or skipped check to OutputDebugStringA. Wine delivers that text
// by raising an exception, which 32-bit Wine running under qemu's user-mode emulator does not
// survive: the test program dies, sometimes with exit status 0. Test programs for 32-bit Windows
// get this import slot instead of kernel32's, so their debugger output goes nowhere and every
// failure is reported normally. (Nothing in a test run has a debugger attached anyway.)
#include <windows.h>

namespace {
void WINAPI DropDebugOutput(LPCSTR) {}
}  // namespace

extern "C" {
void(WINAPI* quietOutputDebugStringA)(LPCSTR) __asm__("__imp__OutputDebugStringA@4") = DropDebugOutput;
}
