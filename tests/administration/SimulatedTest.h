#pragma once

#include "AdministrationFakes.h"

#include <map>
#include <random>

namespace vigix::testing {

// A whole test section over the fakes with a simulated child, tick by tick: the title, the start press, then
// 500 rounds in which circles are mostly answered, crosses sometimes, some presses doubled. The same seed gives
// the same schedule and the same presses, however fast or slow the ticks come.
class SimulatedTest
{
public:
    explicit SimulatedTest(std::uint32_t seed, const QString &dataFolder = QString()) : bench(1000, seed), m_child(seed)
    {
        UseDataFolder(bench.admin, dataFolder);
        bench.testFile.Info = Subject();
    }

    static TTestInfo Subject()
    {
        TTestInfo info;
        info.Kensabangou = u"1001"_s;
        info.Kensanichiji = u"2026/12/01 10:00:00"_s;
        info.Shimei1 = u"山田"_s;
        info.Shimei2 = u"花子"_s;
        info.Seinengappi1 = u"2016"_s;
        info.Seinengappi2 = u"4"_s;
        info.Seinengappi3 = u"1"_s;
        info.Seibetsu = u"女"_s;
        info.Memo = u"１～２時間"_s;
        return info;
    }

    // The opening of the window: the journal begins here.
    void open() { bench.start(int(TAdministration::TSection::Test)); }

    // One tick and the child's presses due before the next. False once the end page follows the last round.
    bool tick()
    {
        TAdministration &admin = bench.admin;
        // A round goes to the journal on the tick after its last.
        m_journaled = completedRounds();
        bench.tick();
        if (admin.Page == 0 && admin.ClickEnabled)
            bench.press();                        // the start press at the title
        if (admin.Page == 1 && admin.Step == 1) { // this tick was the onset of round Round
            const TRoundInfo &round = bench.testFile.Rounds[admin.Round];
            const int window = round.Ticks * 100;
            const bool circle = round.Target == u"T"_s;
            const auto button =
                m_child() % 10 == 0 ? TAdministration::TMouseButton::Right : TAdministration::TMouseButton::Left;
            if (int(m_child() % 100) < (circle ? 85 : 12)) {
                const int first = 1 + int(m_child() % std::uint32_t(window - 2));
                m_pending.emplace(bench.tickTime + std::uint32_t(first), button);
                if (m_child() % 10 == 0)
                    m_pending.emplace(bench.tickTime + std::uint32_t(first + 1 + int(m_child() % 50)), button);
            }
        }
        while (!m_pending.empty() && m_pending.begin()->first - bench.tickTime < 100) {
            bench.clock.now = m_pending.begin()->first;
            admin.lblClickAreaMouseDown(m_pending.begin()->second);
            m_pending.erase(m_pending.begin());
        }
        return admin.TicksEnabled;
    }

    // Rounds whose last step has run.
    int completedRounds() const { return std::clamp(bench.admin.Round - 1, 0, int(TTestFile::TestRounds)); }
    // Rounds handed to the journal.
    int journaledRounds() const { return m_journaled; }

    // The bytes Shift+Esc stores after round n (n <= completedRounds()), under the given number.
    QByteArray fileAtRound(int n, const QString &number = u"1001"_s) const
    {
        auto file = std::make_unique<TTestFile>(bench.testFile);
        file->RoundCount = n;
        file->Info.Kensabangou = number;
        return file->Encode(QString());
    }

    Bench bench;

private:
    int m_journaled = 0;
    std::mt19937 m_child;
    std::multimap<std::uint32_t, TAdministration::TMouseButton> m_pending; // absolute press times
};

} // namespace vigix::testing
