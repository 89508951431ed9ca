#include <gtest/gtest.h>

#include <vector>

#include "app/DialogIds.h"
#include "app/DialogLayout.h"

// The dialog grown by the layout rule: at its own size nothing moves; larger,
// the panes share the room without a gap or an overlap, the right-hand
// column and the foot follow their edges; a stored place is read back as
// written and kept on a screen.

using layout::Rect;
using Id = SonderikDlgIds;

namespace {

// The template's rectangles of the controls that matter, in dialog units.
struct Control {
    int id;
    Rect at;
};
const std::vector<Control> kTemplate = {
    {Id::IDC_FILES_GROUP, {5, 76, 383, 180}}, {Id::IDC_TREE, {9, 88, 143, 164}},
    {Id::IDC_FILES, {157, 88, 100, 164}},     {Id::IDC_VOICES, {262, 88, 122, 164}},
    {Id::IDC_SETTINGS_GROUP, {394, 76, 54, 92}}, {Id::IDC_AUDITION_GROUP, {394, 172, 54, 85}},
    {Id::IDC_NOTE, {399, 185, 44, 14}},       {Id::IDC_QUIT, {399, 266, 44, 14}},
    {Id::IDC_PATH, {9, 266, 386, 12}},        {Id::IDC_STATUS, {5, 283, 442, 10}},
    {Id::IDC_DEVICENO, {68, 52, 26, 12}},
};

Rect At(int id, int grownX, int grownY)
{
    for (const Control& c : kTemplate) {
        if (c.id == id) {
            return layout::Place(id, c.at, grownX, grownY);
        }
    }
    return {};
}

int Right(const Rect& r) { return r.x + r.width; }
int Bottom(const Rect& r) { return r.y + r.height; }

}  // namespace

TEST(DialogLayoutTest, ThePanesShareTheRoomAndTheEdgesFollow)
{
    for (const Control& c : kTemplate) {
        EXPECT_EQ(c.at, layout::Place(c.id, c.at, 0, 0)) << c.id;
    }
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{1, 1}, {364, 0}, {365, 200}, {1000, 37}, {7, 999}}) {
        const Rect group = At(Id::IDC_FILES_GROUP, x, y);
        const Rect tree = At(Id::IDC_TREE, x, y);
        const Rect files = At(Id::IDC_FILES, x, y);
        const Rect voices = At(Id::IDC_VOICES, x, y);
        // The gaps of the template stay: between the panes and to the group's edges.
        EXPECT_EQ(5, files.x - Right(tree));
        EXPECT_EQ(5, voices.x - Right(files));
        EXPECT_EQ(4, Right(group) - Right(voices));
        EXPECT_EQ(4, Bottom(group) - Bottom(tree));
        EXPECT_EQ(Bottom(tree), Bottom(voices));
        // The voice list gets its part: never narrower than it started.
        EXPECT_GE(voices.width, 122 + x * 122 / 365 - 1);
        EXPECT_EQ(6, At(Id::IDC_SETTINGS_GROUP, x, y).x - Right(group));
        EXPECT_EQ(At(Id::IDC_AUDITION_GROUP, x, y).y + 13, At(Id::IDC_NOTE, x, y).y);
        EXPECT_EQ(-1, Bottom(group) - Bottom(At(Id::IDC_AUDITION_GROUP, x, y)));  // as drawn at its own size
        EXPECT_EQ(5, At(Id::IDC_QUIT, x, y).x - At(Id::IDC_SETTINGS_GROUP, x, y).x);
        EXPECT_EQ(At(Id::IDC_QUIT, x, y).y, At(Id::IDC_PATH, x, y).y);
        EXPECT_EQ(283 + y, At(Id::IDC_STATUS, x, y).y);
        EXPECT_EQ(442 + x, At(Id::IDC_STATUS, x, y).width);
        EXPECT_EQ((Rect{68, 52, 26, 12}), At(Id::IDC_DEVICENO, x, y));
    }
}

TEST(DialogLayoutTest, AStoredPlaceIsReadAsWrittenAndKeptOnAScreen)
{
    const Rect place{-20, 40, 1000, 700};
    EXPECT_EQ(place, layout::ParsePlace(layout::FormatPlace(place), 791, 481));
    EXPECT_EQ((Rect{1, 2, 791, 481}), layout::ParsePlace("1,2,300,200", 791, 481)) << "never below the smallest";
    for (const char* broken : {"", "1,2,3", "1,2,3,4,5", "a,b,c,d", "1,2,0,480", "1, 2,800,600", "1,2,800,600x",
                               "99999999999,2,800,600"}) {
        EXPECT_EQ(std::nullopt, layout::ParsePlace(broken, 791, 481)) << broken;
    }
    const Rect screen{0, 0, 1280, 900};
    EXPECT_EQ((Rect{0, 40, 1000, 700}), layout::KeepOnScreen(place, screen, 791, 481));
    EXPECT_EQ((Rect{280, 200, 1000, 700}), layout::KeepOnScreen({3000, 2000, 1000, 700}, screen, 791, 481))
        << "a place on a screen unplugged since";
    EXPECT_EQ((Rect{0, 0, 1280, 900}), layout::KeepOnScreen({0, 0, 5000, 5000}, screen, 791, 481));
    EXPECT_EQ((Rect{0, 0, 791, 481}), layout::KeepOnScreen({10, 10, 791, 481}, {0, 0, 640, 480}, 791, 481))
        << "a screen smaller than the window: its corner shows";
}
