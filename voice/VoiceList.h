#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "voice/VoiceFile.h"

// The list a voice list is filled into. The window's list box implements it;
// so does MemoryVoiceList for the command line and the tests.
class VoiceListView {
public:
    virtual ~VoiceListView();
    virtual bool IsSorted() const = 0;
    virtual void Append(const std::string& line) = 0;
    // Places the line by CompareVoiceLines among the lines already there.
    virtual void InsertSorted(const std::string& line) = 0;
    virtual void Clear() = 0;
    virtual int Count() const = 0;
    virtual std::string LineText(int index) const = 0;
};

// The list line of voice `voice` (0 to 255): "code\tIb-nnn\tname", with
// "xx" standing for a voice without category.
std::string VoiceListLine(const BankImage& image, int voice);

// True when the voice's name starts with "Init Voice" (with case).
bool IsInitVoice(const BankImage& image, int voice);

// Appends every voice of the image in voice order, skipping "Init Voice"
// voices unless showInits; a sorted list places each line in order.
void FillVoiceList(VoiceListView& list, const BankImage& image, bool showInits);

// Case-insensitive order of whole lines: by category code, then bank, then number.
bool VoiceLineLess(std::string_view a, std::string_view b);

// The voice a list line names, or -1 when the line names none.
int VoiceOfLine(std::string_view line);

// "I1-002 Glass Grand" for the line "Pf\tI1-002\tGlass Grand  ": its
// bank-number and its name without the padding, as messages name a voice.
std::string ShownVoice(std::string_view line);

// A voice list kept in memory, sorted or in insertion order.
class MemoryVoiceList : public VoiceListView {
public:
    explicit MemoryVoiceList(bool sorted = false) : sorted_(sorted) {}

    bool IsSorted() const override { return sorted_; }
    void Append(const std::string& line) override;
    void InsertSorted(const std::string& line) override;
    void Clear() override;
    int Count() const override;
    std::string LineText(int index) const override;

    // Turning sorting on sorts the lines already there, as a list box
    // re-created with sorting does; turning it off keeps their order.
    void SetSorted(bool sorted);
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    bool sorted_;
    std::vector<std::string> lines_;
};
