#pragma once

#include <memory>
#include <string>

namespace kestovan::win32 {

// One DDEML client conversation, opened on construction and closed (with the
// DDEML instance) on destruction.  `link` is "service|topic", as a DDE
// client's LinkTopic.  Failures are run-time errors: 282 when no server
// answers the initiate, 285 when the server refuses a request or a command,
// 286 when it does not answer in time.
class DdeConversation {
public:
    explicit DdeConversation(const std::string& link);
    ~DdeConversation();
    DdeConversation(const DdeConversation&) = delete;
    DdeConversation& operator=(const DdeConversation&) = delete;

    // The item's data in text format (CF_TEXT), up to its first NUL.
    std::string Request(const std::string& item);
    void Execute(const std::string& command);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace kestovan::win32
