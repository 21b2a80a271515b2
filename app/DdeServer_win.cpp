#include "app/DdeServer_win.h"

#include <cstring>

#include "app/DdeLink.h"
#include "base/win/Handles_win.h"
#include "base/win/WinText_win.h"

namespace app {

namespace {
// DDEML hands its callback no context, and one process serves one topic: one server at most.
DdeServer* g_server = nullptr;
}  // namespace

bool DdeServer::Start(const std::string& topic, TextSource source) {
    Stop();
    _source = std::move(source);
    const DWORD flags = APPCLASS_STANDARD | CBF_FAIL_EXECUTES | CBF_FAIL_POKES | CBF_SKIP_REGISTRATIONS |
                        CBF_SKIP_UNREGISTRATIONS | CBF_SKIP_CONNECT_CONFIRMS | CBF_SKIP_DISCONNECTS;
    if (::DdeInitializeA(&_instance, &DdeServer::Callback, flags, 0) != DMLERR_NO_ERROR) {
        _instance = 0;
        return false;
    }
    g_server = this;
    auto name = [this](const std::string& text) {
        const std::string ansi = base::win::Utf8ToAnsi(text);  // the program's name may be beyond ASCII
        return unique_hsz{::DdeCreateStringHandleA(_instance, ansi.c_str(), CP_WINANSI), DdeStringFree{_instance}};
    };
    _service = name(std::string(kDdeApplication));
    _topic = name(topic);
    _item = name(std::string(kDdeItem));
    if (!_service || !_topic || !_item ||
        ::DdeNameService(_instance, _service.get(), nullptr, DNS_REGISTER) == nullptr) {
        Stop();
        return false;
    }
    return true;
}

void DdeServer::Stop() {
    if (_instance == 0) {
        return;
    }
    if (_service) {
        (void)::DdeNameService(_instance, _service.get(), nullptr, DNS_UNREGISTER);
    }
    _service.reset();
    _topic.reset();
    _item.reset();
    (void)::DdeUninitialize(_instance);  // also ends every open conversation
    _instance = 0;
    if (g_server == this) {
        g_server = nullptr;
    }
}

void DdeServer::WeightChanged() {
    if (_instance != 0) {
        (void)::DdePostAdvise(_instance, _topic.get(), _item.get());
    }
}

bool DdeServer::IsOurs(HSZ hsz, HSZ ours) const {
    return hsz != nullptr && ::DdeCmpStringHandles(hsz, ours) == 0;  // case-insensitive
}

HDDEDATA DdeServer::WeightData(UINT format) {
    if (format != CF_TEXT || !_source) {
        return nullptr;
    }
    // DDE clients read CF_TEXT in the system's ANSI code page; the weight is UTF-8 inside.
    const std::string text = base::win::Utf8ToAnsi(_source());
    return ::DdeCreateDataHandle(_instance, reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str())),
                                 static_cast<DWORD>(text.size() + 1), 0, _item.get(), CF_TEXT, 0);
}

HDDEDATA DdeServer::OnTransaction(UINT type, UINT format, HSZ hsz1, HSZ hsz2) {
    switch (type) {
        case XTYP_CONNECT:  // hsz1 topic, hsz2 service
            return reinterpret_cast<HDDEDATA>(
                static_cast<INT_PTR>(IsOurs(hsz1, _topic.get()) && IsOurs(hsz2, _service.get())));
        case XTYP_WILDCONNECT: {
            // A client that leaves the topic or the service open still finds us.
            const bool topicOk = hsz1 == nullptr || IsOurs(hsz1, _topic.get());
            const bool serviceOk = hsz2 == nullptr || IsOurs(hsz2, _service.get());
            if (!topicOk || !serviceOk) {
                return nullptr;
            }
            HSZPAIR pairs[2] = {{_service.get(), _topic.get()}, {nullptr, nullptr}};
            return ::DdeCreateDataHandle(_instance, reinterpret_cast<LPBYTE>(pairs), sizeof(pairs), 0, nullptr, 0, 0);
        }
        case XTYP_REQUEST:  // hsz1 topic, hsz2 item
        case XTYP_ADVREQ:
            if (IsOurs(hsz1, _topic.get()) && IsOurs(hsz2, _item.get())) {
                return WeightData(format);
            }
            return nullptr;
        case XTYP_ADVSTART:
            return reinterpret_cast<HDDEDATA>(
                static_cast<INT_PTR>(IsOurs(hsz1, _topic.get()) && IsOurs(hsz2, _item.get()) && format == CF_TEXT));
        default:
            return nullptr;
    }
}

HDDEDATA CALLBACK
DdeServer::Callback(UINT type, UINT format, HCONV, HSZ hsz1, HSZ hsz2, HDDEDATA, ULONG_PTR, ULONG_PTR) noexcept {
    if (g_server == nullptr) {
        return nullptr;
    }
    try {
        return g_server->OnTransaction(type, format, hsz1, hsz2);
    } catch (...) {
        return nullptr;  // a failed transaction is the client's "not processed", nothing more
    }
}

namespace {

// Hands a copy of `bytes` to the clipboard under `format`; the clipboard owns it on success.
void OfferClipboardData(UINT format, const std::string& bytes) {
    base::unique_hglobal memory{::GlobalAlloc(GMEM_MOVEABLE, bytes.size())};
    if (!memory) {
        return;
    }
    if (void* target = ::GlobalLock(memory.get())) {
        const base::ScopeExit unlock{[&] { (void)::GlobalUnlock(memory.get()); }};
        std::memcpy(target, bytes.data(), bytes.size());
    } else {
        return;
    }
    if (::SetClipboardData(format, memory.get()) != nullptr) {
        (void)memory.release();
    }
}

}  // namespace

void CopyWeightToClipboard(HWND owner, const std::string& topic, const std::string& weightText) {
    if (!::OpenClipboard(owner)) {
        return;
    }
    const base::ScopeExit close{[] { (void)::CloseClipboard(); }};
    (void)::EmptyClipboard();
    const UINT linkFormat = ::RegisterClipboardFormatA("Link");
    if (linkFormat != 0) {
        OfferClipboardData(linkFormat, BuildLinkFormat(base::win::Utf8ToAnsi(topic)));
    }
    // Both forms: CF_TEXT for the programs that read only it, in the ANSI code page, and
    // CF_UNICODETEXT so that a separator the code page lacks (U+202F) is pasted as it is.
    OfferClipboardData(CF_TEXT, base::win::Utf8ToAnsi(weightText) + '\0');
    const std::wstring wide = base::win::ToWide(weightText);
    OfferClipboardData(CF_UNICODETEXT,
                       std::string(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * sizeof(wchar_t)));
}

}  // namespace app
