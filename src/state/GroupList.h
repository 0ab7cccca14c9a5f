#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestovan {

// Splits Program Manager's reply to the request of item "PROGMAN" into group
// names: while the text still holds a CR, the next line is the text before
// the first CR with its blanks trimmed, and the text goes on after the first
// LF.  Empty lines are dropped and text after the last CR is not a line.
// At most maxNames names are returned; when totalNames is given it receives
// the number of names in the whole reply, so a caller can tell that some
// were dropped.
//
// Program Manager ends every line with CR LF.  For any other reply the LF is
// looked for in the whole remaining text, as the program always did (so
// "a\nb\r\n" gives "a\nb" and then "b"), and when no LF is left at all the
// text goes on right after the CR, so that the splitting always ends.
std::vector<std::string> SplitGroupList(const std::string& reply, std::size_t maxNames,
                                        std::size_t* totalNames = nullptr);

} // namespace kestovan
