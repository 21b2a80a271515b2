#pragma once
// One move-only owner for every kind of handle the program holds. The close function and the
// value that means "nothing held" are part of the type, so a HID file handle
// (INVALID_HANDLE_VALUE when empty) and an event handle (null when empty) cannot be confused.
// Portable: the Win32 aliases live in base/win/Handles_win.h.
#include <type_traits>
#include <utility>

namespace base {

template <typename T>
constexpr T NullValue() noexcept {
    return T{};
}

// CloseFn(T) releases a value; InvalidFn() gives the value that means "nothing held".
template <typename T, auto CloseFn, auto InvalidFn = &NullValue<T>>
class UniqueResource {
  public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(T value) noexcept : _value(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : _value(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueResource() { reset(); }

    [[nodiscard]] T get() const noexcept { return _value; }
    [[nodiscard]] bool valid() const noexcept { return _value != Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Closes what is held, then takes ownership of `value`.
    void reset(T value = Invalid()) noexcept {
        T old = std::exchange(_value, value);
        if (old != Invalid()) {
            CloseFn(old);
        }
    }
    [[nodiscard]] T release() noexcept { return std::exchange(_value, Invalid()); }
    // For out-parameters: closes what is held and hands out the slot to fill.
    T* put() noexcept {
        reset();
        return &_value;
    }

  private:
    static T Invalid() noexcept { return InvalidFn(); }
    T _value = Invalid();
};

// Runs `cleanup` when the scope ends, for the one-off pairs that hold no single handle
// (OpenClipboard/CloseClipboard, GlobalLock/GlobalUnlock, GetDC/ReleaseDC). Dismiss() keeps it
// from running, for the path where ownership has passed elsewhere.
template <typename Fn>
class ScopeExit {
  public:
    explicit ScopeExit(Fn cleanup) noexcept : _cleanup(std::move(cleanup)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() {
        if (_armed) {
            _cleanup();
        }
    }
    void Dismiss() noexcept { _armed = false; }

  private:
    Fn _cleanup;
    bool _armed = true;
};

}  // namespace base
