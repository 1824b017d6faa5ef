// Wildcard matching of file names.
//
// The pattern language has "*" (any run, the empty one included), "?" (any one character)
// and sets in angle brackets: "<abc>", ranges "<a-c>" (either order of the ends) and the
// complement "<!a-c>" or "<^a-c>". A star written directly before a set ("*<0-9>") stands for
// a run of one or more characters of that set. There is no escape character. Case is ignored
// by folding both strings through one Windows-1252 upper-case table, so accented letters of
// the ANSI code page fold the way the file system folds them.
//
// The obvious recursive matcher (try the rest of the pattern after every possible run of each
// star) takes exponential time on patterns such as "*a*a*a*a*b" against a long run of "a".
// Here the part before the first star is walked directly, which also yields the detailed
// result codes, and from the first star on the pattern is run as a set of positions over the
// text (a Thompson simulation): each text character advances every live pattern position at
// once, so the work is bounded by pattern length times text length and no position is ever
// tried twice. States are pattern offsets, so nothing is compiled or allocated for patterns
// up to a few hundred bytes.

#include "zip/ZipMatch.h"

#include "gui/CompareText.h"

#include <array>
#include <vector>

namespace zip {

namespace {

// The one Windows-1252 fold table of the class library, so matching and sorting agree.
inline uint8_t Fold(char c) {
    return gui::FoldCaseI(static_cast<uint8_t>(c));
}

enum class Kind { Literal, Any, Set, BadSet, Star, StarSet };

// One pattern element, decoded at a pattern offset.
struct Element {
    Kind kind;
    size_t next;     // offset of the element after this one
    size_t setBegin; // for sets: the characters between the brackets (after "!"/"^")
    size_t setEnd;
    bool complement;
};

class Pattern {
  public:
    explicit Pattern(std::string_view text) : p_(text) {}
    size_t Size() const { return p_.size(); }

    Element At(size_t i) const {
        const char c = p_[i];
        if (c == '?') return {Kind::Any, i + 1, 0, 0, false};
        if (c == '<') return ParseSet(i, Kind::Set);
        if (c == '*') {
            size_t j = i + 1;
            while (j < p_.size() && p_[j] == '*')
                ++j;
            if (j < p_.size() && p_[j] == '<') return ParseSet(j, Kind::StarSet);
            return {Kind::Star, j, 0, 0, false};
        }
        return {Kind::Literal, i + 1, 0, 0, false};
    }

    // c is already folded.
    bool Fits(const Element& e, uint8_t c) const {
        switch (e.kind) {
        case Kind::Literal:
            return Fold(p_[e.next - 1]) == c;
        case Kind::Any:
        case Kind::Star:
            return true;
        case Kind::Set:
        case Kind::StarSet:
            return InSet(e, c);
        case Kind::BadSet:
            return false;
        }
        return false;
    }

  private:
    Element ParseSet(size_t open, Kind kind) const {
        size_t k = open + 1;
        bool complement = false;
        if (k < p_.size() && (p_[k] == '!' || p_[k] == '^')) {
            complement = true;
            ++k;
        }
        const size_t close = p_.find('>', k);
        if (close == std::string_view::npos) return {Kind::BadSet, p_.size(), 0, 0, false};
        if (close == k) return {Kind::BadSet, close + 1, 0, 0, false};
        return {kind, close + 1, k, close, complement};
    }

    bool InSet(const Element& e, uint8_t c) const {
        bool found = false;
        for (size_t m = e.setBegin; m < e.setEnd && !found;) {
            const uint8_t first = Fold(p_[m]);
            if (m + 2 < e.setEnd && p_[m + 1] == '-') {
                const uint8_t last = Fold(p_[m + 2]);
                found = first <= last ? (c >= first && c <= last) : (c >= last && c <= first);
                m += 3;
            } else {
                found = first == c;
                ++m;
            }
        }
        return found != e.complement;
    }

