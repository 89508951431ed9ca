#include "app/DialogLayout.h"

#include <algorithm>
#include <charconv>

#include "app/DialogIds.h"

namespace layout {

namespace {

using Id = SonderikDlgIds;

// The panes share the width gained as their own widths (in dialog units)
// share the dialog's: the voice list, where names are read, keeps its part.
constexpr int kTreeShare = 143;
constexpr int kFilesShare = 100;
constexpr int kVoicesShare = 122;
constexpr int kAllShares = kTreeShare + kFilesShare + kVoicesShare;

// The part of `grown` that falls to the shares before `upTo`, rounded so that
// the parts of all three add up to `grown` exactly.
int Before(int grown, int upTo) { return grown * upTo / kAllShares; }

}  // namespace

Rect Place(int id, const Rect& original, int grownX, int grownY)
{
    Rect r = original;
    switch (id) {
    case Id::IDC_MIDIPARAMS:
        r.width += grownX;
        break;
    case Id::IDC_FILES_GROUP:
        r.width += grownX;
        r.height += grownY;
        break;
    case Id::IDC_TREE:
        r.width += Before(grownX, kTreeShare);
        r.height += grownY;
        break;
    case Id::IDC_FILES:
        r.x += Before(grownX, kTreeShare);
        r.width += Before(grownX, kTreeShare + kFilesShare) - Before(grownX, kTreeShare);
        r.height += grownY;
        break;
    case Id::IDC_VOICES:
        r.x += Before(grownX, kTreeShare + kFilesShare);
        r.width += grownX - Before(grownX, kTreeShare + kFilesShare);
        r.height += grownY;
        break;
    case Id::IDC_SEARCH:
        // Above the voice list, as wide as it.
        r.x += Before(grownX, kTreeShare + kFilesShare);
        r.width += grownX - Before(grownX, kTreeShare + kFilesShare);
        break;
    case Id::IDC_SETTINGS_GROUP:
    case Id::IDC_CATORDER:
    case Id::IDC_SHOWINITS:
    case Id::IDC_ONTOP:
        r.x += grownX;
        break;
    case Id::IDC_AUDITION_GROUP:
    case Id::IDC_MINOR:
    case Id::IDC_MAJOR:
    case Id::IDC_TRILL:
    case Id::IDC_NOTE:
    case Id::IDC_QUIT:
        // The audition buttons stay beside the foot of the panes, "Quit" in
        // the corner.
        r.x += grownX;
        r.y += grownY;
        break;
    case Id::IDC_PATH:
    case Id::IDC_STATUS:
        r.y += grownY;
        r.width += grownX;
        break;
    default:
        break;
    }
    return r;
}

std::string FormatPlace(const Rect& place)
{
    return std::to_string(place.x) + "," + std::to_string(place.y) + "," + std::to_string(place.width) + "," +
           std::to_string(place.height);
}

std::optional<Rect> ParsePlace(const std::string& text, int smallestWidth, int smallestHeight)
{
    int values[4] = {};
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at == end || *at != ',') {
                return std::nullopt;
            }
            ++at;
        }
        const auto [next, error] = std::from_chars(at, end, values[i]);
        if (error != std::errc() || next == at) {
            return std::nullopt;
        }
        at = next;
    }
    if (at != end || values[2] <= 0 || values[3] <= 0) {
        return std::nullopt;
    }
    return Rect{values[0], values[1], std::max(values[2], smallestWidth), std::max(values[3], smallestHeight)};
}

Rect KeepOnScreen(Rect place, const Rect& screen, int smallestWidth, int smallestHeight)
{
    place.width = std::max(std::min(place.width, screen.width), smallestWidth);
    place.height = std::max(std::min(place.height, screen.height), smallestHeight);
    place.x = std::clamp(place.x, screen.x, std::max(screen.x, screen.x + screen.width - place.width));
    place.y = std::clamp(place.y, screen.y, std::max(screen.y, screen.y + screen.height - place.height));
    return place;
}

}  // namespace layout
