// Fuzz target: the profile (INI) file reader and writer.
//
// The input is split into a section name, a key name, a value and the text
// of the file.  Whatever the text, reading must stay inside the buffer it is
// given, and writing must give a text in which the key reads back as written
// while every other key keeps its value.

#include "platform/ProfileText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

using kestovan::ProfileGetString;
using kestovan::ProfileSameName;
using kestovan::ProfileSetString;
using kestovan::ProfileTrim;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "profile_file: %s\n", what);
    std::abort();
}

// The value as GetPrivateProfileString reads it, through a buffer large
// enough for any value of the text.
std::optional<std::string> Read(const std::optional<std::string>& text, const std::string& section,
                                const std::string& key, const std::string& fallback) {
    std::string buffer((text ? text->size() : 0) + fallback.size() + 1, '#');
    const std::uint32_t count = ProfileGetString(text, section, key, fallback, buffer,
                                                 static_cast<std::uint32_t>(buffer.size()));
    if (count >= buffer.size() || buffer[count] != '\0')
        Fail("the count and the terminating NUL disagree");
    return buffer.substr(0, count);
}

// A name the writer can put on a line of its own that reads back as a key:
// one line, not empty once trimmed, without '=', not taken for a section or
// a comment, and not beginning with a byte order mark (which the reader
// drops at the start of a file).
bool WritableKey(std::string_view key) {
    std::string_view name = ProfileTrim(key);
    return !name.empty() && key.find('\n') == std::string_view::npos &&
           key.find('=') == std::string_view::npos && name.front() != '[' && name.front() != ';' &&
           name.substr(0, 3) != "\xEF\xBB\xBF";
}

bool WritableSection(std::string_view section) {
    return section.find('\n') == std::string_view::npos;
}

bool WritableValue(std::string_view value) {
    return value.find('\n') == std::string_view::npos;
}

std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(64);
    const std::string key = input.ConsumeRandomLengthString(64);
    const std::string value = input.ConsumeRandomLengthString(256);
    const std::string other = input.ConsumeRandomLengthString(32);
    const std::uint32_t small = input.ConsumeIntegralInRange<std::uint32_t>(0, 300);
    const bool exists = input.ConsumeBool();
    const std::optional<std::string> text =
        exists ? std::optional<std::string>(input.ConsumeRemainingBytesAsString()) : std::nullopt;

    // A small buffer: never written past its size, nor past the size given.
    std::string buffer(small / 2, '#');
    const std::uint32_t count = ProfileGetString(text, section, key, value, buffer, small);
    const std::size_t capacity = std::min<std::size_t>(small, buffer.size());
    if (capacity == 0 ? count != 0 : count >= capacity)
        Fail("read more than the buffer holds");

    const std::string written = ProfileSetString(text, section, key, value);
    if (!WritableKey(key) || !WritableSection(section) || !WritableValue(value))
        return 0;

    if (Read(written, section, key, "\x01") != Unquote(ProfileTrim(value)))
        Fail("the value written does not read back");
    // Every other key of the section, and the same key in another section,
    // keeps its value.
    if (!ProfileSameName(other, key) &&
        Read(text, section, other, "\x01") != Read(written, section, other, "\x01"))
        Fail("writing one key changed another key of its section");
    if (!ProfileSameName(other, section) &&
        Read(text, other, key, "\x01") != Read(written, other, key, "\x01"))
        Fail("writing one key changed a key of another section");
    // Writing the same value again changes nothing.
    if (ProfileSetString(written, section, key, value) != written && ProfileTrim(value) == value)
        Fail("writing a value the key already holds changed the text");
    return 0;
}
