// Match finding and the two parsing strategies of the deflate compressor; see Deflate.h.
//
// Positions in the window are 16-bit so that the hash heads and chain links fit the buffers
// the zip component lends; 0 doubles as "no earlier string", so position 0 is never matched.
// The window keeps kDeflateWindowSlack bytes past its end, so a comparison that runs over the
// last input byte reads stale (but deterministic) bytes instead of going out of bounds; every
// match found is then cut to the bytes actually looked ahead.
#include "zip/Deflate.h"

#include "zip/DeflateTrees.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace zip {

namespace {

constexpr unsigned kHashMask = kDeflateHashSize - 1;
constexpr unsigned kChainMask = kDeflateHalfWindow - 1;
constexpr unsigned kHashShift = 5; // three bytes fill the 15 hash bits
constexpr unsigned kMinLookahead = kDeflateMaxMatch + kDeflateMinMatch + 1; // 262
constexpr unsigned kMaxDistance = kDeflateHalfWindow - kMinLookahead;       // 32,506
constexpr unsigned kSlidePosition = kDeflateHalfWindow + kMaxDistance;      // 65,274
constexpr unsigned kTooFar = 4096; // a 3-byte match further back rarely pays for its distance
constexpr uint32_t kFirstRead = kDeflateHalfWindow;
// Up to this many input bytes, clearing the heads of the strings hashed costs less than
// clearing all of them.
constexpr unsigned kRehashLimit = 4096;

struct LevelRow {
    unsigned good;  // a held match this long quarters the next chain walk
    unsigned lazy;  // lazy: no search after a match this long; fast: insert limit
    unsigned nice;  // stop walking at a match this long
    unsigned chain; // chain links walked at most
};

constexpr LevelRow kLevels[10] = {
    {0, 0, 0, 0},    {4, 4, 8, 4},      {4, 5, 16, 8},     {4, 6, 32, 32},       {4, 4, 16, 16},
    {8, 16, 32, 32}, {8, 16, 128, 128}, {8, 32, 128, 256}, {32, 128, 258, 1024}, {32, 258, 258, 4096},
};

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Whole machine words: on a 32-bit build a 64-bit load and its trailing-zero count are two
// steps each, and the count a call into the runtime library.
using Word = uintptr_t;

inline Word LoadWord(const uint8_t* p) {
    Word v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline unsigned TrailingZeros(Word v) {
    if constexpr (sizeof(Word) == sizeof(unsigned long long))
        return static_cast<unsigned>(__builtin_ctzll(v));
    else
        return static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(v)));
}

// Equal bytes of a and b, at most 256 (the bytes past a match's first two).
inline unsigned CommonLength256(const uint8_t* a, const uint8_t* b) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (unsigned length = 0; length < 256; length += sizeof(Word)) {
        const Word difference = LoadWord(a + length) ^ LoadWord(b + length);
        if (difference != 0) return length + TrailingZeros(difference) / 8;
    }
    return 256;
#else
    unsigned length = 0;
    while (length < 256 && a[length] == b[length])
        ++length;
    return length;
#endif
}

// Longest match for the string at position along the chain from candidate: answers its length
// (bestLength when nothing longer is found) and sets matchStart. On its own, out of the
// compressor's loop, so that a 32-bit build keeps the walk's state in registers.
[[gnu::noinline]] unsigned LongestMatch(const DeflateBuffers& b, unsigned position, unsigned candidate,
                                        unsigned bestLength, unsigned chainLength, unsigned nice,
                                        unsigned& matchStart) {
    const uint8_t* const window = b.window;
    const uint8_t* const scan = window + position;
    const unsigned limit = position > kMaxDistance ? position - kMaxDistance : 0;
    const uint16_t scanStart = Load16(scan);
    uint16_t scanEnd = Load16(scan + bestLength - 1);
    const uint8_t* windowEnd = window + bestLength - 1; // + candidate: the candidate's pair there
    const uint16_t* const chain = b.chain;
    for (;;) {
        // The pair at the current best length differs most often: a tight loop passes those.
        while (Load16(windowEnd + candidate) != scanEnd) {
            candidate = chain[candidate & kChainMask];
            if (candidate <= limit || --chainLength == 0) return bestLength;
        }
        if (Load16(window + candidate) == scanStart) {
            const unsigned length = 2 + CommonLength256(scan + 2, window + candidate + 2);
            if (length > bestLength) {
                matchStart = candidate;
                bestLength = length;
                if (length >= nice) break;
                scanEnd = Load16(scan + bestLength - 1);
                windowEnd = window + bestLength - 1;
            }
        }
        candidate = chain[candidate & kChainMask];
        if (candidate <= limit || --chainLength == 0) break;
    }
    return bestLength;
}

