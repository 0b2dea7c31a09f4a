#include "NumericMatrix.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <utility>

TEST(NumericMatrix, EmptyMatrixOwnsNothing) {
    NumericMatrix empty(0, 0);
    EXPECT_EQ(empty.data(), nullptr);
    EXPECT_TRUE(empty.empty());
    NumericMatrix noRows(0, 5), noColumns(5, 0);
    EXPECT_EQ(noRows.data(), nullptr);
    EXPECT_EQ(noColumns.data(), nullptr);
    NumericMatrix copy(empty);
    EXPECT_EQ(copy.data(), nullptr);
    copy = noColumns;
    EXPECT_EQ(copy.rows(), 5u);
    EXPECT_EQ(copy.data(), nullptr);
}

TEST(NumericMatrix, NewMatrixIsZeroWithRowTableIntoOneBlock) {
    NumericMatrix m(3, 2);
    EXPECT_EQ(m[2][1], 0.0);
    EXPECT_EQ(m[2], m.data() + 4);
    for (std::uint32_t i = 0; i < 3; ++i)
        for (std::uint32_t j = 0; j < 2; ++j) EXPECT_EQ(m[i][j], 0.0);
}

TEST(NumericMatrix, CopiesAreDeep) {
    NumericMatrix a(2, 2);
    a[1][0] = 7.5;
    NumericMatrix b(a);
    b[1][0] = 1.0;
    EXPECT_EQ(a[1][0], 7.5);
    EXPECT_NE(a.data(), b.data());
}

TEST(NumericMatrix, AssignmentReusesBlocksOfTheSameShapeOnly) {
    NumericMatrix source(2, 3);
    source[1][2] = 6.0;
    NumericMatrix same(2, 3);
    const double* before = same.data();
    same = source;
    EXPECT_EQ(same.data(), before);
    EXPECT_EQ(same[1][2], 6.0);

    NumericMatrix other(3, 2);
    other = source;
    EXPECT_EQ(other.rows(), 2u);
    EXPECT_EQ(other.columns(), 3u);
    EXPECT_EQ(other[1][2], 6.0);
    EXPECT_EQ(other[1], other.data() + 3);

    other = other;
    EXPECT_EQ(other[1][2], 6.0);
}

TEST(NumericMatrix, MovesHandOverTheBlockAndLeaveAnEmptyMatrix) {
    NumericMatrix source(2, 3);
    source[1][2] = 7;
    const double* block = source.data();
    NumericMatrix moved(std::move(source));
    EXPECT_EQ(moved.data(), block);
    EXPECT_EQ(moved[1][2], 7);
    EXPECT_TRUE(source.empty());
    EXPECT_EQ(source.rows() * 10 + source.columns(), 0u);

    NumericMatrix target(4, 4);
    target = std::move(moved);
    EXPECT_EQ(target.rows() * 10 + target.columns(), 23u);
    EXPECT_EQ(target[1], block + 3);
    EXPECT_TRUE(moved.empty());
    target = std::move(target);
    EXPECT_EQ(target[1][2], 7);
    source = target;  // a moved-from matrix is usable again
    EXPECT_EQ(source[1][2], 7);
}

TEST(NumericMatrix, OversizedRequestThrowsBadAllocBeforeAllocating) {
    // 2^32-1 squared doubles fits no address space; on 32-bit the byte count would wrap.
    EXPECT_THROW(NumericMatrix(0xFFFFFFFFu, 0xFFFFFFFFu), std::bad_alloc);
}
