#pragma once

#include "Administration.h"
#include "Errors.h"
#include "Random.h"
#include "RoundJournal.h"
#include "TestFile.h"
#include "TestStore.h"

#include <QStringList>

#include <array>
#include <deque>
#include <set>

namespace vigix::testing {

using namespace Qt::StringLiterals;

// The child's screen as state, plus a log of every operation in order.
class FakeScreen : public IScreen
{
public:
    void ResetScreen() override
    {
        log << u"Reset"_s;
        guides = {};
        target.clear();
        cells.clear();
    }
    void SetGuides(const QString &g1, const QString &g2, const QString &g3) override
    {
        log << u"Guides"_s;
        guides = {g1, g2, g3};
    }
    void ShowTarget(const QString &code) override
    {
        log << u"Show"_s + code;
        if (code == u"T"_s || code == u"N"_s)
            target = code;
    }
    void HideTarget() override
    {
        log << u"HideTarget"_s;
        target.clear();
    }
    void ShowVisualNoise(int cell) override
    {
        log << u"Cell"_s + QString::number(cell);
        cells.insert(cell);
    }
    void HideVisualNoise() override
    {
        log << u"HideCells"_s;
        cells.clear();
    }
    void SetStatusLine(const QString &text) override { status = text; }

    std::array<QString, 3> guides;
    QString target; // "T", "N" or empty
    std::set<int> cells;
    QString status;
    QStringList log;
};

// Records what was played: "S0".."S8" for the built-in sounds, "F:" + path for files.
class FakeSound : public ISoundChannel
{
public:
    void PlaySound(int sound) override { played << u"S"_s + QString::number(sound); }
    bool PlayFile(const QString &path) override
    {
        played << u"F:"_s + path;
        return true;
    }
    bool HasDevice() const override { return true; }

    QStringList played;
};

class FakeClock : public IMillisecondClock
{
public:
    std::uint32_t Now() override { return now; }
    std::uint32_t now = 0;
};

// Points the administration at a store of folder, as the main window does: a folder that cannot be reached stays
// the store's, and a save into it fails. The stores live as long as the test program.
inline void UseDataFolder(TAdministration &admin, const QString &folder)
{
    static std::deque<TTestStore> stores;
    TTestStore &store = stores.emplace_back();
    try {
        store.Open(folder);
    } catch (const EInOutError &) {
    }
    admin.Store = &store;
}

// Stores a test left by a journal in its own data folder, as the recovery question's "保存する" does.
inline QString StoreInItsFolder(const TAbandonedTest &test)
{
    TTestStore store;
    try {
        store.Open(test.DataFolder);
    } catch (const EInOutError &) {
    }
    return StoreAbandonedTest(test, store);
}

// One administration over fakes, with a clock that moves 100 ms per tick.
struct Bench
{
    explicit Bench(std::uint32_t startTime = 1000, std::uint32_t seed = 7) : random(seed)
    {
        clock.now = startTime;
        tickTime = startTime;
        admin.WaveFolder = u"/wave/"_s;
    }
    void start(int section)
    {
        admin.StartSection(section);
        admin.Open();
    }
    // The next tick, 100 ms after the previous one.
    void tick()
    {
        tickTime += 100;
        clock.now = tickTime;
        admin.Tick();
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            tick();
    }
    // A press the given ms after the last tick (before the next one).
    void press(std::uint32_t afterTick = 10, TAdministration::TMouseButton button = TAdministration::TMouseButton::Left)
    {
        clock.now = tickTime + afterTick;
        admin.lblClickAreaMouseDown(button);
    }

    FakeScreen screen;
    FakeSound sound;
    FakeClock clock;
    TTestFile testFile;
    TTestFile practiceFile;
    TRandom random;
    TAdministration admin{screen, sound, clock, testFile, practiceFile, random};
    std::uint32_t tickTime;
};

} // namespace vigix::testing
