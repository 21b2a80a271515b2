#pragma once
// Recording fakes for the main window and the HID port. Every call lands in one shared log,
// so tests can check the order of steps across them.
#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/model/Views.h"
#include "devices/HidInterface.h"
#include "devices/ScaleListCommands.h"
#include "devices/ScaleListView.h"
#include "devices/ScaleSelection.h"

namespace devices::testing {

using Log = std::vector<std::string>;

class FakeView final : public IScaleListView, public base::IReadingDisplay, public base::IReadTimer {
  public:
    explicit FakeView(Log& log) : _log(log) {}
    std::string weight = "1.23";
    std::string status = "old status";
    bool timer = false;
    std::vector<std::string> rows;
    int index = -1;

    void SetWeightBox(std::string_view text) override {
        weight = text;
        _log.push_back("weight=" + weight);
    }
    void SetStatus(std::string_view text) override {
        status = text;
        _log.push_back("status=" + status);
    }
    void SetTimerEnabled(bool enabled) override {
        timer = enabled;
        _log.push_back(enabled ? "timer on" : "timer off");
    }
    bool TimerEnabled() const override { return timer; }
    void SetTimerInterval(int32_t) override {}
    void ClearList() override {
        rows.clear();
        index = -1;
        _log.push_back("clear list");
    }
    void AddListRow(std::string_view text) override { rows.emplace_back(text); }
    int ListCount() const override { return static_cast<int>(rows.size()); }
    int ListIndex() const override { return index; }
    void SetListIndex(int i) override {
        index = i;
        _log.push_back("select " + std::to_string(i));
    }

  private:
    Log& _log;
};

// A device layer with scripted devices: `present` paths open; each wait on a running read takes
// the next scripted outcome (bytes complete the read; nothing, or an empty script, is a wait that
// times out and leaves the read running). A path removed from `present` fails its reads.
class FakeHidPort final : public IHidPort {
  public:
    explicit FakeHidPort(Log& log) : _log(log) {}
    std::set<std::string> present;
    std::deque<std::optional<std::vector<uint8_t>>> reads;
    std::vector<std::vector<uint8_t>> written;
    std::string openPath;  // empty: no read handle
    int openHandles = 0;
    int opens = 0;  // every successful open, for counting re-opens
    // What the device answers when asked for its current report; nothing: it refuses.
    std::optional<std::vector<uint8_t>> currentReport;
    // A report that completes the running read just as it is cancelled.
    std::optional<std::vector<uint8_t>> completesOnCancel;
    uint64_t now = 1000;

    bool OpenRead(std::string_view devicePath) override {
        _log.push_back("open " + std::string(devicePath));
        if (!present.contains(std::string(devicePath))) {
            return false;
        }
        openPath = devicePath;
        ++openHandles;
        ++opens;
        return true;
    }
    bool StartRead(size_t length) override {
        _log.push_back("read " + std::to_string(length));
        if (openPath.empty() || !present.contains(openPath)) {
            return false;
        }
        _running = true;
        _started = length;
        return true;
    }
    bool ReadRunning() const override { return _running; }
    ReadWait WaitRead(uint32_t ms, size_t* transferred) override {
        _log.push_back("wait " + std::to_string(ms));
        if (!_running || !present.contains(openPath)) {
            _running = false;
            return ReadWait::Failed;
        }
        if (reads.empty()) {
            return ReadWait::TimedOut;
        }
        std::optional<std::vector<uint8_t>> next = reads.front();
        reads.pop_front();
        if (!next) {
            return ReadWait::TimedOut;
        }
        _running = false;
        if (next->size() > _started) {
            return ReadWait::Failed;  // too long for the buffer: the read fails
        }
        std::copy(next->begin(), next->end(), _staging.begin());
        *transferred = next->size();
        return ReadWait::Report;
    }
    std::span<const uint8_t> Staging() const override { return _staging; }
    std::optional<size_t> CancelRead() override {
        _log.push_back("cancel");
        const bool wasRunning = _running;
        _running = false;
        if (wasRunning && completesOnCancel) {
            std::copy(completesOnCancel->begin(), completesOnCancel->end(), _staging.begin());
            const size_t size = completesOnCancel->size();
            completesOnCancel.reset();
            return size;
        }
        return std::nullopt;
    }
    void CloseRead() override {
        _running = false;
        if (!openPath.empty()) {
            _log.push_back("close");
            openPath.clear();
            --openHandles;
        }
    }
    std::optional<size_t> GetInputReport(std::span<uint8_t> report) override {
        _log.push_back("ask " + std::to_string(report[0]) + "/" + std::to_string(report.size()));
        if (openPath.empty() || !currentReport) {
            return std::nullopt;
        }
        const size_t count = std::min(report.size(), currentReport->size());
        std::copy_n(currentReport->begin(), count, report.begin());
        return count;
    }
    void WriteOnce(std::string_view devicePath, std::span<const uint8_t> report) override {
        _log.push_back("write " + std::string(devicePath));
        if (present.contains(std::string(devicePath))) {
            written.emplace_back(report.begin(), report.end());
        }
    }
    uint64_t NowMs() const override { return now; }

  private:
    Log& _log;
    bool _running = false;
    size_t _started = 0;
    std::array<uint8_t, kStagingBufferSize> _staging{};
};

class FakeEnumerator final : public IScaleEnumerator {
  public:
    explicit FakeEnumerator(Log& log) : _log(log) {}
    std::optional<std::vector<base::ScaleDeviceRecord>> result;
    std::optional<std::vector<base::ScaleDeviceRecord>> Enumerate() override {
        _log.push_back("enumerate");
        return result;
    }

  private:
    Log& _log;
};

class FakeCommands final : public IScaleListCommands {
  public:
    explicit FakeCommands(Log& log) : _log(log) {}
    void RefreshButton_Click() override { _log.push_back("RefreshButton_Click"); }
    void ScaleList_Click() override { _log.push_back("ScaleList_Click"); }
    void DeviceRemoved(std::string_view path) override { _log.push_back("removed " + std::string(path)); }
    void DeviceArrived(std::string_view path) override { _log.push_back("arrived " + std::string(path)); }

  private:
    Log& _log;
};

}  // namespace devices::testing
