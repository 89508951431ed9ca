#pragma once

#include <optional>
#include <string>

// How the main dialog grows with its window: the dialog's own layout is its
// smallest size; the three panes of the browser (tree, voice files, voices)
// share the room it gains, the right-hand column and "Quit" keep to the
// right edge, the path and status lines keep to the foot. The rule knows
// only control ids and rectangles, so the window on any system lays out by it.
namespace layout {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const Rect&) const = default;
};

// Where control `id`, at `original` in the dialog's own size, goes when the
// client area is `grownX` wider and `grownY` higher (both 0 or more).
Rect Place(int id, const Rect& original, int grownX, int grownY);

// The window's place as the settings keep it, "x,y,width,height".
std::string FormatPlace(const Rect& place);
// A stored place, if it is one: four integers, the size no smaller than
// `smallest` (a smaller one is grown to it).
std::optional<Rect> ParsePlace(const std::string& text, int smallestWidth, int smallestHeight);
// `place` moved (and, when it must, shrunk but never below the smallest
// size) so that it lies within `screen`: a place stored on a screen that is
// not there any more opens where it can be seen.
Rect KeepOnScreen(Rect place, const Rect& screen, int smallestWidth, int smallestHeight);

}  // namespace layout
