#pragma once
// The main window's DDE link source: serves the Weight box text as item "Weight" under
// application "Pesora" and the executable's name as topic, on request and on advise links.
#include <windows.h>

#include <ddeml.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>

namespace app {

// A DDE string handle, freed through the DDEML instance that made it.
struct DdeStringFree {
    DWORD instance = 0;
    void operator()(HSZ hsz) const noexcept { (void)::DdeFreeStringHandle(instance, hsz); }
};
using unique_hsz = std::unique_ptr<std::remove_pointer_t<HSZ>, DdeStringFree>;

class DdeServer {
  public:
    using TextSource = std::function<std::string()>;

    DdeServer() = default;
    DdeServer(const DdeServer&) = delete;
    DdeServer& operator=(const DdeServer&) = delete;
    ~DdeServer() { Stop(); }

    // Registers the service; false when DDE is unavailable (the program works on without it).
    bool Start(const std::string& topic, TextSource source);
    void Stop();
    // Tells advise links that the weight changed; they ask for the new text.
    void WeightChanged();

  private:
    static HDDEDATA CALLBACK Callback(UINT type,
                                      UINT format,
                                      HCONV conv,
                                      HSZ hsz1,
                                      HSZ hsz2,
                                      HDDEDATA data,
                                      ULONG_PTR data1,
                                      ULONG_PTR data2) noexcept;
    HDDEDATA OnTransaction(UINT type, UINT format, HSZ hsz1, HSZ hsz2);
    [[nodiscard]] bool IsOurs(HSZ hsz, HSZ ours) const;
    HDDEDATA WeightData(UINT format);

    DWORD _instance = 0;
    unique_hsz _service;
    unique_hsz _topic;
    unique_hsz _item;
    TextSource _source;
};

// Edit > Copy: clears the clipboard, then offers the DDE link and the weight as text. A step
// that fails is skipped and the next one runs; the clipboard keeps what got there.
void CopyWeightToClipboard(HWND owner, const std::string& topic, const std::string& weightText);

}  // namespace app
