#include "RowColumnFunctions.h"

#include "MatrixTestSupport.h"

#include <climits>

namespace {
const NumericMatrix twoByThree = matrixOf({{1, 2, 3}, {4, 5, 6}});
}

TEST(RowColumn, WorkedCases) {
    EXPECT_TRUE(matricesNear(matrixOf({{4, 5, 6}}), mtrx_Row(twoByThree, 2), 0));
    EXPECT_TRUE(matricesNear(matrixOf({{3}, {6}}), mtrx_Column(twoByThree, 3), 0));
    EXPECT_TRUE(matricesNear(matrixOf({{1}, {4}}), mtrx_Column(twoByThree, 1), 0));
    const NumericMatrix threeByTwo = transposed(twoByThree);
    EXPECT_TRUE(matricesNear(matrixOf({{4}, {5}, {6}}), mtrx_Column(threeByTwo, 2), 0));
    EXPECT_TRUE(matricesNear(matrixOf({{3, 6}}), mtrx_Row(threeByTwo, 3), 0));
    EXPECT_TRUE(matricesNear(matrixOf({{7}}), mtrx_Row(matrixOf({{7}}), 1), 0));
    EXPECT_TRUE(matricesNear(matrixOf({{7}}), mtrx_Column(matrixOf({{7}}), 1), 0));
}

// INT_MIN - 1 wraps inside Newmat's check of the row number; it must still end in #VALUE!.
TEST(RowColumn, EveryNumberOutsideTheMatrixIsANewmatError) {
    for (int n : {INT_MIN, INT_MIN + 1, -1, 0, 3, 4, INT_MAX}) {
        EXPECT_EQ(Outcome::Value, classify([=] { mtrx_Row(twoByThree, n); })) << "row " << n;
        EXPECT_EQ(Outcome::Value, classify([=] { mtrx_Column(transposed(twoByThree), n); })) << "column " << n;
    }
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_Column(twoByThree, 4); }));
}

TEST(RowColumn, MatrixWithoutElements) {
    for (int n : {INT_MIN, 0, 1}) {
        EXPECT_EQ(Outcome::Value, classify([=] { mtrx_Row(NumericMatrix(0, 0), n); })) << n;
        EXPECT_EQ(Outcome::Value, classify([=] { mtrx_Column(NumericMatrix(0, 0), n); })) << n;
    }
    EXPECT_TRUE(matricesNear(NumericMatrix(0, 1), mtrx_Column(NumericMatrix(0, 5), 5), 0));
    EXPECT_TRUE(matricesNear(NumericMatrix(1, 0), mtrx_Row(NumericMatrix(5, 0), 5), 0));
}
