#include "Random.h"
#include "TestFile.h"

#include <chrono>
#include <utility>

using namespace Qt::StringLiterals;

namespace vigix {

TRandom TRandom::FromClock()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count() ^
                     std::chrono::system_clock::now().time_since_epoch().count();
    return TRandom(static_cast<std::uint32_t>(now ^ (now >> 32)));
}

namespace {

struct Block
{
    int rounds;
    const char16_t *target;
    const char16_t *noise;
};

// Blocks in filling order; only their lengths differ between practice and test.
constexpr int BlockCount = 6;
constexpr Block PracticeBlocks[BlockCount] = {
    {9, u"T", u"N"}, {3, u"T", u"A"}, {3, u"T", u"V"}, {9, u"N", u"N"}, {3, u"N", u"A"}, {3, u"N", u"V"},
};
constexpr Block TestBlocks[BlockCount] = {
    {150, u"T", u"N"}, {50, u"T", u"A"}, {50, u"T", u"V"}, {150, u"N", u"N"}, {50, u"N", u"A"}, {50, u"N", u"V"},
};
constexpr int ShuffleSwaps = 30000;

// The random draws happen in a fixed order: noise numbers in round order, then lengths in round order,
// then the shuffle pairs (a before b). A recorded seed therefore reproduces the schedule exactly.
void makeRounds(TTestFile &file, const Block (&blocks)[BlockCount], TRandom &random)
{
    int n = 0;
    for (const Block &block : blocks) {
        for (int j = 0; j < block.rounds; ++j) {
            TRoundInfo &round = file.Rounds[++n];
            round.Noise = QString::fromUtf16(block.noise);
            round.Target = QString::fromUtf16(block.target);
            round.NoiseNo = round.Noise == u"N"_s ? 0 : random.Random(8) + 1;
        }
    }
    for (int i = 1; i <= n; ++i) {
        TRoundInfo &round = file.Rounds[i];
        round.Ticks = random.Random(8) + 13;
        for (int k = 1; k <= TRoundInfo::Slots; ++k) {
            round.RT[k] = 0;
            round.Button[k] = 0;
        }
    }
    for (int swap = 0; swap < ShuffleSwaps; ++swap) {
        const int a = random.Random(n) + 1;
        const int b = random.Random(n) + 1;
        if (a != b)
            std::swap(file.Rounds[a], file.Rounds[b]);
    }
}

} // namespace

void TTestFile::MakePracticeRounds(TRandom &random)
{
    makeRounds(*this, PracticeBlocks, random);
}

void TTestFile::MakeTestRounds(TRandom &random)
{
    makeRounds(*this, TestBlocks, random);
}

} // namespace vigix
