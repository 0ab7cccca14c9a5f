#include "platform/win32/DdeConversation.h"

#include "platform/RuntimeError.h"
#include "platform/win32/Win32Api.h"

#include <ddeml.h>

#include <vector>

namespace kestovan::win32 {

namespace {

// How long a request or a command may take before it counts as unanswered.
constexpr DWORD TransactionTimeoutMs = 10000;
constexpr int DdeTimeout = 286;

// A client-only instance receives no transactions; the callback has nothing
// to do.
HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

[[noreturn]] void RaiseTransactionError(DWORD instance) {
    const UINT error = ::DdeGetLastError(instance);
    if (error == DMLERR_DATAACKTIMEOUT || error == DMLERR_EXECACKTIMEOUT ||
        error == DMLERR_POKEACKTIMEOUT || error == DMLERR_ADVACKTIMEOUT) {
        throw RuntimeError(DdeTimeout);
    }
    throw RuntimeError(err::DdeMethodRefused);
}

} // namespace

struct DdeConversation::State {
    DWORD instance = 0;
    HCONV conversation = nullptr;
    std::vector<HSZ> strings;

    HSZ String(const std::string& text) {
        HSZ handle = ::DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI);
        if (handle != nullptr)
            strings.push_back(handle);
        return handle;
    }

    ~State() {
        if (conversation != nullptr)
            ::DdeDisconnect(conversation);
        for (HSZ handle : strings)
            ::DdeFreeStringHandle(instance, handle);
        if (instance != 0)
            ::DdeUninitialize(instance);
    }
};

DdeConversation::DdeConversation(const std::string& link) : state_(std::make_unique<State>()) {
    const auto bar = link.find('|');
    if (bar == std::string::npos || bar == 0 || bar + 1 == link.size())
        throw RuntimeError(err::DdeNoForeignApplication);
    if (::DdeInitializeA(&state_->instance, ClientCallback,
                         APPCMD_CLIENTONLY | CBF_SKIP_ALLNOTIFICATIONS, 0) != DMLERR_NO_ERROR) {
        state_->instance = 0;
        throw RuntimeError(err::DdeNoForeignApplication);
    }
    HSZ service = state_->String(link.substr(0, bar));
    HSZ topic = state_->String(link.substr(bar + 1));
    if (service == nullptr || topic == nullptr)
        throw RuntimeError(err::DdeNoForeignApplication);
    state_->conversation = ::DdeConnect(state_->instance, service, topic, nullptr);
    if (state_->conversation == nullptr)
        throw RuntimeError(err::DdeNoForeignApplication);
}

DdeConversation::~DdeConversation() = default;

std::string DdeConversation::Request(const std::string& item) {
    HSZ itemHandle = state_->String(item);
    if (itemHandle == nullptr)
        throw RuntimeError(err::DdeMethodRefused);
    DWORD result = 0;
    HDDEDATA data = ::DdeClientTransaction(nullptr, 0, state_->conversation, itemHandle, CF_TEXT,
                                           XTYP_REQUEST, TransactionTimeoutMs, &result);
    if (data == nullptr)
        RaiseTransactionError(state_->instance);
    const DWORD size = ::DdeGetData(data, nullptr, 0, 0);
    std::string text(size, '\0');
    if (size != 0)
        ::DdeGetData(data, reinterpret_cast<LPBYTE>(text.data()), size, 0);
    ::DdeFreeDataHandle(data);
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    return text;
}

void DdeConversation::Execute(const std::string& command) {
    std::string buffer = command;
    DWORD result = 0;
    HDDEDATA done = ::DdeClientTransaction(
        reinterpret_cast<LPBYTE>(buffer.data()), static_cast<DWORD>(buffer.size() + 1),
        state_->conversation, nullptr, 0, XTYP_EXECUTE, TransactionTimeoutMs, &result);
    if (done == nullptr)
        RaiseTransactionError(state_->instance);
}

} // namespace kestovan::win32
