// Request-to-sound latency of the SDL sound channel under PulseAudio: plays tones on 100 ms ticks (a tone,
// then SDSILENT, then the next tone) and records the default sink's monitor through libpulse, then prints how
// long after each PlaySound call its tone reached the sink. bench/sound-latency runs it against a private
// PulseAudio with a null sink; docs/sound.md explains how the recording is put on the steady clock.
//
// Usage: bench_sound [--frames N] [--rate HZ] [--format s16|f32|u8] [--pulse-latency-msec MS (0: SDL's own)]
//                    [--tones N] [--source NAME] [--monitor-fragment-us US] [--header]
#include "SdlSoundChannel.h"
#include "Statistics.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sys/prctl.h>
#endif

using namespace vigix;
using namespace vigix::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::chrono::milliseconds TickPeriod{100};
// Louder than this (of 32767) is sound: a tone's first resampled samples are far above it, the resampler's
// ringing before an onset far below.
constexpr int Threshold = 1000;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Records a source through libpulse's threaded main loop. Each read callback is one arrival of data from
// the server; its time and the index of its first frame place the recording on the steady clock.
class TMonitorRecorder
{
public:
    struct TArrival
    {
        Clock::time_point at;
        std::size_t firstFrame;
    };

    std::vector<std::int16_t> left;
    std::vector<TArrival> arrivals;
    std::size_t holes = 0;
    int rate = 0;

    // Frames recorded so far; safe to call while recording.
    std::size_t Received() const { return m_received.load(std::memory_order_acquire); }

    // fragmentUs: how much the server collects before sending; small, so that data leaves as soon as the
    // sink has mixed it.
    bool Start(const char *source, std::size_t capacityFrames, int fragmentUs)
    {
        left.reserve(capacityFrames);
        arrivals.reserve(capacityFrames / 4);
        m_loop = pa_threaded_mainloop_new();
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "VIGIX latency bench");
        pa_context_set_state_callback(m_context, &TMonitorRecorder::signal, this);
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return fail("connect");
        pa_threaded_mainloop_lock(m_loop);
        pa_threaded_mainloop_start(m_loop);
        while (PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)) &&
               pa_context_get_state(m_context) != PA_CONTEXT_READY)
            pa_threaded_mainloop_wait(m_loop);
        if (pa_context_get_state(m_context) != PA_CONTEXT_READY) {
            pa_threaded_mainloop_unlock(m_loop);
            return fail("context");
        }
        // The rate and channels of the source itself, so that the server does not resample: a resampler
        // would add its own delay to the recording.
        const pa_sample_spec spec{PA_SAMPLE_S16LE, 44100, 2};
        m_stream = pa_stream_new(m_context, "monitor", &spec, nullptr);
        pa_stream_set_state_callback(m_stream, &TMonitorRecorder::signal, this);
        pa_stream_set_read_callback(m_stream, &TMonitorRecorder::read, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(pa_usec_t(fragmentUs), &spec));
        // Without PA_STREAM_ADJUST_LATENCY the fragment size is only the unit of transfer: the recording
        // asks nothing of the source's latency, so the sink keeps the latency the channel's stream asked for.
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_FIX_RATE | PA_STREAM_FIX_CHANNELS | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(m_stream, source, &attr, flags) < 0) {
            pa_threaded_mainloop_unlock(m_loop);
            return fail("record");
        }
        while (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)) && pa_stream_get_state(m_stream) != PA_STREAM_READY)
            pa_threaded_mainloop_wait(m_loop);
        const bool ready = pa_stream_get_state(m_stream) == PA_STREAM_READY;
        if (ready) {
            const pa_sample_spec *got = pa_stream_get_sample_spec(m_stream);
            rate = static_cast<int>(got->rate);
            m_channels = got->channels;
        }
        pa_threaded_mainloop_unlock(m_loop);
        return ready || fail("stream");
    }

    void Stop()
    {
        if (!m_loop)
            return;
        pa_threaded_mainloop_lock(m_loop);
        if (m_stream) {
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
    }

    ~TMonitorRecorder() { Stop(); }

private:
    bool fail(const char *what)
    {
        std::fprintf(stderr, "bench_sound: PulseAudio %s failed: %s\n", what, pa_strerror(pa_context_errno(m_context)));
        return false;
    }

    static void signal(pa_context *, void *self)
    {
        pa_threaded_mainloop_signal(static_cast<TMonitorRecorder *>(self)->m_loop, 0);
    }
    static void signal(pa_stream *, void *self)
    {
        pa_threaded_mainloop_signal(static_cast<TMonitorRecorder *>(self)->m_loop, 0);
    }

    static void read(pa_stream *stream, std::size_t, void *userdata)
    {
        const Clock::time_point now = Clock::now();
        auto *self = static_cast<TMonitorRecorder *>(userdata);
        const std::size_t first = self->left.size();
        const std::size_t frameBytes = 2 * std::size_t(self->m_channels);
        const void *data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
            const std::size_t frames = bytes / frameBytes;
            if (!data) {
                ++self->holes; // a gap in the server's queue: keep the timeline, mark it silent
                self->left.insert(self->left.end(), frames, 0);
            } else {
                for (std::size_t f = 0; f < frames && self->left.size() < self->left.capacity(); ++f) {
                    std::int16_t sample;
                    std::memcpy(&sample, static_cast<const std::uint8_t *>(data) + f * frameBytes, 2);
                    self->left.push_back(sample);
                }
            }
            pa_stream_drop(stream);
        }
        if (self->left.size() > first && self->arrivals.size() < self->arrivals.capacity())
            self->arrivals.push_back({now, first});
        self->m_received.store(self->left.size(), std::memory_order_release);
    }

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    int m_channels = 2;
    std::atomic<std::size_t> m_received{0};
};

