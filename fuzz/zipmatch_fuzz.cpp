// The matcher against a slow reference: a memoized recursion over (pattern, text) positions
// written straight from the pattern rules. Input: pattern, a zero byte, text.
#include "zip/ZipMatch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

class Reference {
  public:
    Reference(std::string pattern, std::string text) : p_(std::move(pattern)), t_(std::move(text)) {
        for (char& c : p_)
            c = char(zip::UpperCase1252(uint8_t(c)));
        for (char& c : t_)
            c = char(zip::UpperCase1252(uint8_t(c)));
        memo_.assign((p_.size() + 1) * (t_.size() + 1), -1);
    }
    bool Match() { return At(0, 0); }

  private:
    // Parses the set opening at i; answers false for a malformed one, with end set past it.
    bool Set(size_t i, size_t& end, std::vector<bool>& members) const {
        size_t k = i + 1;
        bool complement = false;
        if (k < p_.size() && (p_[k] == '!' || p_[k] == '^')) complement = true, ++k;
        const size_t close = p_.find('>', k);
        if (close == std::string::npos || close == k) return false;
        members.assign(256, complement);
        for (size_t m = k; m < close;) {
            uint8_t a = uint8_t(p_[m]), b = a;
            if (m + 2 < close && p_[m + 1] == '-')
                b = uint8_t(p_[m + 2]), m += 3;
            else
                ++m;
            if (a > b) std::swap(a, b);
            for (unsigned c = a; c <= b; ++c)
                members[c] = !complement;
        }
        end = close + 1;
        return true;
    }

    bool At(size_t pi, size_t ti) {
        signed char& memo = memo_[pi * (t_.size() + 1) + ti];
        if (memo >= 0) return memo;
        bool result = false;
        if (pi == p_.size())
            result = ti == t_.size();
        else if (p_[pi] == '*') {
            size_t j = pi;
            while (j < p_.size() && p_[j] == '*')
                ++j;
            std::vector<bool> members;
            size_t end;
            if (j < p_.size() && p_[j] == '<') {
                if (Set(j, end, members))
                    for (size_t k = ti; k < t_.size() && members[uint8_t(t_[k])] && !result; ++k)
                        result = At(end, k + 1);
            } else
                for (size_t k = ti; k <= t_.size() && !result; ++k)
                    result = At(j, k);
        } else if (ti < t_.size()) {
            if (p_[pi] == '?')
                result = At(pi + 1, ti + 1);
            else if (p_[pi] == '<') {
                std::vector<bool> members;
                size_t end;
                result = Set(pi, end, members) && members[uint8_t(t_[ti])] && At(end, ti + 1);
            } else
                result = p_[pi] == t_[ti] && At(pi + 1, ti + 1);
        }
        memo = result;
        return result;
    }

    std::string p_, t_;
    std::vector<signed char> memo_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t zero = input.find('\0');
    if (zero == std::string::npos || zero > 200 || size - zero > 600) return 0;
    const std::string pattern = input.substr(0, zero), text = input.substr(zero + 1);
    const int code = zip::Matcher(pattern, text);
    if (code != 0 && code != 1 && code != 2 && code != 3 && code != 5) __builtin_trap();
    if ((code == zip::mrMatch) != Reference(pattern, text).Match()) __builtin_trap();
    return 0;
}
