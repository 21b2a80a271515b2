#include "devices/ScaleSelection.h"

#include <algorithm>
#include <array>
#include <utility>

#include "base/TextUtil.h"
#include "devices/DevicePath.h"
#include "devices/serial/SerialPorts.h"

namespace devices {

namespace {
constexpr std::array<std::string_view, 3> kFilterWords{"KEYBOARD", "TOUCH", "\\\\?\\HID"};
}

bool IsScaleCandidate(std::string_view displayName) {
    const std::string upper = base::UpperAscii(displayName);
    for (std::string_view word : kFilterWords) {
        if (upper.find(word) != std::string::npos) {
            return false;
        }
    }
    return true;
}

std::vector<base::ScaleDeviceRecord> FilterScaleCandidates(const std::vector<base::ScaleDeviceRecord>& records) {
    std::vector<base::ScaleDeviceRecord> kept;
    for (const base::ScaleDeviceRecord& record : records) {
        if (IsScaleCandidate(record.displayName)) {
            kept.push_back(record);
        }
    }
    return kept;
}

void ScaleSelection::DeviceRemoved(std::string_view interfacePath) {
    if (interfacePath.empty()) {
        return;
    }
    for (const std::string& path : _removed) {
        if (SameDevicePath(path, interfacePath)) {
            return;
        }
    }
    _removed.emplace_back(interfacePath);
}

void ScaleSelection::DeviceArrived(std::string_view interfacePath) {
    std::erase_if(_removed, [&](const std::string& path) { return SameDevicePath(path, interfacePath); });
}

void ScaleSelection::RefreshButton_Click() {
    std::optional<std::vector<base::ScaleDeviceRecord>> found = _enumerator.Enumerate();
    if (found) {
        // A removed path the system no longer lists needs no more hiding.
        std::erase_if(_removed, [&](const std::string& path) {
            return std::none_of(found->begin(), found->end(),
                                [&](const base::ScaleDeviceRecord& r) { return SameDevicePath(r.devicePath, path); });
        });
        std::erase_if(*found, [&](const base::ScaleDeviceRecord& r) {
            return std::any_of(_removed.begin(), _removed.end(),
                               [&](const std::string& path) { return SameDevicePath(r.devicePath, path); });
        });
    }
    std::vector<base::ScaleDeviceRecord> kept =
        found ? FilterScaleCandidates(*found) : std::vector<base::ScaleDeviceRecord>{};
    // Serial ports are named by the system, not guessed at: no word filter applies to them.
    if (_serialPorts != nullptr) {
        if (std::optional<std::vector<base::ScaleDeviceRecord>> ports = _serialPorts->Enumerate()) {
            kept.insert(kept.end(), ports->begin(), ports->end());
        }
    }

    _list.ClearList();
    if (kept.empty()) {
        _display.SetStatus(kNoScalesFound);
        return;
    }
    _display.SetStatus("");
    _state.scaleTable = std::move(kept);

    int remembered = -1;
    for (size_t i = 0; i < _state.scaleTable.size(); ++i) {
        _list.AddListRow(_state.scaleTable[i].displayName);
        if (SameDevicePath(_state.scaleTable[i].devicePath, _state.settings.SelectedScale)) {
            remembered = static_cast<int>(i);  // the last match wins
        }
    }
    if (remembered >= 0) {
        _list.SetListIndex(remembered);
        ScaleList_Click();
    } else if (_state.deviceOpen && _chosen == _serial && _serial != nullptr) {
        // The port went away: its worker stops, and nothing is read from it any more.
        _serial->Close();
        _state.deviceOpen = false;
        _gone = false;
    }
}

void ScaleSelection::ScaleList_Click() {
    const bool wasOpen = _state.deviceOpen;
    _display.SetWeightBox("");
    _state.weightText.clear();
    _state.deviceOpen = false;
    _timer.SetTimerEnabled(true);

    const int index = _list.ListIndex();
    if (_list.ListCount() == 0 || index < 0) {
        return;  // the next tick finds no open scale and says so
    }
    // The list and the table are rebuilt together; a row without a record is treated as no
    // selection rather than read out of bounds.
    if (static_cast<size_t>(index) >= _state.scaleTable.size()) {
        return;
    }
    const std::string path = _state.scaleTable[static_cast<size_t>(index)].devicePath;
    // The buffer holds the open scale's last report. Re-opening that scale (a refresh, a failed
    // read) keeps it; any other scale has no weight until it reports itself.
    if (!wasOpen || !SameDevicePath(path, _state.settings.SelectedScale)) {
        _state.reportBuffer = {};
        _state.awaitingReport = true;
    }
    IChosenScale& kind = _serial != nullptr && serial::SerialPortOfPath(path) ? *_serial : _hid;
    if (_chosen != &kind) {
        _chosen->Close();
        _chosen = &kind;
    }
    _gone = false;
    if (kind.Open(path)) {
        if (!SameDevicePath(path, _state.settings.SelectedScale)) {
            _state.settings.SelectedScale = path;  // the remembered spelling stays: the file keeps what it had
        }
        _state.deviceOpen = true;
        _state.sendSuppressed = false;  // a removed scale no longer matters once another is read
    }
}

void ScaleSelection::ReadInputReport(std::span<uint8_t> dest) {
    ReadInputReport(dest, base::ReadWaitMs(_state.settings.SampleRate));
}

void ScaleSelection::ReadInputReport(std::span<uint8_t> dest, uint32_t waitMs) {
    // Only a read that failed (the scale is gone or broken) opens the scale again; a silent
    // scale keeps its handle and its running read.
    const ReadOutcome outcome = _chosen->ReadNewest(dest, waitMs);
    if (outcome == ReadOutcome::Report) {
        _state.awaitingReport = false;
        if (std::exchange(_gone, false)) {
            _state.sendSuppressed = false;
        }
    } else if (outcome == ReadOutcome::Failed) {
        ScaleList_Click();
    } else if (outcome == ReadOutcome::Gone && !_gone) {
        // As a HID scale pulled out: nothing may show, serve or type its last weight. The
        // device stays chosen, so that its next report resumes reading.
        _gone = true;
        std::fill(dest.begin(), dest.end(), uint8_t{0});
        _state.awaitingReport = true;
        _state.sendSuppressed = true;
        _state.weightText.clear();
    }
}

void ScaleSelection::CloseScaleDevice() {
    _hid.CloseScaleDevice();
    if (_serial != nullptr) {
        _serial->Close();
    }
}

void ScaleSelection::SendZeroReport() {
    const int index = _list.ListIndex();
    if (index < 0 || static_cast<size_t>(index) >= _state.scaleTable.size()) {
        return;  // no row, no device to zero
    }
    _chosen->Zero(_state.scaleTable[static_cast<size_t>(index)].devicePath);
}

}  // namespace devices
