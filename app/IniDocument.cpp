#include "app/IniDocument.h"

#include <algorithm>

#include "app/SettingsStore.h"

namespace app {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

// "[name]" gives name; a line without the closing bracket is no header, as for the system.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    line.remove_prefix(1);
    const size_t close = line.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(line.substr(0, close));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> SplitKey(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') {
        return std::nullopt;  // comment
    }
    const size_t eq = trimmed.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return KeyValue{Trim(trimmed.substr(0, eq)), Trim(trimmed.substr(eq + 1))};
}

}  // namespace

std::optional<IniDocument::Line> IniDocument::NextLine(size_t pos) const {
    if (pos >= _text.size()) {
        return std::nullopt;
    }
    size_t nl = _text.find('\n', pos);
    const size_t next = nl == std::string::npos ? _text.size() : nl + 1;
    size_t end = nl == std::string::npos ? _text.size() : nl;
    if (end > pos && _text[end - 1] == '\r') {
        --end;
    }
    return Line{pos, end, next};
}

IniDocument::Found IniDocument::Find(std::string_view section, std::string_view key) const {
    Found found;
    bool inSection = false;
    for (auto line = NextLine(0); line; line = NextLine(line->next)) {
        const std::string_view text(_text.data() + line->begin, line->end - line->begin);
        if (const auto name = SectionName(text)) {
            if (inSection) {
                break;  // only the first section of that name counts
            }
            inSection = SameName(*name, section);
            if (inSection) {
                found.sectionFound = true;
                found.insertAt = line->next;
                found.insertNeedsBreak = line->next == line->end;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (!Trim(text).empty()) {
            found.insertAt = line->next;
            found.insertNeedsBreak = line->next == line->end;  // last line, no line break
        }
        if (const auto kv = SplitKey(text); kv && !found.keyLine && SameName(kv->key, key)) {
            found.keyLine = *line;
        }
    }
    return found;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    bool inSection = false;
    for (auto line = NextLine(0); line; line = NextLine(line->next)) {
        const std::string_view text(_text.data() + line->begin, line->end - line->begin);
        if (const auto name = SectionName(text)) {
            if (inSection) {
                break;
            }
            inSection = SameName(*name, section);
            continue;
        }
        const auto kv = inSection ? SplitKey(text) : std::nullopt;
        if (kv && !kv->key.empty() &&
            std::none_of(keys.begin(), keys.end(), [&](const std::string& k) { return SameName(k, kv->key); })) {
            keys.emplace_back(kv->key);
        }
    }
    return keys;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
    const Found found = Find(section, key);
    if (!found.keyLine) {
        return std::nullopt;
    }
    const std::string_view line(_text.data() + found.keyLine->begin, found.keyLine->end - found.keyLine->begin);
    std::string_view value = SplitKey(line)->value;
    if (const size_t zero = value.find('\0'); zero != std::string_view::npos) {
        value = Trim(value.substr(0, zero));  // the system's calls stop there too
    }
    return std::string(StripMatchingQuotes(value));
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (const size_t stop = value.find_first_of(std::string_view("\r\n\0", 3)); stop != std::string_view::npos) {
        value = value.substr(0, stop);
    }
    std::string entry(key);
    entry += '=';
    entry += value;
    const Found found = Find(section, key);
    if (found.keyLine) {
        _text.replace(found.keyLine->begin, found.keyLine->end - found.keyLine->begin, entry);
        return;
    }
    if (found.sectionFound) {
        if (found.insertNeedsBreak) {
            entry.insert(0, "\r\n");
        } else {
            entry += "\r\n";
        }
        _text.insert(found.insertAt, entry);
        return;
    }
    if (!_text.empty() && _text.back() != '\n') {
        _text += "\r\n";
    }
    _text += '[';
    _text += section;
    _text += "]\r\n";
    _text += entry;
    _text += "\r\n";
}

}  // namespace app
