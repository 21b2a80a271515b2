// Any 8 bytes a device sends, under any settings a hand-edited file holds: decoding and the
// whole weight display must give defined text.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "weighing/WeightFormatting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8 + 4 + 1) {
        return 0;
    }
    std::array<uint8_t, 8> report{};
    std::memcpy(report.data(), data, report.size());
    base::Settings settings;
    std::memcpy(&settings.SelectedUnits, data + 8, sizeof settings.SelectedUnits);
    const uint8_t flags = data[12];
    settings.IncludeUnits = (flags & 1) != 0;
    settings.CommaSeparator = (flags & 2) != 0;
    settings.WeightFormat.assign(reinterpret_cast<const char*>(data + 13), size - 13);

    const weighing::WeightReading reading = weighing::DecodeReport(report);
    if (reading.weight != reading.weight) {  // NaN cannot come from 32 bits and a power of ten
        std::abort();
    }
    (void)weighing::StatusCaption(reading.status);
    const weighing::NumberSeparators separators =
        (flags & 4) ? weighing::NumberSeparators{",", "."} : weighing::NumberSeparators{};
    const weighing::WeightDisplay display = weighing::FormatWeight(reading, settings, " kg", separators);
    if (display.weightCaption.rfind("Weight (", 0) != 0 || display.weightBox.find(display.weightText) != 0) {
        std::abort();
    }
    return 0;
}
