// Fuzz target: the split of Program Manager's group-list reply.
//
// Whatever the reply, the split must end, keep at most the names asked for,
// give only names without blanks around them and without a carriage return,
// and count at least as many names as it keeps.  A reply made of CR LF lines
// gives exactly its non-empty lines.

#include "state/GroupList.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "group_list: %s\n", what);
    std::abort();
}

std::string TrimSpaces(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t maxNames = input.ConsumeIntegralInRange<std::size_t>(0, 300);
    const std::string reply = input.ConsumeRemainingBytesAsString();

    std::size_t total = 0;
    const std::vector<std::string> names = kestovan::SplitGroupList(reply, maxNames, &total);
    if (names.size() > maxNames)
        Fail("more names than asked for");
    if (total < names.size())
        Fail("the count is smaller than the names kept");
    if (names != kestovan::SplitGroupList(reply, maxNames))
        Fail("the names depend on whether the count is asked for");
    for (const std::string& name : names) {
        if (name.empty() || name.front() == ' ' || name.back() == ' ')
            Fail("an empty name, or one with blanks around it");
        if (name.find('\r') != std::string::npos)
            Fail("a name holds a carriage return");
    }

    // A proper reply: the same text with every line ended by CR LF.
    std::vector<std::string> lines;
    std::string proper;
    std::size_t start = 0;
    for (;;) {
        std::size_t stop = reply.find_first_of("\r\n", start);
        std::string line =
            reply.substr(start, stop == std::string::npos ? std::string::npos : stop - start);
        proper += line + "\r\n";
        if (!TrimSpaces(line).empty())
            lines.push_back(TrimSpaces(line));
        if (stop == std::string::npos)
            break;
        start = stop + 1;
    }
    std::size_t properTotal = 0;
    const std::vector<std::string> properNames =
        kestovan::SplitGroupList(proper, maxNames, &properTotal);
    if (properTotal != lines.size())
        Fail("a proper reply is not counted line by line");
    if (lines.size() > maxNames)
        lines.resize(maxNames);
    if (properNames != lines)
        Fail("a proper reply does not give its lines");
    return 0;
}
