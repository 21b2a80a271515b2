#pragma once
// The settings file through the system's initialisation-file calls, and the folder lookup.
#include <string>

#include <memory>

#include "app/SettingsFileText.h"
#include "app/SettingsStore.h"

namespace app {

// The settings file, read once when constructed and written once by Commit. The file is edited
// in memory line by line (IniDocument), so lines, bytes and sections that are not the
// program's own survive untouched; the system's profile calls rewrite the whole file from what
// they understood of it, which loses such content, and take minutes on a file of megabytes.
// With an empty path every read gives its fallback and nothing is written. Values are UTF-8;
// the file keeps its encoding on disk (SettingsFileText).
class IniFileStore final : public IIniStore {
  public:
    explicit IniFileStore(std::string path);
    std::string Read(std::string_view section, std::string_view key, std::string_view fallback) override;
    void Write(std::string_view section, std::string_view key, std::string_view value) override;
    std::vector<std::string> Keys(std::string_view section) override { return _document->Keys(section); }
    // Writes the file when something changed; false when that failed.
    bool Commit();

  private:
    std::string _path;
    std::unique_ptr<IAnsiCodePage> _codePage;
    std::unique_ptr<SettingsFileText> _document;
    bool _usable = false;  // read (or absent) and so safe to write back
    bool _changed = false;
};

class SettingsFileSystem final : public ISettingsFileSystem {
  public:
    std::string CommonDataFolder() override;
    std::string ShortPathOf(const std::string& path) override;
    void CreateFolder(const std::string& path) override;
    void CreateEmptyFile(const std::string& path) override;
};

// The all-users application-data folder as the shell reports it; empty when it gives none.
[[nodiscard]] std::string GetCommonDataFolder();

}  // namespace app
