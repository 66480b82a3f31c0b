#pragma once

#include "pedigree/Pedigree.h"

#include <vector>

namespace tavirlen {

// An axis-aligned rectangle in drawing units (pixels), y growing downwards.
struct Box {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double right() const { return x + width; }
    double bottom() const { return y + height; }
    double centreX() const { return x + width / 2; }
    // True when the two rectangles share more than an edge.
    bool intersects(const Box& other) const
    {
        return x < other.right() && other.x < right() && y < other.bottom() && other.y < bottom();
    }
};

// The sizes the drawing needs: every member takes a box of the same size,
// its symbol centred at the top of the box, whatever the drawing hangs below
// the symbol (id, haplotype bars) filling the rest.
struct LayoutSizes {
    double symbol = 28;
    double memberWidth = 60;
    double memberHeight = 60;
    double gap = 22;      // between neighbouring member boxes of a row
    double marginLeft = 12;
    double marginTop = 12;
};

struct PlacedMember {
    int id = 0;
    int row = 0;  // generation, 0 at the top
    Box box;      // the whole member: symbol, id and bars
    Box symbol;
};

// One straight piece of a mating, sibship or descent line.
struct Segment {
    double x1 = 0;
    double y1 = 0;
    double x2 = 0;
    double y2 = 0;
};

// Where everything of one family goes. Generations are rows by depth from
// the founders; spouses sit side by side, siblings together, and a founder
// who married into the family sits beside the spouse. A member reached twice
// (a loop) is placed once; a couple that cannot sit side by side is joined by
// a line below their boxes, from which the descent line starts.
struct PedigreeLayout {
    std::vector<PlacedMember> members; // ascending id
    std::vector<Segment> lines;
    int rows = 0;
    double width = 0;
    double height = 0;

    const PlacedMember* find(int id) const;
};

PedigreeLayout layoutPedigree(const Pedigree& pedigree, const LayoutSizes& sizes);

} // namespace tavirlen
