#pragma once

#include "pedigree/MarkerMap.h"
#include "pedigree/Pedigree.h"

#include <string>

namespace tavirlen {

// Draws a phased family as an inline SVG element: every member's symbol
// (square male, circle female, diamond unknown; dashed when untyped) with
// its id, the mating, sibship and descent lines, and under each member two
// bars of the loci, paternal on the left, each locus coloured by the founder
// haplotype it came from (grey where that is undetermined), crossovers
// ticked, alleles written beside the bars up to maxLabelledLoci loci, marker
// names in a side column when a map is given. Symbols carry the class "sym",
// crossover ticks the class "xo"; pedigreeSvgStyle() gives the look.
std::string drawPedigreeSvg(const Pedigree& pedigree, const MarkerMap* map);

constexpr int maxLabelledLoci = 60;

// The style sheet rules for the classes the drawing uses.
const char* pedigreeSvgStyle();

// Text with the characters that HTML and SVG treat specially escaped.
std::string escapeMarkup(const std::string& text);

} // namespace tavirlen
