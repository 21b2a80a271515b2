#pragma once
// An initialisation file held in memory as its exact bytes. Reading follows the rules of the
// system's profile functions (sections and keys without regard to case, blanks around keys and
// values ignored, matching quotes removed); writing changes only the one line of the key, or
// adds it at the end of its section, so that every other byte of the file stays as it was,
// including lines and bytes the program does not understand.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class IniDocument {
  public:
    IniDocument() = default;
    explicit IniDocument(std::string bytes) : _text(std::move(bytes)) {}

    // The value of `key` in the first section named `section`; nullopt when there is none.
    [[nodiscard]] std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // Sets `key` in the first section named `section`, adding the section at the end when there
    // is none. Line breaks and zero bytes in `value` end it, so a value cannot add lines.
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // The keys of the first section named `section`, in the file's order, each once.
    [[nodiscard]] std::vector<std::string> Keys(std::string_view section) const;

    [[nodiscard]] const std::string& Bytes() const noexcept { return _text; }

  private:
    struct Line {
        size_t begin;  // first byte of the line
        size_t end;    // one past the last byte before the line break
        size_t next;   // first byte of the next line
    };
    [[nodiscard]] std::optional<Line> NextLine(size_t pos) const;
    // The line of `key` in the first `section`, and where a new key of that section goes.
    struct Found {
        bool sectionFound = false;
        std::optional<Line> keyLine;
        size_t insertAt = 0;  // after the section's last non-blank line
        bool insertNeedsBreak = false;
    };
    [[nodiscard]] Found Find(std::string_view section, std::string_view key) const;

    std::string _text;
};

}  // namespace app
