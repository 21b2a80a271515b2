#pragma once
// Libraries loaded when first needed rather than at start. Every library the loader brings in
// at start costs start-up time and memory, and some cost far more than the few calls made of
// them (winmm brings the audio codec manager with it). Loaded from the system folder only,
// never from a copy planted beside the program.
#include <windows.h>

#include "base/win/Handles_win.h"

namespace base::win {

inline unique_hmodule LoadSystemLibrary(const wchar_t* name) noexcept {
    return unique_hmodule{::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)};
}

// The export `name` of `library` as a pointer of type Fn; null when either is missing.
template <typename Fn>
Fn LibraryFunction(const unique_hmodule& library, const char* name) noexcept {
    return library ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library.get(), name))) : nullptr;
}

}  // namespace base::win
