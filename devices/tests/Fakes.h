#pragma once
// Recording fakes for the main window, the HID port and the device enumeration. Every call lands in one shared log,
// so tests can check the order of steps across them.
#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/model/Views.h"
#include "devices/HidInterface.h"
#include "devices/ScaleListCommands.h"
#include "devices/ScaleListView.h"
#include "devices/ScaleSelection.h"
#include "devices/UsbHidEnum.h"

namespace devices::testing {

// The steps taken, each followed by "; ".
using Log = std::string;

// The window's views, its scale enumeration and (for the device handlers) its list commands.
class FakeView final : public IScaleListView,
                       public base::IReadingDisplay,
                       public base::IReadTimer,
                       public IScaleEnumerator,
                       public IScaleListCommands {
  public:
    explicit FakeView(Log& log) : _log(log) {}
    std::string weight = "1.23";
    std::string status = "old status";
    bool timer = false;
    std::vector<std::string> rows;
    int index = -1;
    std::optional<std::vector<base::ScaleDeviceRecord>> found;

    void SetWeightBox(std::string_view text) override { _log += "weight=" + (weight = text) + "; "; }
    void SetStatus(std::string_view text) override { _log += "status=" + (status = text) + "; "; }
    void SetTimerEnabled(bool on) override { _log += (timer = on) ? "timer on; " : "timer off; "; }
    bool TimerEnabled() const override { return timer; }
    void SetTimerInterval(int32_t) override {}
    void ClearList() override {
        rows.clear();
        index = -1;
        _log += "clear list; ";
    }
    void AddListRow(std::string_view text) override { rows.emplace_back(text); }
    int ListCount() const override { return static_cast<int>(rows.size()); }
    int ListIndex() const override { return index; }
    void SetListIndex(int i) override { _log += "select " + std::to_string(index = i) + "; "; }
    std::optional<std::vector<base::ScaleDeviceRecord>> Enumerate() override {
        _log += "enumerate; ";
        return found;
    }
    void RefreshButton_Click() override { _log += "RefreshButton_Click; "; }
    void ScaleList_Click() override { _log += "ScaleList_Click; "; }
    void DeviceRemoved(std::string_view path) override { _log += "removed " + std::string(path) + "; "; }
    void DeviceArrived(std::string_view path) override { _log += "arrived " + std::string(path) + "; "; }

  private:
    Log& _log;
};

// Scripted devices: `present` paths open; each wait on a running read takes the next scripted
// outcome (bytes complete the read; nothing, or an empty script, is a wait that times out and
// leaves the read running). A path removed from `present` fails its reads.
class FakeHidPort final : public IHidPort {
  public:
    explicit FakeHidPort(Log& log) : _log(log) {}
    std::set<std::string> present;
    std::deque<std::optional<std::vector<uint8_t>>> reads;
    std::vector<std::vector<uint8_t>> written;
    std::string openPath;  // empty: no read handle
    int openHandles = 0;
    int opens = 0;                                      // every successful open, for counting re-opens
    std::optional<std::vector<uint8_t>> currentReport;  // the answer when asked; nothing: it refuses
    bool answerIn = true;                               // false: the answer is still on its way
    std::optional<std::vector<uint8_t>> completesOnCancel;
    uint64_t now = 1000;

