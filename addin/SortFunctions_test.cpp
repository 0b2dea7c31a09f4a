#include "SortFunctions.h"

#include "MatrixTestSupport.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <random>

TEST(QuickSort, WorkedCases) {
    EXPECT_EQ((NumericVector{1, 2, 3}), mtrx_quickSort({3, 1, 2}, 1));
    EXPECT_EQ((NumericVector{3, 2, 1}), mtrx_quickSort({3, 1, 2}, 2));
    EXPECT_EQ((NumericVector{2, 2, 1}), mtrx_quickSort({2, 2, 1}, 2));
    EXPECT_EQ((NumericVector{5}), mtrx_quickSort({5}, 1));
    EXPECT_TRUE(mtrx_quickSort({}, 2).empty());
    for (int param : {0, 3, -1, INT_MIN})
        EXPECT_EQ("Invalid value of param", thrownText([=] { mtrx_quickSort({1}, param); })) << param;
}

TEST(QuickSort, AgreesWithTheStandardSort) {
    std::mt19937 generator(7);
    std::uniform_int_distribution<int> value(-50, 50);  // many repeated values
    for (std::size_t n : {2u, 17u, 1000u}) {
        NumericVector v(n);
        for (double& x : v) x = value(generator);
        NumericVector ascending = v, descending = v;
        std::sort(ascending.begin(), ascending.end());
        std::sort(descending.begin(), descending.end(), std::greater<double>());
        EXPECT_EQ(ascending, mtrx_quickSort(v, 1)) << "n = " << n;
        EXPECT_EQ(descending, mtrx_quickSort(v, 2)) << "n = " << n;
    }
}

TEST(QuickSort, SignedZerosInfinitiesAndNaN) {
    EXPECT_EQ((NumericVector{-infinity, -1, 0, 0, infinity}), mtrx_quickSort({0, infinity, -0.0, -1, -infinity}, 1));
    // NaN has no place in the order: the elements must all come back, in whatever order.
    NumericVector withNaN(40);
    for (std::size_t k = 0; k < withNaN.size(); ++k) withNaN[k] = k % 3 ? double(40 - k) : notANumber;
    for (int param : {1, 2}) {
        const NumericVector sorted = mtrx_quickSort(withNaN, param);
        ASSERT_EQ(withNaN.size(), sorted.size());
        const auto isNaN = [](double x) { return std::isnan(x); };
        EXPECT_EQ(std::count_if(withNaN.begin(), withNaN.end(), isNaN),
                  std::count_if(sorted.begin(), sorted.end(), isNaN));
        for (double x : withNaN) {
            if (std::isnan(x)) continue;
            EXPECT_NE(sorted.end(), std::find(sorted.begin(), sorted.end(), x)) << x;
        }
    }
}
