#include "weighing/SettledSend.h"

#include <algorithm>

#include "weighing/ReadCycle.h"
#include "weighing/ScaleReport.h"

namespace weighing {

namespace {

constexpr uint8_t kStatusAtZero = 2;
constexpr uint8_t kStatusStable = 4;

constexpr std::string_view kNotSettled = "the weight did not settle";
constexpr std::string_view kNoStableWeight = "no stable weight";

// Readings that tell where the platform stands; faults and calibration requests tell nothing.
bool Weighed(uint8_t status) {
    return Settled(status) || status == kStatusInMotion;
}

}  // namespace

bool Settled(uint8_t status) {
    return status == kStatusAtZero || status == kStatusStable || status == kStatusUnderZero;
}

std::string SettledStatusLine(std::string_view notice,
                              std::string_view scaleCaption,
                              bool handsFree,
                              std::string_view webNotice) {
    if (!notice.empty()) {
        return std::string(notice);
    }
    if (!scaleCaption.empty()) {
        return std::string(scaleCaption);
    }
    if (!handsFree) {
        return std::string(webNotice);
    }
    std::string line(kHandsFreeText);
    if (!webNotice.empty()) {
        line += " - ";
        line += webNotice;
    }
    return line;
}

// Without StableOnly the press types whatever is shown, as it always did. A stable weight typed
// by hand counts as its placement's send either way: hands-free must not type the parcel again.
SettledSend::Press SettledSend::HotkeyPressed(const ShownReading& reading, int64_t nowMs) {
    if (_waitUntil) {
        return Press::AlreadyWaiting;
    }
    const bool placementTyped =
        reading.hasWeight && reading.status == kStatusStable && reading.value > _settings.AutoSendMin;
    if (!_settings.StableOnly || (reading.hasWeight && Settled(reading.status))) {
        if (placementTyped) {
            _armed = false;
            _stableSince.reset();
        }
        return Press::TypeNow;
    }
    if (!reading.hasWeight) {
        (void)Refuse(kScaleNotFound, nowMs);
    } else if (reading.status == kStatusOverWeight || reading.status == kStatusRequiresRezero) {
        (void)Refuse(StatusCaption(reading.status), nowMs);
    } else if (reading.status != kStatusInMotion) {
        (void)Refuse(kNoStableWeight, nowMs);
    } else if (_settings.StableWaitMs <= 0) {
        (void)Refuse(kNotSettled, nowMs);
    } else {
        _waitUntil = nowMs + _settings.StableWaitMs;
        return Press::Waiting;
    }
    return Press::Refused;
}

SettledSend::Action SettledSend::ReadingShown(const ShownReading& reading, int64_t nowMs, bool blocked) {
    Action action = Action::None;
    if (_waitUntil) {
        if (!reading.hasWeight) {
            action = Refuse(kScaleNotFound, nowMs);
        } else if (Settled(reading.status)) {
            _waitUntil.reset();
            action = Action::TypeWaited;
        } else if (reading.status == kStatusOverWeight || reading.status == kStatusRequiresRezero) {
            action = Refuse(StatusCaption(reading.status), nowMs);
        }
        // Motion and the rest: the deadline decides.
    }

    // The placement. Negative readings are at or below any minimum: the platform was emptied.
    // An overloaded one says nothing of what lies on it; nor does a fault.
    if (!reading.hasWeight || !Weighed(reading.status)) {
        _stableSince.reset();
    } else if (reading.value <= _settings.AutoSendMin) {
        _armed = true;
        _stableSince.reset();
    } else if (reading.status != kStatusStable) {
        _stableSince.reset();  // moving: the settle time starts again with the next stable report
    } else if (!_stableSince || reading.value != _stableValue) {
        _stableSince = nowMs;
        _stableValue = reading.value;
    }
    if (action == Action::TypeWaited && reading.status == kStatusStable && reading.value > _settings.AutoSendMin) {
        _armed = false;  // the waiting press typed this placement
        _stableSince.reset();
    }
    return action != Action::None ? action : SettleDue(nowMs, blocked);
}

SettledSend::Action SettledSend::Tick(int64_t nowMs, bool scaleRead, bool blocked) {
    if (!_notice.empty() && nowMs >= _noticeUntil) {
        _notice.clear();
    }
    if (_waitUntil) {
        if (!scaleRead) {
            return Refuse(kScaleNotFound, nowMs);
        }
        if (nowMs >= *_waitUntil) {
            return Refuse(kNotSettled, nowMs);
        }
    }
    if (!scaleRead) {
        _stableSince.reset();
        return Action::None;
    }
    return SettleDue(nowMs, blocked);
}

// Blocked, the placement stays due: it is sent once the dialog has closed or the focus has gone
// to another program, if its weight is still there and stable.
SettledSend::Action SettledSend::SettleDue(int64_t nowMs, bool blocked) {
    if (!_settings.AutoSend || !_armed || !_stableSince || nowMs - *_stableSince < _settings.SettleMs || blocked) {
        return Action::None;
    }
    _armed = false;
    _stableSince.reset();
    return Action::HandsFree;
}

void SettledSend::HandsFreeSent(std::string_view text, int64_t nowMs) {
    Notify("Sent " + std::string(text), nowMs);
}

SettledSend::Action SettledSend::Refuse(std::string_view why, int64_t nowMs) {
    _waitUntil.reset();
    Notify("Not sent: " + std::string(why), nowMs);
    return Action::Refused;
}

void SettledSend::Notify(std::string text, int64_t nowMs) {
    _notice = std::move(text);
    _noticeUntil = nowMs + kNoticeMs;
}

std::optional<int64_t> SettledSend::NextDeadline() const {
    std::optional<int64_t> next = _waitUntil;
    const auto consider = [&next](int64_t t) { next = next ? std::min(*next, t) : t; };
    if (_settings.AutoSend && _armed && _stableSince) {
        consider(*_stableSince + _settings.SettleMs);
    }
    if (!_notice.empty()) {
        consider(_noticeUntil);
    }
    return next;
}

std::string SettledSend::Notice(int64_t nowMs) const {
    if (_waitUntil) {
        return std::string(kWaitingText);
    }
    return nowMs < _noticeUntil ? _notice : std::string();
}

}  // namespace weighing
