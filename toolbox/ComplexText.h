#ifndef TOOLBOX_COMPLEXTEXT_H
#define TOOLBOX_COMPLEXTEXT_H

#include <complex>
#include <string>

namespace toolbox {

// A complex number as the worksheet's complex functions write and read it: "3+4i", "3-4i",
// "2i", "-i", "1.5", "0", with "E" exponents; each part in the fewest digits that read back as
// the same double.
std::string complexText(std::complex<double> z);

}  // namespace toolbox

#endif
