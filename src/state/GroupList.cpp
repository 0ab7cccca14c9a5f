#include "state/GroupList.h"

#include "state/Text.h"

#include <string_view>

namespace kestovan {

std::vector<std::string> SplitGroupList(const std::string& reply, std::size_t maxNames,
                                        std::size_t* totalNames) {
    std::vector<std::string> names;
    std::size_t total = 0;
    std::string_view text = reply;
    for (;;) {
        const std::size_t cr = text.find('\r');
        if (cr == std::string_view::npos)
            break;
        std::string name = Trim(text.substr(0, cr));
        // Every turn moves on by at least one character.
        const std::size_t lf = text.find('\n');
        text.remove_prefix((lf != std::string_view::npos ? lf : cr) + 1);
        if (name.empty())
            continue;
        ++total;
        if (names.size() < maxNames)
            names.push_back(std::move(name));
        else if (totalNames == nullptr)
            break; // nobody asked how many there are
    }
    if (totalNames != nullptr)
        *totalNames = total;
    return names;
}

} // namespace kestovan
