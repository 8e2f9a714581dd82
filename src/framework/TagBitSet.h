#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korax::framework {

// A set of tag-table positions, walked in ascending order. A second level of bits marks the non-empty
// words, so a walk costs in proportion to the marked positions, not to the size of the table; with
// nothing marked a walk reads nothing at all.
class TagBitSet {
public:
    void Clear() {
        Words_.clear();
        Summary_.clear();
        Marked_ = 0;
    }
    void Resize(std::size_t positions) {
        Words_.resize((positions + WordBits - 1) / WordBits, 0);
        Summary_.resize((Words_.size() + WordBits - 1) / WordBits, 0);
    }
    void Set(std::size_t position) {
        const std::size_t word = position / WordBits;
        if ((Words_[word] & Bit(position)) == 0) ++Marked_;
        Words_[word] |= Bit(position);
        Summary_[word / WordBits] |= Bit(word);
    }
    void Reset(std::size_t position) {
        const std::size_t word = position / WordBits;
        if ((Words_[word] & Bit(position)) != 0) --Marked_;
        Words_[word] &= ~Bit(position);
        if (Words_[word] == 0) Summary_[word / WordBits] &= ~Bit(word);
    }
    bool Test(std::size_t position) const { return (Words_[position / WordBits] & Bit(position)) != 0; }

    // Calls visit(position) for every marked position in ascending order. visit may reset the position it
    // is given; positions it marks are not visited in this walk.
    template <typename Visit>
    void ForEach(Visit&& visit) {
        if (Marked_ == 0) return;
        for (std::size_t s = 0; s < Summary_.size(); ++s) {
            for (std::uint64_t words = Summary_[s]; words != 0; words &= words - 1) {
                const std::size_t word = s * WordBits + static_cast<std::size_t>(std::countr_zero(words));
                for (std::uint64_t bits = Words_[word]; bits != 0; bits &= bits - 1)
                    visit(word * WordBits + static_cast<std::size_t>(std::countr_zero(bits)));
            }
        }
    }

private:
    static constexpr std::size_t WordBits = 64;
    static constexpr std::uint64_t Bit(std::size_t index) { return std::uint64_t{1} << (index % WordBits); }

    std::vector<std::uint64_t> Words_;
    std::vector<std::uint64_t> Summary_;
    std::size_t Marked_ = 0;
};

} // namespace korax::framework
