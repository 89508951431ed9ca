#include "platform/registry/RegistryHive.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/NoCase.h"

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// ---- text form -------------------------------------------------------------

constexpr char kHex[] = "0123456789abcdef";

void AppendHexByte(std::string& out, unsigned char b)
{
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
}

void AppendQuoted(std::string& out, std::string_view bytes)
{
    out += '"';
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += ch;
        } else if (IsControl(c)) {
            out += "\\x";
            AppendHexByte(out, c);
        } else {
            out += ch;
        }
    }
    out += '"';
}

void AppendBytes(std::string& out, const std::vector<BYTE>& data)
{
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        AppendHexByte(out, data[i]);
    }
}

// Text that reads back as the same bytes: one NUL, at the end.
bool IsPlainText(const RegistryValue& v)
{
    return (v.type == REG_SZ || v.type == REG_EXPAND_SZ) && !v.data.empty() && v.data.back() == 0 &&
           std::find(v.data.begin(), v.data.end() - 1, BYTE{0}) == v.data.end() - 1;
}

void AppendValue(std::string& out, const RegistryValue& v)
{
    if (v.name.empty()) {
        out += '@';
    } else {
        AppendQuoted(out, v.name);
    }
    out += '=';
    if (IsPlainText(v)) {
        if (v.type == REG_EXPAND_SZ) {
            out += "expand:";
        }
        AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        out += "dword:";
        for (std::size_t i = 4; i-- > 0;) {
            AppendHexByte(out, v.data[i]);
        }
    } else {
        if (v.type == REG_BINARY) {
            out += "hex:";
        } else {
            char type[24];
            std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(v.type));
            out += type;
        }
        AppendBytes(out, v.data);
    }
    out += '\n';
}

// A cursor over one line of the file.
class LineReader {
public:
    explicit LineReader(std::string_view line) : rest_(line) {}

    bool AtEnd() const { return rest_.empty(); }
    bool Peek(char c) const { return !rest_.empty() && rest_.front() == c; }

    bool Take(std::string_view word)
    {
        if (rest_.substr(0, word.size()) != word) {
            return false;
        }
        rest_.remove_prefix(word.size());
        return true;
    }

    bool HexDigits(std::size_t count, std::uint32_t& value)
    {
        if (rest_.size() < count) {
            return false;
        }
        value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const int d = HexDigit(rest_[i]);
            if (d < 0) {
                return false;
            }
            value = value * 16 + static_cast<std::uint32_t>(d);
        }
        rest_.remove_prefix(count);
        return true;
    }

    // 1 to 8 hex digits, up to the next non-digit.
    bool HexNumber(std::uint32_t& value)
    {
        std::size_t n = 0;
        while (n < rest_.size() && n < 9 && HexDigit(rest_[n]) >= 0) {
            ++n;
        }
        return n >= 1 && n <= 8 && HexDigits(n, value);
    }

    bool Quoted(std::string& text)
    {
        if (!Take("\"")) {
            return false;
        }
        text.clear();
        while (!rest_.empty()) {
            const char ch = rest_.front();
            rest_.remove_prefix(1);
            if (ch == '"') {
                return true;
            }
            if (IsControl(static_cast<unsigned char>(ch))) {
                return false;
            }
            if (ch != '\\') {
                text += ch;
                continue;
            }
            std::uint32_t byte = 0;
            if (Take("\\")) {
                text += '\\';
            } else if (Take("\"")) {
                text += '"';
            } else if (Take("x") && HexDigits(2, byte)) {
                text += static_cast<char>(byte);
            } else {
                return false;
            }
        }
        return false;
    }

    bool Bytes(std::vector<BYTE>& data)
    {
        data.clear();
        while (!rest_.empty()) {
            std::uint32_t b = 0;
            if ((!data.empty() && !Take(",")) || !HexDigits(2, b)) {
                return false;
            }
            data.push_back(static_cast<BYTE>(b));
        }
        return true;
    }

private:
    static int HexDigit(char c)
    {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    }

    std::string_view rest_;
};

