#include "Simerrors.h"

#include <array>
#include <utility>

namespace qmrsim {

namespace {

struct CodeText {
    int code;
    const char* text;
};

constexpr std::array kTexts{
    CodeText{0, "No error"},
    CodeText{-100, "Command error"},
    CodeText{-101, "Invalid character"},
    CodeText{-102, "Syntax error"},
    CodeText{-103, "Invalid separator"},
    CodeText{-104, "Data type error"},
    CodeText{-105, "GET not allowed"},
    CodeText{-108, "Parameter not allowed"},
    CodeText{-109, "Missing parameter"},
    CodeText{-110, "Command header error"},
    CodeText{-111, "Header separator error"},
    CodeText{-112, "Program mnemonic too long"},
    CodeText{-113, "Undefined header"},
    CodeText{-114, "Header suffix out of range"},
    CodeText{-115, "Unexpected number of parameters"},
    CodeText{-120, "Numeric data error"},
    CodeText{-121, "Invalid character in number"},
    CodeText{-123, "Exponent too large"},
    CodeText{-124, "Too many digits"},
    CodeText{-128, "Numeric data not allowed"},
    CodeText{-130, "Suffix error"},
    CodeText{-131, "Invalid suffix"},
    CodeText{-134, "Suffix too long"},
    CodeText{-138, "Suffix not allowed"},
    CodeText{-140, "Character data error"},
    CodeText{-141, "Invalid character data"},
    CodeText{-144, "Character data too long"},
    CodeText{-148, "Character data not allowed"},
    CodeText{-150, "String data error"},
    CodeText{-151, "Invalid string data"},
    CodeText{-158, "String data not allowed"},
    CodeText{-160, "Block data error"},
    CodeText{-161, "Invalid block data"},
    CodeText{-168, "Block data not allowed"},
    CodeText{-170, "Expression error"},
    CodeText{-171, "Invalid expression"},
    CodeText{-178, "Expression data not allowed"},
    CodeText{-180, "Macro error"},
    CodeText{-200, "Execution error"},
    CodeText{-201, "Invalid while in local"},
    CodeText{-202, "Settings lost due to rtl"},
    CodeText{-203, "Command protected"},
    CodeText{-210, "Trigger error"},
    CodeText{-211, "Trigger ignored"},
    CodeText{-212, "Arm ignored"},
    CodeText{-213, "Init ignored"},
    CodeText{-214, "Trigger deadlock"},
    CodeText{-215, "Arm deadlock"},
    CodeText{-220, "Parameter error"},
    CodeText{-221, "Settings conflict"},
    CodeText{-222, "Data out of range"},
    CodeText{-223, "Too much data"},
    CodeText{-224, "Illegal parameter value"},
    CodeText{-225, "Out of memory"},
    CodeText{-226, "Lists not same length"},
    CodeText{-230, "Data corrupt or stale"},
    CodeText{-231, "Data questionable"},
    CodeText{-232, "Invalid format"},
    CodeText{-233, "Invalid version"},
    CodeText{-240, "Hardware error"},
    CodeText{-241, "Hardware missing"},
    CodeText{-250, "Mass storage error"},
    CodeText{-251, "Missing mass storage"},
    CodeText{-252, "Missing media"},
    CodeText{-253, "Corrupt media"},
    CodeText{-254, "Media full"},
    CodeText{-255, "Directory full"},
    CodeText{-256, "File name not found"},
    CodeText{-257, "File name error"},
    CodeText{-258, "Media protected"},
    CodeText{-260, "Expression error"},
    CodeText{-261, "Math error in expression"},
    CodeText{-270, "Macro error"},
    CodeText{-280, "Program error"},
    CodeText{-290, "Memory use error"},
    CodeText{-300, "Device-specific error"},
    CodeText{-310, "System error"},
    CodeText{-311, "Memory error"},
    CodeText{-312, "PUD memory lost"},
    CodeText{-313, "Calibration memory lost"},
    CodeText{-314, "Save/recall memory lost"},
    CodeText{-315, "Configuration memory lost"},
    CodeText{-320, "Storage fault"},
    CodeText{-321, "Out of memory"},
    CodeText{-330, "Self-test failed"},
    CodeText{-340, "Calibration failed"},
    CodeText{-350, "Queue overflow"},
    CodeText{-360, "Communication error"},
    CodeText{-361, "Parity error in program message"},
    CodeText{-362, "Framing error in program message"},
    CodeText{-363, "Input buffer overrun"},
    CodeText{-365, "Time out error"},
    CodeText{-400, "Query error"},
    CodeText{-410, "Query INTERRUPTED"},
    CodeText{-420, "Query UNTERMINATED"},
    CodeText{-430, "Query DEADLOCKED"},
    CodeText{-440, "Query UNTERMINATED after indefinite response"},
    CodeText{-500, "Power on"},
    CodeText{-600, "User request"},
    CodeText{-700, "Request control"},
    CodeText{-800, "Operation complete"},
};

const char* Lookup(int code)
{
    for (const CodeText& entry : kTexts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return nullptr;
}

} // namespace

std::string ScpiErrorText(int code)
{
    if (const char* text = Lookup(code)) {
        return text;
    }
    if (code < 0 && code > -1000) {
        // An unlisted code takes the text of its class (-1xx command error and so on).
        if (const char* text = Lookup(code / 100 * 100)) {
            return text;
        }
    }
    return code < 0 ? "Device-specific error" : "Device error";
}

uint8_t EsrBitForError(int code)
{
    if (code == 0) {
        return 0;
    }
    if (code > 0) {
        return kEsrDeviceError;
    }
    if (code <= -100 && code > -200) {
        return kEsrCommandError;
    }
    if (code <= -200 && code > -300) {
        return kEsrExecutionError;
    }
    if (code <= -400 && code > -500) {
        return kEsrQueryError;
    }
    if (code <= -500 && code > -600) {
        return kEsrPowerOn;
    }
    if (code <= -600 && code > -700) {
        return kEsrUserRequest;
    }
    if (code <= -700 && code > -800) {
        return kEsrRequestControl;
    }
    if (code <= -800 && code > -900) {
        return kEsrOperationComplete;
    }
    return kEsrDeviceError;
}

std::string FormatErrorEntry(int code, const std::string& text)
{
    return std::to_string(code) + ",\"" + text + "\"";
}

} // namespace qmrsim
