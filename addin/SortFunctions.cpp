#include "SortFunctions.h"

#include "NewmatCopy.h"

#include <newmat/newmatap.h>

NumericVector mtrx_quickSort(NumericVector mtrx, int param) {
    if (param != 1 && param != 2) throw "Invalid value of param";
    NEWMAT::Matrix column = toNewmatColumn(mtrx);
    if (param == 1)
        NEWMAT::SortAscending(column);
    else
        NEWMAT::SortDescending(column);
    return columnToVector(column);
}
