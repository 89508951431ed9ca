#include "voice/VoiceList.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/NoCase.h"
#include "voice/Family.h"

VoiceListView::~VoiceListView() = default;

std::string VoiceListLine(const BankImage& image, int voice)
{
    const std::uint8_t* common = image.data() + bank::kCommonOffset +
                                 bank::kCommonSize * static_cast<std::size_t>(voice);
    // The category byte is signed in the file's terms: 128 and above is no category.
    const auto category = static_cast<signed char>(common[bank::kCategoryOffset]);
    const unsigned index = category < 0 ? 0u : static_cast<unsigned>(category);
    const EX5Info family;

    const char* name = reinterpret_cast<const char*>(common);
    const std::size_t nameLength = strnlen(name, bank::kNameSize);

    char head[32];
    const bool first = voice < 128;
    std::snprintf(head, sizeof head, "%s\t%s-%03d\t", family.GetCategoryCode(index),
                  first ? "I1" : "I2", first ? voice + 1 : voice - 127);
    std::string line(head);
    line.append(name, nameLength);
    if (line[0] == '-') {
        line.replace(0, 2, "xx");
    }
    return line;
}

bool IsInitVoice(const BankImage& image, int voice)
{
    const std::uint8_t* name = image.data() + bank::kCommonOffset +
                               bank::kCommonSize * static_cast<std::size_t>(voice);
    return std::memcmp(name, "Init Voice", 10) == 0;
}

void FillVoiceList(VoiceListView& list, const BankImage& image, bool showInits)
{
    const bool sorted = list.IsSorted();
    for (int v = 0; v < static_cast<int>(bank::kVoiceCount); ++v) {
        if (!showInits && IsInitVoice(image, v)) {
            continue;
        }
        if (sorted) {
            list.InsertSorted(VoiceListLine(image, v));
        } else {
            list.Append(VoiceListLine(image, v));
        }
    }
}

bool VoiceLineLess(std::string_view a, std::string_view b)
{
    return platform::CompareNoCase(a, b) < 0;
}

std::string ShownVoice(std::string_view line)
{
    const std::size_t tab = line.find('\t');
    std::string shown(tab == std::string_view::npos ? line : line.substr(tab + 1));
    std::replace(shown.begin(), shown.end(), '\t', ' ');
    shown.erase(shown.find_last_not_of(' ') + 1);
    return shown;
}

int VoiceOfLine(std::string_view line)
{
    if (line.size() < 9) {
        return -1;
    }
    int n = 0;
    for (std::size_t i = 6; i < 9; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) {
            return -1;
        }
        n = n * 10 + (line[i] - '0');
    }
    return n - 1 + (line[4] == '2' ? 128 : 0);
}

void MemoryVoiceList::Append(const std::string& line) { lines_.push_back(line); }

void MemoryVoiceList::InsertSorted(const std::string& line)
{
    lines_.insert(std::upper_bound(lines_.begin(), lines_.end(), line, VoiceLineLess), line);
}

void MemoryVoiceList::Clear() { lines_.clear(); }

int MemoryVoiceList::Count() const { return static_cast<int>(lines_.size()); }

std::string MemoryVoiceList::LineText(int index) const
{
    if (index < 0 || index >= Count()) {
        return std::string();
    }
    return lines_[static_cast<std::size_t>(index)];
}

void MemoryVoiceList::SetSorted(bool sorted)
{
    sorted_ = sorted;
    if (sorted_) {
        std::stable_sort(lines_.begin(), lines_.end(), VoiceLineLess);
    }
}