// One entry's compression state; the buffers are the caller's.
class Compressor {
  public:
    Compressor(DeflateStream& stream, DeflateBuffers& buffers, int level, DeflateEntryInfo& entry)
        : stream_(stream), b_(buffers), row_(kLevels[level]), entry_(entry), out_(stream),
          blocks_(buffers, out_, entry, level >= 3) {}

    uint32_t Run(int level) {
        Read(b_.window, kFirstRead);
        while (lookahead_ < kMinLookahead && !endOfInput_)
            FillWindow();
        if (lookahead_ > 0) {
            hash_ = b_.window[0];
            hash_ = ((hash_ << kHashShift) ^ b_.window[1]) & kHashMask;
            if (level <= 3)
                CompressFast();
            else
                CompressLazy();
        }
        FlushBlock(true);
        out_.Finish();
        return static_cast<uint32_t>(out_.BytesProduced());
    }

  private:
    void Read(uint8_t* into, uint32_t size) {
        const uint32_t got = stream_.ReadInput(into, size);
        // Up to the size asked is input (a first read of one byte asks next for 65,535); more
        // cannot have been read into the window.
        if (got == 0 || got > size) {
            endOfInput_ = true;
            return;
        }
        lookahead_ += got;
        entry_.bytesConsumed += got;
        filled_ = std::max(filled_, static_cast<unsigned>(into - b_.window) + got);
    }

  public:
    // Leaves the hash heads and the window as zeros for the next entry, as a fresh set of
    // buffers is. An entry clears only the window bytes it read (all of them once it slid),
    // and a small one only the heads of the strings it hashed (every string was hashed from
    // the same window bytes as here, and bytes past its input were zeros then as now).
    void ClearBuffers() noexcept {
        if (slid_ || filled_ > kRehashLimit) {
            std::fill(std::begin(b_.head), std::end(b_.head), uint16_t{0});
            std::memset(b_.window, 0, slid_ ? sizeof b_.window : filled_);
            return;
        }
        const uint8_t* window = b_.window;
        for (unsigned position = 0; position < filled_; ++position)
            b_.head[((window[position] << 2 * kHashShift) ^ (window[position + 1] << kHashShift) ^
                     window[position + 2]) &
                    kHashMask] = 0;
        std::memset(b_.window, 0, filled_);
    }

  private:
    void FillWindow() {
        uint32_t room = kDeflateWindowSize - lookahead_ - position_;
        if (position_ >= kSlidePosition) {
            slid_ = true;
            std::memcpy(b_.window, b_.window + kDeflateHalfWindow, kDeflateHalfWindow);
            matchStart_ -= kDeflateHalfWindow;
            position_ -= kDeflateHalfWindow;
            blockStart_ -= kDeflateHalfWindow;
            for (uint16_t& head : b_.head)
                head = static_cast<uint16_t>(head >= kDeflateHalfWindow ? head - kDeflateHalfWindow : 0);
            for (uint16_t& link : b_.chain)
                link = static_cast<uint16_t>(link >= kDeflateHalfWindow ? link - kDeflateHalfWindow : 0);
            room += kDeflateHalfWindow;
        }
        Read(b_.window + position_ + lookahead_, room);
    }

    // Adds the string at position to its hash chain and answers the previous head.
    unsigned InsertString(unsigned position) {
        hash_ = ((hash_ << kHashShift) ^ b_.window[position + kDeflateMinMatch - 1]) & kHashMask;
        const unsigned previous = b_.head[hash_];
        b_.chain[position & kChainMask] = static_cast<uint16_t>(previous);
        b_.head[hash_] = static_cast<uint16_t>(position);
        return previous;
    }

    unsigned LongestMatch(unsigned candidate) {
        const unsigned chainLength = prevLength_ >= row_.good ? row_.chain >> 2 : row_.chain;
        return zip::LongestMatch(b_, position_, candidate, prevLength_, chainLength, row_.nice, matchStart_);
    }

    void FlushBlock(bool last) {
        const auto length = static_cast<uint64_t>(BlockBytes());
        const uint8_t* bytes = blockStart_ >= 0 ? b_.window + blockStart_ : nullptr;
        blocks_.FlushBlock(bytes, length, last);
        blockStart_ = position_;
    }

    int64_t BlockBytes() const { return static_cast<int64_t>(position_) - blockStart_; }

