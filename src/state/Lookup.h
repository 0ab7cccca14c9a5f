#pragma once

#include "platform/PlatformServices.h"
#include "platform/RuntimeError.h"

#include <string>

namespace kestovan {

// Every lookup of discovery is a question: a failure is an answer of "no"
// (the given otherwise).
template <class Result, class Read> Result Ask(Result otherwise, Read read) {
    try {
        return read();
    } catch (const RuntimeError&) {
        return otherwise;
    }
}

// Whether Dir finds path with the attribute mask; a failing lookup is "no".
inline bool Exists(PlatformServices& platform, const std::string& path, int mask) {
    return Ask(false, [&] { return !platform.Dir(path, mask).empty(); });
}

} // namespace kestovan
