// vscale: plugs, drives and unplugs virtual USB HID scales under Wine, for people and scripts.
#include <windows.h>

#include <cstdio>

#include "testbench/vscale/VScaleClient_win.h"

namespace {

int Report(const vscale::Outcome& outcome) {
    if (!outcome.ok) {
        std::fprintf(stderr, "vscale: %s\n", outcome.message.c_str());
        return 1;
    }
    return 0;
}

// A change of the bus or its scales, with how long it took.
int ReportTimed(const vscale::Outcome& outcome, const std::string& prefix = {}) {
    if (outcome.ok) {
        std::printf("%s%s (%lld ms)\n", prefix.c_str(), outcome.message.c_str(),
                    static_cast<long long>(outcome.elapsed.count()));
    }
    return Report(outcome);
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : folder.substr(0, slash);
}

int Run(const vscale::Command& command) {
    using vscale::CommandKind;
    const std::string& serial = command.plug.serial;
    switch (command.kind) {
        case CommandKind::Help:
            std::fputs(vscale::UsageText().c_str(), stdout);
            return 0;
        case CommandKind::Install:
            return ReportTimed(vscale::Install(ProgramFolder()));
        case CommandKind::Plug:
            return ReportTimed(vscale::Plug(command.plug), "plugged " + serial + ": ");
        case CommandKind::Unplug:
            return ReportTimed(vscale::Unplug(serial));
        case CommandKind::Set:
            return Report(vscale::SetReading(serial, command.reading));
        case CommandKind::Queue:
            return Report(vscale::Queue(serial, command.report));
        case CommandKind::Outputs: {
            std::string error;
            auto outputs = vscale::Outputs(serial, command.clear, &error);
            if (!outputs) {
                return Report(vscale::Outcome{false, error, {}});
            }
            for (const auto& report : *outputs) {
                std::printf("%s\n", vscale::FormatHex(report).c_str());
            }
            return 0;
        }
        case CommandKind::State: {
            std::string error;
            auto state = vscale::State(&error);
            if (!state) {
                return Report(vscale::Outcome{false, error, {}});
            }
            for (uint32_t i = 0; i < state->count && i < VSCALE_MAX_SCALES; ++i) {
                std::printf("%s\n", vscale::FormatScaleState(state->scales[i]).c_str());
            }
            return 0;
        }
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = vscale::ParseCommandLine(args);
    if (!parsed.command) {
        std::fprintf(stderr, "vscale: %s\n", parsed.error.c_str());
        return 2;
    }
    int result = Run(*parsed.command);
    std::fflush(stdout);
    return result;
}
