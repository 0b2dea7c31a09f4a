#ifndef TESTSUPPORT_WITHOUTWINDOWS_H
#define TESTSUPPORT_WITHOUTWINDOWS_H

// Code under test as it runs where no window can be made (a machine without a display).

#include <functional>

namespace testsupport {

// Runs `work` to its end while every window creation fails with ERROR_ACCESS_DENIED: on Windows
// on a thread of its own, on a desktop that grants no window creation; elsewhere with the Windows
// stand-in refusing. What `work` throws is thrown here.
void withoutWindows(const std::function<void()>& work);

}  // namespace testsupport

#endif
