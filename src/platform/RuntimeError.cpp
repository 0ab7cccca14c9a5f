#include "platform/RuntimeError.h"

namespace kestovan {

std::string RuntimeErrorText(int number) {
    switch (number) {
    case 3: return "Return without GoSub";
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 54: return "Bad file mode";
    case 55: return "File already open";
    case 57: return "Device I/O error";
    case 58: return "File already exists";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 64: return "Bad file name";
    case 67: return "Too many files";
    case 68: return "Device unavailable";
    case 70: return "Permission denied";
    case 71: return "Disk not ready";
    case 74: return "Can't rename with different drive";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 282: return "No foreign application responded to a DDE initiate";
    case 285: return "Foreign application won't perform DDE method or operation";
    case 286: return "Timeout while waiting for DDE response";
    default: return "";
    }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, RuntimeErrorText(number)) {}

RuntimeError::RuntimeError(int number, std::string text)
    : std::runtime_error("Run-time error '" + std::to_string(number) + "': " + text),
      number_(number), text_(std::move(text)) {}

} // namespace kestovan
