#pragma once
// Writing a whole file so that a failure part way never leaves it half new and half old: the
// bytes go to a new file in the same folder, which then takes the old one's place in one step.
#include <optional>
#include <string>
#include <string_view>

namespace app {

class IReplaceFileSystem {
  public:
    virtual ~IReplaceFileSystem() = default;
    // Creates an empty, uniquely named file in the folder of `path`; nullopt when that fails.
    [[nodiscard]] virtual std::optional<std::string> CreateTempBeside(const std::string& path) = 0;
    // Writes all of `bytes` to the file and makes it durable; false on any failure.
    [[nodiscard]] virtual bool WriteAll(const std::string& file, std::string_view bytes) = 0;
    // Puts `temp` in the place of `path` in one step (creating `path` when it is missing).
    [[nodiscard]] virtual bool ReplaceWith(const std::string& path, const std::string& temp) = 0;
    virtual void Remove(const std::string& file) = 0;
};

// True when `path` now holds exactly `bytes`; on false it holds what it held before and no
// temporary file is left behind.
[[nodiscard]] bool WriteFileReplacing(IReplaceFileSystem& fs, const std::string& path, std::string_view bytes);

}  // namespace app