    bool OpenRead(std::string_view path) override {
        _log += "open " + std::string(path) + "; ";
        if (!present.contains(std::string(path))) {
            return false;
        }
        openPath = path;
        ++openHandles;
        ++opens;
        return true;
    }
    bool StartRead(size_t length) override {
        _log += "read " + std::to_string(length) + "; ";
        _started = length;
        return _running = !openPath.empty() && present.contains(openPath);
    }
    bool ReadRunning() const override { return _running; }
    ReadWait WaitRead(uint32_t ms, size_t* transferred) override {
        _log += "wait " + std::to_string(ms) + "; ";
        if (!_running || !present.contains(openPath)) {
            _running = false;
            return ReadWait::Failed;
        }
        const std::optional<std::vector<uint8_t>> next = reads.empty() ? std::nullopt : reads.front();
        if (!reads.empty()) {
            reads.pop_front();
        }
        if (!next) {
            return ReadWait::TimedOut;
        }
        _running = false;
        if (next->size() > _started) {
            return ReadWait::Failed;  // too long for the buffer
        }
        *transferred = std::copy(next->begin(), next->end(), _staging.begin()) - _staging.begin();
        return ReadWait::Report;
    }
    std::span<const uint8_t> Staging() const override { return _staging; }
    std::optional<size_t> CancelRead() override {
        _log += "cancel; ";
        const std::optional<std::vector<uint8_t>> late =
            std::exchange(_running, false) ? completesOnCancel : std::nullopt;
        completesOnCancel.reset();
        return late ? std::optional<size_t>(std::copy(late->begin(), late->end(), _staging.begin()) - _staging.begin())
                    : std::nullopt;
    }
    void CloseRead() override {
        _running = false;
        _answer.reset();
        if (!openPath.empty()) {
            _log += "close; ";
            openPath.clear();
            --openHandles;
        }
    }
    bool AskInputReport(std::span<const uint8_t> request) override {
        _log += "ask " + std::to_string(request[0]) + "/" + std::to_string(request.size()) + "; ";
        _answer.reset();
        if (!openPath.empty() && currentReport) {
            _answer.emplace(
                currentReport->begin(),
                currentReport->begin() + static_cast<std::ptrdiff_t>(std::min(request.size(), currentReport->size())));
        }
        return _answer.has_value();
    }
    std::optional<size_t> TakeAnswer(std::span<uint8_t> report) override {
        if (!_answer || !answerIn) {
            return std::nullopt;
        }
        const size_t count =
            std::copy_n(_answer->begin(), std::min(report.size(), _answer->size()), report.begin()) - report.begin();
        _answer.reset();
        return count;
    }
    void WriteOnce(std::string_view path, std::span<const uint8_t> report) override {
        _log += "write " + std::string(path) + "; ";
        written.emplace_back(report.begin(), report.end());
    }
    uint64_t NowMs() const override { return now; }

  private:
    Log& _log;
    bool _running = false;
    size_t _started = 0;
    std::optional<std::vector<uint8_t>> _answer;  // to the last question, until taken
    std::array<uint8_t, kStagingBufferSize> _staging{};
};

// The main window's state and views over a scripted HID port, with the selection on top: what
// the selection's and the device-change handlers' tests both start from.
struct SelectionRig {
    Log log;
    base::AppState state;
    FakeView view{log};
    FakeHidPort port{log};
    ScaleSelection selection{state, view, view, view, view, port};
};

struct RecordedSetupDevice {
    std::string hardwareId, className, friendlyName, busReportedDescription, locationInformation, deviceDescription;
};

// Recorded enumeration data played back; the hardware IDs whose class was read are noted, so
// the tests see which devices were looked up.
class FakeHidEnumPlatform final : public IHidEnumPlatform {
  public:
    uint32_t osVersion = 601;
    bool rawListFails = false;
    std::vector<std::pair<uint32_t, std::string>> raw;               // type, name (empty: cannot be read)
    std::map<std::string, std::vector<RecordedSetupDevice>> passes;  // "USB" and "" (all)
    std::set<std::string> lookedUp;
    std::vector<std::string> opened;  // the enumerators whose devices were walked

    uint32_t GetOsVersionNumber() override { return osVersion; }
    std::optional<std::vector<RawInputEntry>> RawInputDevices() override {
        std::vector<RawInputEntry> entries;
        for (size_t i = 0; i < raw.size(); ++i) {
            entries.push_back({i, raw[i].first});
        }
        return rawListFails ? std::nullopt : std::optional(entries);
    }
    std::string GetRawDeviceName(uintptr_t handle) override { return raw.at(handle).second; }
    std::unique_ptr<ISetupDeviceWalk> OpenSetupDevices(std::string_view enumerator) override {
        opened.emplace_back(enumerator);
        auto it = passes.find(std::string(enumerator));
        return it == passes.end() ? nullptr : std::make_unique<Walk>(it->second, lookedUp);
    }

  private:
    class Walk final : public ISetupDeviceWalk {
      public:
        Walk(const std::vector<RecordedSetupDevice>& devices, std::set<std::string>& lookedUp)
            : _devices(devices), _lookedUp(lookedUp) {}
        bool Next() override { return ++_at < _devices.size(); }
        std::string HardwareId() override { return At().hardwareId; }
        std::string ClassName() override {
            _lookedUp.insert(At().hardwareId);
            return At().className;
        }
        std::string FriendlyName() override { return At().friendlyName; }
        std::string BusReportedDescription() override { return At().busReportedDescription; }
        std::string LocationInformation() override { return At().locationInformation; }
        std::string DeviceDescription() override { return At().deviceDescription; }

      private:
        const RecordedSetupDevice& At() const { return _devices.at(_at); }
        const std::vector<RecordedSetupDevice>& _devices;
        std::set<std::string>& _lookedUp;
        size_t _at = SIZE_MAX;
    };
};

}  // namespace devices::testing
