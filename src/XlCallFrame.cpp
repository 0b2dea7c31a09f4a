#include "XlCallFrame.h"

#include "XlCall.h"
#include "XlfException.h"

#include <exception>
#include <string>

namespace zep {

int WorksheetInteger(double number) {
    // Both bounds are exact doubles; the open interval keeps INT_MIN out, and NaN fails both tests.
    if (!(number > -2147483648.0 && number < 2147483648.0)) return 0;
    return static_cast<int>(number);
}

NumericMatrix MatrixArgument::Read(void* record, const char* name) {
    return XlfOper(record).ReadMatrix(name);
}

NumericVector VectorArgument::Read(void* record, const char* name) {
    return XlfOper(record).ReadArray(name, VectorOnly);
}

std::string TextArgument::Read(void* record, const char* name) {
    return XlfOper(record).ReadCString(name);
}

CellMatrix CellsArgument::Read(void* record, const char* name) {
    return XlfOper(record).ReadCellMatrix(name);
}

WorksheetResult::WorksheetResult(bool value) : WorksheetResult(XlfOper(value)) {}

WorksheetResult::WorksheetResult(const char* text) : WorksheetResult(std::string(text == nullptr ? "" : text)) {}

// Through the wide form, which both layouts write as the text alone: an Excel 4 text built from
// a narrow string would count its terminating zero as one more character.
WorksheetResult::WorksheetResult(const std::string& text) : WorksheetResult(WidenText(text.data(), text.size())) {}

WorksheetResult::WorksheetResult(const WideString& text) : WorksheetResult(XlfOper(text)) {}

WorksheetResult::WorksheetResult(const NumericMatrix& numbers) : WorksheetResult(XlfOper().Set(numbers)) {}

WorksheetResult::WorksheetResult(const NumericVector& numbers) : WorksheetResult(XlfOper().Set(numbers)) {}

WorksheetResult::WorksheetResult(const CellMatrix& cells) : WorksheetResult(XlfOper(cells)) {}

WorksheetResult::WorksheetResult(const XlfOper& value) : record_(value.Pointer()) {}

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
        // Exceptions of no standard family (a numerics library's own, say) all become #VALUE!.
        return XlfOper::Error(xlerrValue).Pointer();
    }
}

}  // namespace zep
