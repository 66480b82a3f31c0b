#include "pedigree/HaplotypeTally.h"

#include <algorithm>
#include <functional>

namespace tavirlen {

void HaplotypeTally::add(std::string_view text)
{
    // At most half the slots in use keeps the probes short.
    if (2 * (entries_.size() + 1) > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = std::hash<std::string_view>()(text) & mask;; at = (at + 1) & mask) {
        std::uint32_t& slot = slots_[at];
        if (slot == 0) {
            entries_.push_back({texts_.size(), static_cast<std::uint32_t>(text.size()), 1});
            texts_.append(text);
            slot = static_cast<std::uint32_t>(entries_.size());
            return;
        }
        Entry& e = entries_[slot - 1];
        if (textOf(e) == text) {
            ++e.count;
            return;
        }
    }
}

void HaplotypeTally::grow()
{
    slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        std::size_t at = std::hash<std::string_view>()(textOf(entries_[i])) & mask;
        while (slots_[at] != 0) at = (at + 1) & mask;
        slots_[at] = static_cast<std::uint32_t>(i + 1);
    }
}

std::vector<std::pair<std::string_view, int>> HaplotypeTally::sorted() const
{
    std::vector<std::pair<std::string_view, int>> all;
    all.reserve(entries_.size());
    for (const Entry& e : entries_) all.emplace_back(textOf(e), e.count);
    std::sort(all.begin(), all.end());
    return all;
}

} // namespace tavirlen