    std::string_view p_;
};

// A set of simulation states: "at element i" is state i (i = pattern size is the accepting
// state), "inside the run of the star-set at i, at least one character taken" is size+1+i.
class StateSet {
  public:
    explicit StateSet(size_t states) : words_((states + 63) / 64) {
        if (words_ <= InlineWords)
            bits_ = inline_.data();
        else {
            heap_.resize(words_);
            bits_ = heap_.data();
        }
        Clear();
    }
    void Clear() {
        for (size_t w = 0; w < words_; ++w)
            bits_[w] = 0;
    }
    bool Test(size_t s) const { return (bits_[s >> 6] >> (s & 63)) & 1; }
    void Set(size_t s) { bits_[s >> 6] |= uint64_t(1) << (s & 63); }
    bool Empty() const {
        for (size_t w = 0; w < words_; ++w)
            if (bits_[w]) return false;
        return true;
    }
    template <class F> void ForEach(F&& visit) const {
        for (size_t w = 0; w < words_; ++w)
            for (uint64_t word = bits_[w]; word; word &= word - 1)
                visit(w * 64 + static_cast<size_t>(__builtin_ctzll(word)));
    }
    void Swap(StateSet& other) {
        std::swap(words_, other.words_);
        std::swap(inline_, other.inline_);
        heap_.swap(other.heap_);
        bits_ = words_ <= InlineWords ? inline_.data() : heap_.data();
        other.bits_ = other.words_ <= InlineWords ? other.inline_.data() : other.heap_.data();
    }

  private:
    static constexpr size_t InlineWords = 8;
    size_t words_;
    uint64_t* bits_;
    std::array<uint64_t, InlineWords> inline_{};
    std::vector<uint64_t> heap_;
};

class Simulation {
  public:
    explicit Simulation(const Pattern& pattern) : p_(pattern), size_(pattern.Size()) {}

    bool Run(size_t start, std::string_view text) {
        StateSet current(2 * size_ + 2), next(2 * size_ + 2);
        Enter(current, start);
        for (char ch : text) {
            const uint8_t c = Fold(ch);
            next.Clear();
            current.ForEach([&](size_t s) { Step(next, s, c); });
            if (next.Empty()) return false;
            current.Swap(next);
        }
        return current.Test(size_);
    }

  private:
    // Adds the state at offset i and whatever it reaches without taking a character.
    void Enter(StateSet& set, size_t i) {
        while (true) {
            set.Set(i);
            if (i >= size_) return;
            const Element e = p_.At(i);
            if (e.kind != Kind::Star) return;
            i = e.next;
        }
    }

    void Step(StateSet& next, size_t state, uint8_t c) {
        if (state > size_) { // inside a star-set run
            const size_t i = state - size_ - 1;
            const Element e = p_.At(i);
            if (p_.Fits(e, c)) EnterRun(next, i, e);
            return;
        }
        if (state == size_) return;
        const Element e = p_.At(state);
        if (!p_.Fits(e, c)) return;
        if (e.kind == Kind::Star)
            Enter(next, state);
        else if (e.kind == Kind::StarSet)
            EnterRun(next, state, e);
        else
            Enter(next, e.next);
    }

    void EnterRun(StateSet& next, size_t i, const Element& e) {
        next.Set(size_ + 1 + i);
        Enter(next, e.next);
    }

    const Pattern& p_;
    size_t size_;
};

} // namespace

uint8_t UpperCase1252(uint8_t c) {
    return gui::FoldCaseI(c);
}

int Matcher(std::string_view patternText, std::string_view text) {
    const Pattern pattern(patternText);
    size_t pi = 0, ti = 0;
    while (true) {
        if (pi == pattern.Size()) return ti == text.size() ? mrMatch : mrPatternEnded;
        const Element e = pattern.At(pi);
        if (e.kind == Kind::Star || e.kind == Kind::StarSet) {
            if (Simulation(pattern).Run(pi, text.substr(ti))) return mrMatch;
            return ti == text.size() ? mrTextEnded : mrNoMatch;
        }
        if (ti == text.size()) return mrTextEnded;
        if (e.kind == Kind::BadSet) return mrNoMatch;
        if (!pattern.Fits(e, Fold(text[ti]))) return mrMismatch;
        pi = e.next;
        ++ti;
    }
}

} // namespace zip
