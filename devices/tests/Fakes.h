#pragma once
// Recording fakes for the main window and the HID port. Every call lands in one shared log,
// so tests can check the order of steps across them.
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/model/Views.h"
#include "devices/ScaleListView.h"
#include "devices/HidInterface.h"
#include "devices/ScaleListCommands.h"
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

// A device layer with scripted devices: `present` paths open; each started read takes the
// next scripted outcome (bytes, or nothing for a read that never completes).
class FakeHidPort final : public IHidPort {
  public:
    explicit FakeHidPort(Log& log) : _log(log) {}
    std::set<std::string> present;
    std::deque<std::optional<std::vector<uint8_t>>> reads;
    std::vector<std::vector<uint8_t>> written;
    std::string openPath;  // empty: no read handle
    int openHandles = 0;

    bool OpenRead(std::string_view devicePath) override {
        _log.push_back("open " + std::string(devicePath));
        if (!present.contains(std::string(devicePath))) {
            return false;
        }
        openPath = devicePath;
        ++openHandles;
        return true;
    }
    void StartRead(size_t length) override {
        _log.push_back("read " + std::to_string(length));
        _pending.reset();
        _started = length;
        if (!openPath.empty() && !reads.empty()) {
            _pending = reads.front();
            reads.pop_front();
        }
    }
    std::optional<size_t> WaitRead(uint32_t ms) override {
        _log.push_back("wait " + std::to_string(ms));
        if (!_pending || _pending->size() > _started) {
            return std::nullopt;  // too long for the buffer: the read fails
        }
        std::copy(_pending->begin(), _pending->end(), _staging.begin());
        return _pending->size();
    }
    std::span<const uint8_t> Staging() const override { return _staging; }
    void CancelRead() override { _log.push_back("cancel"); }
    void CloseRead() override {
        if (!openPath.empty()) {
            _log.push_back("close");
            openPath.clear();
            --openHandles;
        }
    }
    void WriteOnce(std::string_view devicePath, std::span<const uint8_t> report) override {
        _log.push_back("write " + std::string(devicePath));
        if (present.contains(std::string(devicePath))) {
            written.emplace_back(report.begin(), report.end());
        }
    }

  private:
    Log& _log;
    std::optional<std::vector<uint8_t>> _pending;
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