    // Levels 1-3: take each match as found; strings inside short matches are still hashed.
    void CompressFast() {
        while (lookahead_ != 0) {
            unsigned matchLength = 0;
            if (lookahead_ >= kDeflateMinMatch) {
                const unsigned head = InsertString(position_);
                if (head != 0 && position_ - head <= kMaxDistance)
                    matchLength = std::min(LongestMatch(head), lookahead_);
            }
            bool endBlock;
            if (matchLength >= kDeflateMinMatch) {
                endBlock = blocks_.TallyEntry(position_ - matchStart_, matchLength, BlockBytes());
                lookahead_ -= matchLength;
                if (matchLength <= row_.lazy) {
                    for (unsigned n = 1; n < matchLength; ++n)
                        InsertString(position_ + n);
                    position_ += matchLength;
                } else {
                    position_ += matchLength;
                    hash_ = b_.window[position_];
                    hash_ = ((hash_ << kHashShift) ^ b_.window[position_ + 1]) & kHashMask;
                }
            } else {
                endBlock = blocks_.TallyEntry(0, b_.window[position_], BlockBytes());
                --lookahead_;
                ++position_;
            }
            if (endBlock) FlushBlock(false);
            while (lookahead_ < kMinLookahead && !endOfInput_)
                FillWindow();
        }
    }

    // Levels 4-9: hold each match back one byte and keep the longer of the two.
    void CompressLazy() {
        bool matchAvailable = false;
        unsigned matchLength = kDeflateMinMatch - 1;
        while (lookahead_ != 0) {
            const unsigned head = InsertString(position_);
            prevLength_ = matchLength;
            const unsigned prevMatch = matchStart_;
            matchLength = kDeflateMinMatch - 1;
            if (head != 0 && prevLength_ < row_.lazy && position_ - head <= kMaxDistance) {
                matchLength = std::min(LongestMatch(head), lookahead_);
                if (matchLength == kDeflateMinMatch && position_ - matchStart_ > kTooFar)
                    matchLength = kDeflateMinMatch - 1;
            }
            if (prevLength_ >= kDeflateMinMatch && matchLength <= prevLength_) {
                // The held match wins; it began one byte back.
                const bool endBlock =
                    blocks_.TallyEntry(position_ - 1 - prevMatch, prevLength_, BlockBytes());
                lookahead_ -= prevLength_ - 1;
                for (unsigned n = 1; n < prevLength_ - 1; ++n)
                    InsertString(position_ + n);
                position_ += prevLength_ - 1;
                matchAvailable = false;
                matchLength = kDeflateMinMatch - 1;
                if (endBlock) FlushBlock(false);
            } else if (matchAvailable) {
                // The held byte goes out as a literal; the new match is held instead.
                if (blocks_.TallyEntry(0, b_.window[position_ - 1], BlockBytes())) FlushBlock(false);
                ++position_;
                --lookahead_;
            } else {
                matchAvailable = true;
                ++position_;
                --lookahead_;
            }
            while (lookahead_ < kMinLookahead && !endOfInput_)
                FillWindow();
        }
        if (matchAvailable) blocks_.TallyEntry(0, b_.window[position_ - 1], BlockBytes());
    }

    DeflateStream& stream_;
    DeflateBuffers& b_;
    const LevelRow row_;
    DeflateEntryInfo& entry_;
    DeflateBitWriter out_;
    DeflateBlockWriter blocks_;
    unsigned position_ = 0;   // current string in the window
    unsigned lookahead_ = 0;  // valid bytes from position_ on
    unsigned matchStart_ = 0; // start of the last match found
    unsigned prevLength_ = kDeflateMinMatch - 1;
    unsigned hash_ = 0;
    int64_t blockStart_ = 0; // window position of the block's first byte; negative once slid out
    bool endOfInput_ = false;
    unsigned filled_ = 0; // window bytes read into, from its start
    bool slid_ = false;
};

// Clears the buffers after the entry, also when a callback throws, so that every entry starts
// from zeros and the stale bytes a match comparison may read past the input are the same.
class BufferClearer {
  public:
    explicit BufferClearer(Compressor& compressor) : compressor_(compressor) {}
    ~BufferClearer() { compressor_.ClearBuffers(); }
    BufferClearer(const BufferClearer&) = delete;
    BufferClearer& operator=(const BufferClearer&) = delete;

  private:
    Compressor& compressor_;
};

} // namespace

uint32_t DeflateEntry(DeflateStream& stream, DeflateBuffers& buffers, int packLevel,
                      DeflateEntryInfo& entry) {
    const int level = std::clamp(packLevel, 1, 9);
    if (level <= 2)
        entry.generalPurposeFlag |= 4;
    else if (level >= 8)
        entry.generalPurposeFlag |= 2;
    entry.compressionMethod = 8;
    Compressor compressor(stream, buffers, level, entry);
    BufferClearer clearer(compressor);
    return compressor.Run(level);
}

} // namespace zip
