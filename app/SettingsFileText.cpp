#include "app/SettingsFileText.h"

#include "base/TextUtil.h"

#include <cstdint>

namespace app {

namespace {

constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// UTF-8 beyond ASCII: every byte above 0x7F belongs to a well-formed sequence, and there is one.
bool LooksLikeUtf8(std::string_view bytes) {
    bool beyondAscii = false;
    for (size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const auto decoded = base::DecodeUtf8(bytes.substr(i));
        if (!decoded) {
            return false;
        }
        beyondAscii = true;
        i += decoded->length;
    }
    return beyondAscii;
}

void AppendUtf16Le(std::string& out, uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

// One character of UTF-8 (surrogates accepted, for the ones Utf16LeToUtf8 kept) at `i`;
// U+FFFD and one byte for anything else.
uint32_t NextCodePoint(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || i + length > text.size()) {
        ++i;
        return 0xFFFD;
    }
    uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (next & 0x3F);
    }
    constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMinimum[length] || c > 0x10FFFF) {
        ++i;
        return 0xFFFD;
    }
    i += length;
    return c;
}

}  // namespace

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const size_t units = bytes.size() / 2;
    auto unitAt = [&](size_t k) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * k])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * k + 1])) << 8;
    };
    for (size_t k = 0; k < units; ++k) {
        const uint32_t unit = unitAt(k);
        if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < units) {
            const uint32_t low = unitAt(k + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                base::AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++k;
                continue;
            }
        }
        base::AppendUtf8(out, unit);
    }
    return out;
}

std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        const uint32_t c = NextCodePoint(text, i);
        if (c >= 0x10000) {
            AppendUtf16Le(out, 0xD800 + ((c - 0x10000) >> 10));
            AppendUtf16Le(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            AppendUtf16Le(out, c);
        }
    }
    return out;
}

SettingsFileText::SettingsFileText(std::string bytes, const IAnsiCodePage& codePage) : _codePage(codePage) {
    if (std::string_view(bytes).starts_with(kUtf16LeBom)) {
        _encoding = Encoding::Utf16;
        std::string_view body = std::string_view(bytes).substr(2);
        if (body.size() % 2 != 0) {
            _oddByte = std::string(body.substr(body.size() - 1));
            body.remove_suffix(1);
        }
        _document = IniDocument(Utf16LeToUtf8(body));
    } else if (std::string_view(bytes).starts_with(kUtf8Bom)) {
        _encoding = Encoding::Utf8WithMark;
        _document = IniDocument(bytes.substr(kUtf8Bom.size()));
    } else {
        _encoding = LooksLikeUtf8(bytes) ? Encoding::Utf8 : Encoding::Ansi;
        _document = IniDocument(std::move(bytes));
    }
}

std::optional<std::string> SettingsFileText::Get(std::string_view section, std::string_view key) const {
    std::optional<std::string> value = _document.Get(section, key);
    if (value && _encoding == Encoding::Ansi) {
        return _codePage.ToUtf8(*value);
    }
    return value;
}

std::vector<std::string> SettingsFileText::Keys(std::string_view section) const {
    std::vector<std::string> keys = _document.Keys(section);
    if (_encoding == Encoding::Ansi) {
        for (std::string& key : keys) {
            key = _codePage.ToUtf8(key);
        }
    }
    return keys;
}

void SettingsFileText::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (_encoding != Encoding::Ansi) {
        _document.Set(section, key, value);
        return;
    }
    if (const std::optional<std::string> ansi = _codePage.FromUtf8(value)) {
        _document.Set(section, key, *ansi);
        return;
    }
    // The profile calls would write "?" for such characters and the text would be lost; a
    // UTF-16 file keeps them, and the profile calls read it as well.
    _document = IniDocument(_codePage.ToUtf8(_document.Bytes()));
    _encoding = Encoding::Utf16;
    _document.Set(section, key, value);
}

std::string SettingsFileText::Bytes() const {
    switch (_encoding) {
        case Encoding::Utf16:
            return std::string(kUtf16LeBom) + Utf8ToUtf16Le(_document.Bytes()) + _oddByte;
        case Encoding::Utf8WithMark:
            return std::string(kUtf8Bom) + _document.Bytes();
        case Encoding::Ansi:
        case Encoding::Utf8:
            break;
    }
    return _document.Bytes();
}

}  // namespace app