struct TOptions
{
    TAudioFormat format{};
    int tones = 100;
    int fragmentUs = 1000;
    std::string source = "@DEFAULT_MONITOR@";
    bool header = false;
};

bool parse(int argc, char **argv, TOptions &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--header") {
            options.header = true;
            continue;
        }
        if (!value)
            return false;
        ++i;
        if (arg == "--frames")
            options.format.bufferFrames = std::atoi(value);
        else if (arg == "--rate")
            options.format.frequency = std::atoi(value);
        else if (arg == "--tones")
            options.tones = std::max(2, std::atoi(value));
        else if (arg == "--pulse-latency-msec")
            options.format.pulseLatencyMs = std::max(0, std::atoi(value));
        else if (arg == "--monitor-fragment-us")
            options.fragmentUs = std::max(100, std::atoi(value));
        else if (arg == "--source")
            options.source = value;
        else if (arg == "--format") {
            const std::string name = value;
            if (name == "s16")
                options.format.sample = TAudioFormat::S16;
            else if (name == "f32")
                options.format.sample = TAudioFormat::F32;
            else if (name == "u8")
                options.format.sample = TAudioFormat::U8;
            else
                return false;
        } else
            return false;
    }
    return true;
}

const char *sampleName(std::uint16_t sample)
{
    switch (sample) {
    case TAudioFormat::U8:
        return "u8";
    case TAudioFormat::S16:
        return "s16";
    case TAudioFormat::F32:
        return "f32";
    default:
        return "?";
    }
}

// Jiffies the hypervisor gave to other guests and all jiffies, from /proc/stat. A virtual machine whose host
// is busy loses the CPU for milliseconds at a time, which no buffer of a few ms survives; the share lost
// during a run is printed beside its figures.
struct TCpuTimes
{
    unsigned long long steal = 0;
    unsigned long long total = 0;
};

