#include "Svd.h"

namespace toolbox {

Eigen::BDCSVD<Matrix> computeSvd(const Matrix& a, unsigned int options) {
    return Eigen::BDCSVD<Matrix>(a, options);
}

}  // namespace toolbox
