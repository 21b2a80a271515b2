// An edit made by hand to the settings file while the program runs survives its end, for every
// key the program did not change itself; keys not edited meanwhile are written as before.
#include <gtest/gtest.h>

#include <map>

#include "app/SettingsStore.h"

namespace {

struct MapStore final : app::IIniStore {
    std::map<std::string, std::string, std::less<>> values;
    std::string Read(std::string_view, std::string_view key, std::string_view fallback) override {
        const auto it = values.find(key);
        return it != values.end() ? it->second : std::string(fallback);
    }
    void Write(std::string_view, std::string_view key, std::string_view value) override {
        values[std::string(key)] = value;
    }
};

TEST(SettingsHandEdit, KeysEditedWhileRunningKeepTheEditOthersAreWrittenAsRead) {
    MapStore file;
    file.values = {{"SampleRate", "50"}, {"WebPort", "8080.4"}, {"Preamble", "a"}};
    app::SettingsAsLoaded loaded;
    app::RecordingIniStore recording(file, loaded.fileText);
    app::LoadSettings(recording, loaded.settings);
    base::Settings now = loaded.settings;
    now.Preamble = "b";                 // changed in the program
    file.values["SampleRate"] = "100";  // edited by hand meanwhile
    app::SaveSettings(file, now, 15, 30, &loaded);
    EXPECT_EQ(file.values["SampleRate"], "100");
    EXPECT_EQ(file.values["WebPort"], "8080");  // not edited since the start: written as the program read it
    EXPECT_EQ(file.values["Preamble"], "b");
    EXPECT_EQ(file.values["HotKey"], "120");  // a key the file lacks is written
    EXPECT_EQ(file.values["WindowLeft"], "15");
}

}  // namespace
