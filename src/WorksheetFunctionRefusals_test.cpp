// Declarations the compiler must refuse, one per REFUSAL number, each with a message that says
// what is wrong; REFUSAL 0 is a sound declaration that must compile. WorksheetFunctionRefusals.cmake
// compiles each and checks the message.
#include "WorksheetFunction.h"

#include <string>

#define ZEP_TEST_ARGUMENT(n) (zep::NumberArgument, a##n, "a number")
#define ZEP_TEST_LONG "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890"
#define ZEP_TEST_LONGER ZEP_TEST_LONG ZEP_TEST_LONG ZEP_TEST_LONG  // 270 characters

#if REFUSAL == 0
ZEP_FUNCTION(xlzt_Sound, "zt_Sound", "help", "tests", zep::Volatile | zep::Hidden,
             (zep::OptionalText, text, "a text", "none")) {
    return text;
}
#elif REFUSAL == 1
ZEP_WORKSHEET_FUNCTION(xlzt_Many, "zt_Many", "help", "tests", ZEP_TEST_ARGUMENT(1), ZEP_TEST_ARGUMENT(2),
                       ZEP_TEST_ARGUMENT(3), ZEP_TEST_ARGUMENT(4), ZEP_TEST_ARGUMENT(5), ZEP_TEST_ARGUMENT(6),
                       ZEP_TEST_ARGUMENT(7), ZEP_TEST_ARGUMENT(8), ZEP_TEST_ARGUMENT(9), ZEP_TEST_ARGUMENT(10),
                       ZEP_TEST_ARGUMENT(11), ZEP_TEST_ARGUMENT(12), ZEP_TEST_ARGUMENT(13), ZEP_TEST_ARGUMENT(14),
                       ZEP_TEST_ARGUMENT(15), ZEP_TEST_ARGUMENT(16), ZEP_TEST_ARGUMENT(17), ZEP_TEST_ARGUMENT(18),
                       ZEP_TEST_ARGUMENT(19), ZEP_TEST_ARGUMENT(20), ZEP_TEST_ARGUMENT(21)) {
    return 0;
}
#elif REFUSAL == 2
ZEP_WORKSHEET_FUNCTION(xlzt_Long, ZEP_TEST_LONGER, "help", "tests") {
    return 0;
}
#elif REFUSAL == 3
ZEP_WORKSHEET_FUNCTION(xlzt_Help, "zt_Help", ZEP_TEST_LONGER, "tests") {
    return 0;
}
#elif REFUSAL == 4
ZEP_FUNCTION(xlzt_Flag, "zt_Flag", "help", "tests", 1) {
    return 0;
}
#elif REFUSAL == 5
ZEP_FUNCTION(xlzt_Threads, "zt_Threads", "help", "tests", zep::ThreadSafe | zep::MacroSheet) {
    return 0;
}
#elif REFUSAL == 6
ZEP_ADDIN_NAME(ZEP_TEST_LONGER);
#elif REFUSAL == 7
ZEP_COMMAND(xlzt_Command, "", "help") {}
#endif
