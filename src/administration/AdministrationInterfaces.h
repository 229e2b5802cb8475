#pragma once

#include "TestFile.h"

#include <QString>

#include <chrono>
#include <cstdint>

namespace vigix {

// What the section scripts show on the child's screen. The stimulus window implements it; tests use a fake.
class IScreen
{
public:
    virtual ~IScreen() = default;
    // Empties the three guide lines, hides the target and the triangles.
    virtual void ResetScreen() = 0;
    // Texts of guide lines 1, 2 (white) and 3 (yellow); an empty text empties its line.
    virtual void SetGuides(const QString &guide1, const QString &guide2, const QString &guide3) = 0;
    // "T" shows the circle and hides the cross, "N" the other way round; any other code changes nothing.
    virtual void ShowTarget(const QString &code) = 0;
    virtual void HideTarget() = 0;
    // Shows the triangle of cell 1..8 (reading order around the centre); other numbers show nothing.
    virtual void ShowVisualNoise(int cell) = 0;
    virtual void HideVisualNoise() = 0;
    // The status line below the 640 x 480 area (off the child's screen).
    virtual void SetStatusLine(const QString &text) = 0;
};

// The one sound channel of the program: starting any sound cuts the one still playing. Every call returns at
// once. Without an audio device every call is silently ignored.
class ISoundChannel
{
public:
    static constexpr int Silence = 0; // SDSILENT; 1..8 are the tones SD440 .. SD880

    virtual ~ISoundChannel() = default;
    // Starts SDSILENT (0) or tone 1..8 from its beginning.
    virtual void PlaySound(int sound) = 0;
    // Reads a wave file now and starts it. A missing or unreadable file changes nothing (the sound still
    // playing goes on) and returns false.
    virtual bool PlayFile(const QString &path) = 0;
    // Whether an audio device was found; false means every sound is silence.
    virtual bool HasDevice() const = 0;
};

// The millisecond clock of onsets and reaction times: an unsigned 32-bit count that wraps, like the
// multimedia clock the reaction times were defined against.
class IMillisecondClock
{
public:
    virtual ~IMillisecondClock() = default;
    virtual std::uint32_t Now() = 0;
};

// Milliseconds of the monotonic clock, truncated to 32 bits.
class TSteadyMillisecondClock : public IMillisecondClock
{
public:
    std::uint32_t Now() override
    {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }
};

// A channel without a device: every sound is silence.
class TSilentSoundChannel : public ISoundChannel
{
public:
    void PlaySound(int) override {}
    bool PlayFile(const QString &) override { return false; }
    bool HasDevice() const override { return false; }
};

// Where the rounds of a running test are kept as they complete, so that a crash loses none of them. The
// calls come from the user-interface thread and must return at once: the writing happens elsewhere.
class IRoundJournal
{
public:
    virtual ~IRoundJournal() = default;
    // A test section opens: the subject record of the test about to run (its number is the one offered), and the
    // data folder it is to be stored in.
    virtual void Begin(const TTestInfo &info, const QString &dataFolder) = 0;
    // Round `round` (1..500) of the test is complete: its stimulus, its ticks and every press in it.
    virtual void RoundCompleted(int round, const TRoundInfo &contents) = 0;
    // The test file has been written: the journal is no longer needed.
    virtual void Finish() = 0;
};

} // namespace vigix
