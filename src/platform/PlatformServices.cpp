#include "platform/PlatformServices.h"

namespace kestovan {

long PlatformServices::RegSetDefaults(
    std::uint32_t root, const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [subKey, text] : values) {
        std::uint32_t key = 0;
        long result = RegCreateKeyA(root, subKey, key);
        if (result != ErrorSuccess)
            return result;
        result = RegSetValueA(key, "", RegSz, text, 0);
        RegCloseKey(key);
        if (result != ErrorSuccess)
            return result;
    }
    return ErrorSuccess;
}

} // namespace kestovan
