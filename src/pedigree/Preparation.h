#pragma once

namespace tavirlen {

// True when the child's two alleles can be one from each parent. A missing
// allele (below 1) of a parent accepts any allele on that parent's side.
bool trioConsistent(int p1a, int p1b, int p2a, int p2b, int ca, int cb);

} // namespace tavirlen