bool ParseValueLine(std::string_view line, RegistryValue& value)
{
    LineReader r(line);
    value.name.clear();
    if (!r.Take("@") && !r.Quoted(value.name)) {
        return false;
    }
    if (!r.Take("=")) {
        return false;
    }
    std::string text;
    std::uint32_t number = 0;
    const bool expand = r.Take("expand:");
    if (expand || r.Peek('"')) {
        value.type = expand ? REG_EXPAND_SZ : REG_SZ;
        if (!r.Quoted(text)) {
            return false;
        }
        value.data.assign(text.begin(), text.end());
        value.data.push_back(0);
    } else if (r.Take("dword:")) {
        if (!r.HexDigits(8, number)) {
            return false;
        }
        value.type = REG_DWORD;
        value.data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                      static_cast<BYTE>(number >> 24)};
    } else if (r.Take("hex:")) {
        value.type = REG_BINARY;
        return r.Bytes(value.data);
    } else if (r.Take("hex(")) {
        if (!r.HexNumber(number) || !r.Take("):")) {
            return false;
        }
        value.type = number;
        return r.Bytes(value.data);
    } else {
        return false;
    }
    return r.AtEnd();
}

// Whether two values share a name: sorting keeps this n log n where a key
// holds thousands of values.
bool HasTwins(const std::vector<RegistryValue>& values)
{
    if (values.size() < 2) {
        return false;
    }
    std::vector<std::string_view> names;
    names.reserve(values.size());
    for (const RegistryValue& v : values) {
        names.emplace_back(v.name);
    }
    std::sort(names.begin(), names.end(),
              [](std::string_view a, std::string_view b) { return platform::CompareNoCase(a, b) < 0; });
    return std::adjacent_find(names.begin(), names.end(), [](std::string_view a, std::string_view b) {
               return SameRegistryName(a, b);
           }) != names.end();
}

}  // namespace

std::size_t RegistryNameHash::operator()(std::string_view name) const
{
    // FNV-1a over the folded bytes.
    std::size_t h = 14695981039346656037ull;
    for (const char c : name) {
        h = (h ^ platform::FoldCase(c)) * 1099511628211ull;
    }
    return h;
}

bool RegistryNameEqual::operator()(std::string_view a, std::string_view b) const { return SameRegistryName(a, b); }

bool SameRegistryName(std::string_view a, std::string_view b) { return platform::EqualNoCase(a, b); }

// ---- key paths -------------------------------------------------------------

std::optional<std::string> NormalizeKeyPath(std::string_view path, LSTATUS& status)
{
    status = ERROR_SUCCESS;
    if (!path.empty() && path.back() == '\\') {
        path.remove_suffix(1);
        if (path.empty()) {
            status = ERROR_BAD_PATHNAME;
            return std::nullopt;
        }
    }
    std::size_t partStart = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '\\') {
            if (IsControl(static_cast<unsigned char>(path[i]))) {
                status = ERROR_BAD_PATHNAME;
                return std::nullopt;
            }
            continue;
        }
        const std::size_t length = i - partStart;
        if (length == 0 && !path.empty()) {
            status = ERROR_BAD_PATHNAME;
            return std::nullopt;
        }
        if (length > 255) {
            status = ERROR_INVALID_PARAMETER;
            return std::nullopt;
        }
        partStart = i + 1;
    }
    return std::string(path);
}

std::string JoinKeyPath(std::string_view parent, std::string_view child)
{
    if (parent.empty()) {
        return std::string(child);
    }
    if (child.empty()) {
        return std::string(parent);
    }
    std::string joined(parent);
    joined += '\\';
    joined += child;
    return joined;
}

// ---- the hive --------------------------------------------------------------

RegistryHive::RegistryHive() : keys_{RegistryKeyNode{}}, index_{{std::string(), 0}} {}

RegistryKeyNode* RegistryHive::FindKey(std::string_view path)
{
    const auto it = index_.find(path);
    return it == index_.end() ? nullptr : &keys_[it->second];
}

const RegistryKeyNode* RegistryHive::FindKey(std::string_view path) const
{
    const auto it = index_.find(path);
    return it == index_.end() ? nullptr : &keys_[it->second];
}

