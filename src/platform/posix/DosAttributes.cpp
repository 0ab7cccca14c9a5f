#include "platform/posix/DosAttributes.h"

#include "platform/RuntimeError.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace kestovan::posix {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool NoXattrSupport(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// The raw value, or nullopt when there is none or it cannot be read.
std::optional<std::string> ReadRaw(const std::filesystem::path& path) {
    std::vector<char> buffer(64);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t n = ::getxattr(path.c_str(), DosAttribName, buffer.data(), buffer.size());
        if (n >= 0)
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        if (errno != ERANGE)
            return std::nullopt;
        const ssize_t needed = ::getxattr(path.c_str(), DosAttribName, nullptr, 0);
        if (needed < 0)
            return std::nullopt;
        buffer.resize(static_cast<std::size_t>(needed) + 1);
    }
    return std::nullopt;
}

} // namespace

std::optional<unsigned> ParseDosAttrib(std::string_view value) {
    if (value.size() >= 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X'))
        value.remove_prefix(2);
    unsigned result = 0;
    std::size_t digits = 0;
    for (char c : value) {
        const int d = HexDigit(c);
        if (d < 0)
            break;
        if (++digits > 8)
            return std::nullopt;
        result = result * 16 + static_cast<unsigned>(d);
    }
    if (digits == 0)
        return std::nullopt;
    return result;
}

std::string FormatDosAttrib(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

unsigned ReadDosAttrib(const std::filesystem::path& path) {
    const auto raw = ReadRaw(path);
    if (!raw)
        return 0;
    return ParseDosAttrib(*raw).value_or(0);
}

ssize_t GetXattrAt(int dirFd, const char* name, const char* attribute, void* value,
                   std::size_t size) {
#ifndef SYS_getxattrat
    // The same number on every architecture that has it (the common table).
    constexpr long SYS_getxattrat = 464;
#endif
    // The kernel's struct xattr_args.
    struct {
        std::uint64_t value;
        std::uint32_t size;
        std::uint32_t flags;
    } args{reinterpret_cast<std::uintptr_t>(value), static_cast<std::uint32_t>(size), 0};
    return ::syscall(SYS_getxattrat, dirFd, name, 0, attribute, &args, sizeof args);
}

void WriteDosAttrib(const std::filesystem::path& path, unsigned value) {
    const auto raw = ReadRaw(path);
    const unsigned current = raw ? ParseDosAttrib(*raw).value_or(0) : 0;
    if (current == value)
        return;
    int rc = 0;
    if (value == 0) {
        rc = ::removexattr(path.c_str(), DosAttribName);
        if (rc != 0 && errno == ENODATA)
            rc = 0;
    } else {
        const std::string text = FormatDosAttrib(value);
        rc = ::setxattr(path.c_str(), DosAttribName, text.data(), text.size(), 0);
    }
    if (rc == 0 || NoXattrSupport(errno))
        return;
    if (errno == EPERM || errno == EACCES)
        throw RuntimeError(err::PermissionDenied);
    if (errno == ENOENT)
        throw RuntimeError(err::FileNotFound);
    throw RuntimeError(err::PathFileAccessError);
}

} // namespace kestovan::posix
