#pragma once
// The Win32 handle kinds the program owns, each with its own close call and empty value.
#include <windows.h>

#include <dbt.h>
#include <oleauto.h>
#include <setupapi.h>

#include "base/UniqueResource.h"

namespace base {

namespace detail {
inline HANDLE InvalidHandle() noexcept {
    return INVALID_HANDLE_VALUE;
}
inline HDEVINFO InvalidDevInfo() noexcept {
    return INVALID_HANDLE_VALUE;
}
inline void CloseHandleFn(HANDLE h) noexcept {
    (void)::CloseHandle(h);
}
inline void DestroyDevInfo(HDEVINFO h) noexcept {
    (void)::SetupDiDestroyDeviceInfoList(h);
}
inline void UnregisterDevNotify(HDEVNOTIFY h) noexcept {
    (void)::UnregisterDeviceNotification(h);
}
inline void CloseKey(HKEY h) noexcept {
    (void)::RegCloseKey(h);
}
inline void DestroyIconFn(HICON h) noexcept {
    (void)::DestroyIcon(h);
}
inline void DeleteObjectFn(HGDIOBJ h) noexcept {
    (void)::DeleteObject(h);
}
inline void DestroyMenuFn(HMENU h) noexcept {
    (void)::DestroyMenu(h);
}
inline void FreeLibraryFn(HMODULE h) noexcept {
    (void)::FreeLibrary(h);
}
inline void GlobalFreeFn(HGLOBAL h) noexcept {
    (void)::GlobalFree(h);
}
inline void DestroyWindowFn(HWND h) noexcept {
    (void)::DestroyWindow(h);
}
inline void FindCloseFn(HANDLE h) noexcept {
    (void)::FindClose(h);
}
inline void FreeBstr(BSTR s) noexcept {
    ::SysFreeString(s);
}
template <typename T>
void ReleaseCom(T* p) noexcept {
    (void)p->Release();
}
}  // namespace detail

using unique_hfile = UniqueResource<HANDLE, &detail::CloseHandleFn, &detail::InvalidHandle>;  // CreateFile
using unique_handle = UniqueResource<HANDLE, &detail::CloseHandleFn>;                         // events, mutexes
using unique_hdevinfo = UniqueResource<HDEVINFO, &detail::DestroyDevInfo, &detail::InvalidDevInfo>;
using unique_hdevnotify = UniqueResource<HDEVNOTIFY, &detail::UnregisterDevNotify>;
using unique_hkey = UniqueResource<HKEY, &detail::CloseKey>;
using unique_hicon = UniqueResource<HICON, &detail::DestroyIconFn>;
using unique_hfont = UniqueResource<HFONT, &detail::DeleteObjectFn>;
using unique_hmenu = UniqueResource<HMENU, &detail::DestroyMenuFn>;
using unique_hmodule = UniqueResource<HMODULE, &detail::FreeLibraryFn>;  // LoadLibrary
using unique_hglobal = UniqueResource<HGLOBAL, &detail::GlobalFreeFn>;
using unique_hwnd = UniqueResource<HWND, &detail::DestroyWindowFn>;  // windows this program creates itself
using unique_hfind = UniqueResource<HANDLE, &detail::FindCloseFn, &detail::InvalidHandle>;  // FindFirstFile
using unique_bstr = UniqueResource<BSTR, &detail::FreeBstr>;
template <typename T>
using com_ptr = UniqueResource<T*, &detail::ReleaseCom<T>>;  // a COM interface pointer, released once

}  // namespace base
