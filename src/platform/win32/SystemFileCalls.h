#pragma once

#include "platform/win32/LinkRules.h"

namespace kestovan::win32 {

// The link rules' calls made on Windows itself.  Open reads the final path
// with GetFinalPathNameByHandleA; on a system without that call (older than
// Vista) it gives the full path of the name, no link followed.
class SystemFileCalls : public FileCalls {
public:
    std::optional<std::uint32_t> FileAttributes(const std::string& path) const override;
    std::optional<OpenedPath> Open(const std::string& path) const override;
    std::optional<std::string> SpecialFolder(int csidl) const override;
};

} // namespace kestovan::win32
