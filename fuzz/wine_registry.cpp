// Fuzz target: the Wine registry file reader and writer.
//
// The input is a hive text, optionally followed (after a NUL byte) by a list
// of edits.  A text the reader refuses must raise RuntimeError and nothing
// else; a text it takes must serialize back byte for byte; after every edit
// the written text must be readable again and give the same keys and values
// as the hive that wrote it.

#include "platform/RuntimeError.h"
#include "platform/posix/WineRegistry.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using kestovan::RuntimeError;
using kestovan::posix::RegistryHive;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "wine_registry: %s\n", what);
    std::abort();
}

// Valid UTF-8 without encoded surrogates: the texts that come back from the
// hive exactly as they were given.
bool ExactUtf8(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = lead < 0x80             ? 1
                             : (lead & 0xE0) == 0xC0 ? 2
                             : (lead & 0xF0) == 0xE0 ? 3
                             : (lead & 0xF8) == 0xF0 ? 4
                                                     : 0;
        if (length == 0 || at + length > text.size())
            return false;
        std::uint32_t cp = length == 1   ? lead
                           : length == 2 ? lead & 0x1F
                           : length == 3 ? lead & 0x0F
                                         : lead & 0x07;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[at + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t Minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < Minimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
            return false;
        at += length;
    }
    return true;
}

// The key tree below a key, as sub-key paths, depth first.
void Walk(const RegistryHive& hive, const std::string& key, int depth,
          std::vector<std::string>& out) {
    if (depth > 16)
        return;
    for (const std::string& name : hive.SubKeyNames(key)) {
        const std::string path = key.empty() ? name : key + "\\" + name;
        out.push_back(path);
        Walk(hive, path, depth + 1, out);
    }
}

std::vector<std::string> Tree(const RegistryHive& hive) {
    std::vector<std::string> keys;
    Walk(hive, "", 0, keys);
    return keys;
}

struct Edit {
    enum Kind { Set, Create, Delete } kind;
    std::string key;
    std::string name;
    std::string value;
};

// The written hive read back: same text, same keys, same values for the
// names the edits touched.
void CheckRoundTrip(const RegistryHive& hive, const std::vector<Edit>& edits) {
    const std::string text = hive.Serialize();
    std::optional<RegistryHive> again;
    try {
        again = RegistryHive::Parse(text);
    } catch (const RuntimeError&) {
        Fail("the hive wrote a text it cannot read back");
    }
    if (again->Serialize() != text)
        Fail("the text read back serializes differently");
    if (Tree(*again) != Tree(hive))
        Fail("the keys read back differ");
    for (const Edit& edit : edits) {
        if (again->KeyExists(edit.key) != hive.KeyExists(edit.key))
            Fail("a key's existence differs after reading back");
        if (again->GetString(edit.key, edit.name) != hive.GetString(edit.key, edit.name))
            Fail("a value differs after reading back");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = all.find('\0');
    const std::string text = all.substr(0, nul);

    std::optional<RegistryHive> hive;
    try {
        hive = RegistryHive::Parse(text);
    } catch (const RuntimeError& error) {
        if (error.Number() != 75)
            Fail("a refused text raised another error than 75");
        return 0;
    }
    if (hive->Serialize() != text)
        Fail("a text read unchanged does not serialize byte for byte");
    (void)hive->RootPath();
    (void)hive->Architecture();

    if (nul == std::string::npos)
        return 0;
    const std::string rest = all.substr(nul + 1);
    FuzzedDataProvider input(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
    std::vector<Edit> edits;
    while (input.remaining_bytes() > 0 && edits.size() < 8) {
        Edit edit;
        edit.kind = static_cast<Edit::Kind>(input.ConsumeIntegralInRange<int>(0, 2));
        edit.key = input.ConsumeRandomLengthString(48);
        edit.name = input.ConsumeRandomLengthString(16);
        edit.value = input.ConsumeRandomLengthString(48);
        switch (edit.kind) {
        case Edit::Set:
            hive->SetString(edit.key, edit.name, edit.value);
            if (ExactUtf8(edit.value) && ExactUtf8(edit.name) &&
                hive->GetString(edit.key, edit.name) != edit.value)
                Fail("a value set does not read back");
            break;
        case Edit::Create:
            hive->CreateKey(edit.key);
            if (!hive->KeyExists(edit.key))
                Fail("a key created does not exist");
            break;
        case Edit::Delete: try { hive->DeleteKeyTree(edit.key);
            } catch (const RuntimeError& error) {
                if (error.Number() != 5)
                    Fail("deleting a key raised another error than 5");
                break;
            }
            if (hive->KeyExists(edit.key) && !edit.key.empty())
                Fail("a key deleted still exists");
            break;
        }
        edits.push_back(edit);
        CheckRoundTrip(*hive, edits);
    }
    return 0;
}