TCpuTimes cpuTimes()
{
    TCpuTimes times;
    if (FILE *stat = std::fopen("/proc/stat", "r")) {
        unsigned long long field[8] = {};
        if (std::fscanf(stat, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &field[0], &field[1], &field[2], &field[3],
                        &field[4], &field[5], &field[6], &field[7]) == 8) {
            times.steal = field[7];
            for (unsigned long long f : field)
                times.total += f;
        }
        std::fclose(stat);
    }
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    TOptions options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: bench_sound [--frames N] [--rate HZ] [--format s16|f32|u8] [--pulse-latency-msec MS]\n"
                     "                   [--tones N] [--source NAME] [--monitor-fragment-us US] [--header]\n");
        return 2;
    }
    if (options.header) {
        std::printf("%-6s %-6s %-4s %-5s %-9s | %-8s %-6s %-6s %-6s %-6s %-5s %-6s\n", "frames", "rate", "fmt", "PLM",
                    "period", "median", "SD", "min", "max", "p95", "gaps", "steal");
        std::printf("%-6s %-6s %-4s %-5s %-9s | %-8s %-6s %-6s %-6s %-6s %-5s %-6s\n", "", "Hz", "", "ms", "ms", "ms",
                    "ms", "ms", "ms", "ms", "", "%");
    }
    // The monitor is read through libpulse, so the channel must play through the same server. A
    // PULSE_LATENCY_MSEC of the caller's would also set the monitor's fragments; --pulse-latency-msec is
    // the way to vary it.
    setenv("SDL_AUDIODRIVER", "pulseaudio", 0);
    unsetenv("PULSE_LATENCY_MSEC");
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif

    TMonitorRecorder recorder;
    const double seconds = options.tones * 2 * 0.1 + 3.0;
    if (!recorder.Start(options.source.c_str(), std::size_t(seconds * 48000), options.fragmentUs))
        return 1;

    TSdlSoundChannel channel(options.format);
    if (!channel.HasDevice())
        return 1;
    const TAudioFormat obtained = channel.Format();

    // The monitor may deliver nothing for a while after the channel's stream connects; the tones start once
    // it has delivered a second of audio, so that none is lost.
    const Clock::time_point opened = Clock::now();
    while (recorder.Received() < std::size_t(recorder.rate) && Clock::now() - opened < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (recorder.Received() < std::size_t(recorder.rate)) {
        std::fprintf(stderr, "bench_sound: the monitor delivers nothing\n");
        return 1;
    }
    std::vector<Clock::time_point> requests;
    Clock::duration longestCall{};
    const TCpuTimes cpuBefore = cpuTimes();
    const Clock::time_point start = Clock::now() + TickPeriod;
    for (int tick = 0; tick < 2 * options.tones; ++tick) {
        std::this_thread::sleep_until(start + tick * TickPeriod);
        const Clock::time_point before = Clock::now();
        if (tick % 2 == 0) {
            requests.push_back(before);
            channel.PlaySound(1 + (tick / 2) % 8);
        } else {
            channel.PlaySound(ISoundChannel::Silence);
        }
        longestCall = std::max(longestCall, Clock::now() - before);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    recorder.Stop();
    const TCpuTimes cpuAfter = cpuTimes();
    const double stealPercent = cpuAfter.total > cpuBefore.total ? 100.0 * double(cpuAfter.steal - cpuBefore.steal) /
                                                                       double(cpuAfter.total - cpuBefore.total)
                                                                 : 0.0;

    // Onsets: sound after at least 20 ms of silence, in request order.
    const std::vector<std::int16_t> &left = recorder.left;
    const std::size_t quietFrames = std::size_t(recorder.rate / 50);
    std::vector<std::size_t> onsets;
    std::size_t quiet = 0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (std::abs(int(left[i])) <= Threshold) {
            ++quiet;
            continue;
        }
        if (quiet >= quietFrames)
            onsets.push_back(i);
        quiet = 0;
    }
    if (onsets.size() != requests.size()) {
        // More onsets than tones: a dropout of 20 ms or more split a tone, so they no longer pair up.
        std::fprintf(stderr, "bench_sound: %zu onsets recorded for %zu tones (recording holes %zu, steal %.1f %%)\n",
                     onsets.size(), requests.size(), recorder.holes, stealPercent);
        return 1;
    }

    // Dropouts: a silence of 1 ms or more that sound follows again before the next onset. The tone's own end
    // (SDSILENT) is followed by nothing until the next onset, so it never counts.
    int gaps = 0;
    const std::size_t gapFrames = std::size_t(recorder.rate / 1000);
    for (std::size_t k = 0; k < onsets.size(); ++k) {
        const std::size_t end = k + 1 < onsets.size() ? onsets[k + 1] : left.size();
        std::size_t run = 0;
        for (std::size_t i = onsets[k]; i < end; ++i) {
            if (std::abs(int(left[i])) <= Threshold) {
                ++run;
            } else if (run >= gapFrames) {
                ++gaps;
                break;
            } else {
                run = 0;
            }
        }
    }

    // The sink's clock: frame i is due at origin + i / rate. The null sink mixes a block when its first frame
    // is due (or later, when its thread wakes late) and the server sends it on at once, in pieces that arrive
    // microseconds apart. So an arrival that comes after a pause starts a block, and its time less its first
    // frame's offset is never below the origin: each is an upper bound, and the on-time ones form a sharp
    // lower edge. The rest of a block arrives later than its offset says and would put the origin too early,
    // so only arrivals after a pause count; the 2nd percentile instead of the minimum keeps out a rare piece
    // of a block that arrives late because the reader was preempted. Staying within half a second of each
    // onset keeps the sink's slight drift against the steady clock out.
    const double framesPerMs = recorder.rate / 1000.0;
    struct TBound
    {
        std::size_t frame;
        double originMs; // relative to the first request
    };
    std::vector<TBound> bounds;
    for (std::size_t a = 1; a < recorder.arrivals.size(); ++a) {
        const auto &arrival = recorder.arrivals[a];
        if (arrival.at - recorder.arrivals[a - 1].at < std::chrono::microseconds(300))
            continue;
        bounds.push_back({arrival.firstFrame, ms(arrival.at - requests[0]) - double(arrival.firstFrame) / framesPerMs});
    }
    std::vector<double> latencies;
    std::vector<double> nearby;
    for (std::size_t k = 0; k < onsets.size(); ++k) {
        nearby.clear();
        for (const TBound &bound : bounds)
            if (std::abs(double(bound.frame) - double(onsets[k])) <= 500 * framesPerMs)
                nearby.push_back(bound.originMs);
        if (nearby.size() < 50) {
            std::fprintf(stderr, "bench_sound: the monitor arrived too seldom around tone %zu\n", k);
            return 1;
        }
        const auto edge = nearby.begin() + std::ptrdiff_t(nearby.size() / 50);
        std::nth_element(nearby.begin(), edge, nearby.end());
        latencies.push_back(*edge + double(onsets[k]) / framesPerMs - ms(requests[k] - requests[0]));
    }

    double mean = 0;
    for (double l : latencies)
        mean += l;
    mean /= double(latencies.size());
    double variance = 0;
    for (double l : latencies)
        variance += (l - mean) * (l - mean);
    const double sd = std::sqrt(variance / double(latencies.size() - 1));
    std::vector<double> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    const double p95 = sorted[std::min(sorted.size() - 1, std::size_t(std::ceil(0.95 * double(sorted.size()))) - 1)];
    char plm[16] = "-";
    if (obtained.pulseLatencyMs > 0)
        std::snprintf(plm, sizeof plm, "%d", obtained.pulseLatencyMs);
    std::printf("%-6d %-6d %-4s %-5s %-9.2f | %-8.2f %-6.2f %-6.2f %-6.2f %-6.2f %-5d %-6.1f\n", obtained.bufferFrames,
                obtained.frequency, sampleName(obtained.sample), plm,
                obtained.bufferFrames * 1000.0 / obtained.frequency, Median(latencies), sd, sorted.front(),
                sorted.back(), p95, gaps, stealPercent);
    if (std::getenv("VIGIX_BENCH_VERBOSE")) {
        for (std::size_t k = 0; k < latencies.size(); ++k)
            std::printf("tone %zu onset %zu latency %.3f\n", k, onsets[k], latencies[k]);
        std::printf("arrivals %zu, holes %zu, longest PlaySound %.3f ms\n", recorder.arrivals.size(), recorder.holes,
                    ms(longestCall));
    }
    return 0;
}
