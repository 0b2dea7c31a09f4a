#include "XlCallFrame.h"

#include "CellMatrix.h"
#include "XlCall.h"
#include "XlfException.h"

#include <exception>
#include <string>

namespace zep {

int WorksheetInteger(double number) {
    // Both bounds are exact doubles; the open interval keeps INT_MIN out, and NaN fails both tests.
    if (!(number > -2147483648.0 && number < 2147483648.0))
        return 0;
    return static_cast<int>(number);
}

NumericMatrix MatrixArgument::Read() const { return XlfOper(record).ReadMatrix(name); }

NumericVector VectorArgument::Read() const { return XlfOper(record).ReadArray(name, VectorOnly); }

void* FailureRecord() {
    // XlfException derives from std::exception: it must be tried first, so that a fault Excel
    // reported (an uncalculated argument, an abort) returns no value rather than its text.
    try {
        throw;
    } catch (const XlfException&) {
        return nullptr;
    } catch (const std::exception& failure) {
        return XlfOper(failure.what()).Pointer();
    } catch (const std::string& message) {
        return XlfOper(message).Pointer();
    } catch (const char* message) {
        return XlfOper(message).Pointer();
    } catch (const CellMatrix& cells) {
        return XlfOper(cells).Pointer();
    } catch (...) {
        // Newmat's exceptions belong to no standard family: every numerical failure is #VALUE!.
        return XlfOper::Error(xlerrValue).Pointer();
    }
}

}  // namespace zep
