#pragma once

#include "AdministrationFakes.h"

#include <map>
#include <optional>
#include <random>

namespace vigix::testing {

// A whole test section over the fakes with a simulated child, tick by tick: the title, the start press, then
// 500 rounds in which circles are mostly answered, crosses sometimes, some presses doubled. The same seed gives
// the same schedule and the same presses, however fast or slow the ticks come.
class SimulatedTest
{
public:
    // latePresses: the screen reports each frame, and every fourth round gets one more press, made just before
    // the round's last frame but handled only after the next tick, when the round has gone to the journal.
    explicit SimulatedTest(std::uint32_t seed, const QString &dataFolder = QString(), bool latePresses = false)
        : bench(1000, seed), m_latePresses(latePresses), m_child(seed)
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
        const int round = admin.Round;
        bench.tick();
        if (m_latePresses) {
            admin.FrameShown({double(bench.tickTime), 0.0, false, false});
            if (admin.Page >= 1 && admin.Round == round + 1 && round % 4 == 0)
                m_pending.emplace(bench.tickTime + 105, TPress{TAdministration::TMouseButton::Right, bench.tickTime - 3});
        }
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
                m_pending.emplace(bench.tickTime + std::uint32_t(first), TPress{button, {}});
                if (m_child() % 10 == 0)
                    m_pending.emplace(bench.tickTime + std::uint32_t(first + 1 + int(m_child() % 50)),
                                      TPress{button, {}});
            }
        }
        while (!m_pending.empty() && m_pending.begin()->first - bench.tickTime < 100) {
            bench.clock.now = m_pending.begin()->first;
            const TPress press = m_pending.begin()->second;
            m_pending.erase(m_pending.begin());
            admin.lblClickAreaMouseDown(press.button, press.madeAt);
            if (press.madeAt)
                ++m_latePressesHandled;
        }
        return admin.TicksEnabled;
    }

    // Rounds whose last step has run.
    int completedRounds() const { return std::clamp(bench.admin.Round - 1, 0, int(TTestFile::TestRounds)); }
    // Rounds handed to the journal.
    int journaledRounds() const { return m_journaled; }
    // Late presses handled so far.
    int latePressesHandled() const { return m_latePressesHandled; }

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
    struct TPress
    {
        TAdministration::TMouseButton button;
        std::optional<std::uint32_t> madeAt; // the window system's stamp, for a press handled late
    };

    int m_journaled = 0;
    bool m_latePresses = false;
    int m_latePressesHandled = 0;
    std::mt19937 m_child;
    std::multimap<std::uint32_t, TPress> m_pending; // by the time each press is handled
};

} // namespace vigix::testing