std::size_t RegistryHive::MakeKey(std::string_view path, bool& made)
{
    made = false;
    if (const auto found = index_.find(path); found != index_.end()) {
        return found->second;
    }
    std::size_t place = 0;
    for (std::size_t end = 0; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != '\\') {
            continue;
        }
        const std::string_view prefix = path.substr(0, end);
        const auto found = index_.find(prefix);
        made = found == index_.end();
        if (made) {
            place = keys_.size();
            keys_.push_back(RegistryKeyNode{std::string(prefix), {}});
            index_.emplace(std::string(prefix), place);
        } else {
            place = found->second;
        }
    }
    return place;
}

bool RegistryHive::CreateKey(std::string_view path)
{
    bool made = false;
    MakeKey(path, made);
    return made;
}

const RegistryValue* RegistryHive::FindValue(const RegistryKeyNode& key, std::string_view name)
{
    const auto it =
        std::find_if(key.values.begin(), key.values.end(), [&](const RegistryValue& v) { return SameRegistryName(v.name, name); });
    return it == key.values.end() ? nullptr : &*it;
}

bool RegistryHive::SetValue(RegistryKeyNode& key, std::string_view name, DWORD type, std::vector<BYTE> data)
{
    const auto it =
        std::find_if(key.values.begin(), key.values.end(), [&](const RegistryValue& v) { return SameRegistryName(v.name, name); });
    if (it == key.values.end()) {
        key.values.push_back(RegistryValue{std::string(name), type, std::move(data)});
        return true;
    }
    if (it->type == type && it->data == data) {
        return false;
    }
    it->type = type;
    it->data = std::move(data);
    return true;
}

std::string RegistryHive::Format(std::string_view rootName) const
{
    std::string out = "; Sonderik registry ";
    out += rootName;
    out += "\n\n";
    for (const RegistryKeyNode& key : keys_) {
        if (key.path.empty() && key.values.empty()) {
            continue;
        }
        out += '[';
        out += key.path;
        out += "]\n";
        for (const RegistryValue& v : key.values) {
            AppendValue(out, v);
        }
        out += '\n';
    }
    out += "; end of ";
    out += rootName;
    out += '\n';
    return out;
}

std::optional<RegistryHive> RegistryHive::Parse(std::string_view text, std::string_view rootName)
{
    if (text.empty() || text.back() != '\n' || text.size() > kMaxRegistryFileSize) {
        return std::nullopt;
    }
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    const std::string header = "; Sonderik registry " + std::string(rootName);
    const std::string trailer = "; end of " + std::string(rootName);
    if (lines.size() < 2 || lines.front() != header || lines.back() != trailer) {
        return std::nullopt;
    }

    // A key or a value named twice makes the text no hive: which would count?
    RegistryHive hive;
    const auto sectionCount = static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [](std::string_view l) { return !l.empty() && l.front() == '['; }));
    hive.keys_.reserve(sectionCount + 1);
    hive.index_.reserve(sectionCount + 1);
    std::vector<bool> hasSection(1, false);  // by place in keys_
    RegistryKeyNode* current = nullptr;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (current != nullptr && HasTwins(current->values)) {
                return std::nullopt;
            }
            LSTATUS status = ERROR_SUCCESS;
            const auto path = line.size() >= 2 && line.back() == ']'
                                  ? NormalizeKeyPath(line.substr(1, line.size() - 2), status)
                                  : std::nullopt;
            if (!path) {
                return std::nullopt;
            }
            bool made = false;
            const std::size_t place = hive.MakeKey(*path, made);
            hasSection.resize(hive.keys_.size(), false);
            if (hasSection[place]) {
                return std::nullopt;
            }
            hasSection[place] = true;
            current = &hive.keys_[place];
            continue;
        }
        RegistryValue value;
        if (current == nullptr || !ParseValueLine(line, value)) {
            return std::nullopt;
        }
        current->values.push_back(std::move(value));
    }
    if (current != nullptr && HasTwins(current->values)) {
        return std::nullopt;
    }
    return hive;
}
