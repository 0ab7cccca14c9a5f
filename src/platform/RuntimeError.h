#pragma once

#include <stdexcept>
#include <string>

namespace kestovan {

// Classic Basic run-time error numbers used by the platform layer.
namespace err {
inline constexpr int InvalidProcedureCall = 5;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int BadFileNameOrNumber = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int DeviceIoError = 57;
inline constexpr int DiskFull = 61;
inline constexpr int BadFileName = 64;
inline constexpr int PermissionDenied = 70;
inline constexpr int DiskNotReady = 71;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int DdeNoForeignApplication = 282;
inline constexpr int DdeMethodRefused = 285;
} // namespace err

// The text the classic run-time gives for an error number ("" when unknown).
std::string RuntimeErrorText(int number);

// A failed platform operation: carries the run-time error number and the text
// that Error$ reads.  This is the only exception type the platform raises.
class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(int number);
    RuntimeError(int number, std::string text);

    int Number() const noexcept { return number_; }
    const std::string& Text() const noexcept { return text_; }

private:
    int number_;
    std::string text_;
};

} // namespace kestovan
