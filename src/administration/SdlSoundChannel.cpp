#include "SdlSoundChannel.h"

#include "Tones.h"

#include <QFile>
#include <QtGlobal>

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <memory>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

namespace vigix {

static_assert(TAudioFormat::U8 == AUDIO_U8);
static_assert(TAudioFormat::S16 == AUDIO_S16LSB);
static_assert(TAudioFormat::F32 == AUDIO_F32LSB);

namespace {

// What a device plays for silence: the middle of the range for unsigned samples, zero for signed and float.
std::uint8_t silenceByte(std::uint16_t sample)
{
    return SDL_AUDIO_ISSIGNED(sample) ? 0x00 : 0x80;
}

// The device thread feeds the sound server every millisecond or two. A real-time priority (that of the tick
// engine), where the user may have one, keeps a busy machine from making it late and the tone from breaking
// off: with every core kept busy, runs without it lost tones for 20 ms and more. Otherwise SDL's own raised
// nice value, when allowed, stays and nothing is reported.
void sharpenAudioThread()
{
#ifdef __linux__
    sched_param priority{};
    priority.sched_priority = 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
#endif
}

} // namespace

TSoundMixer::TSoundMixer(const TAudioFormat &format) : m_format(format), m_silence(silenceByte(format.sample))
{
    m_sounds[0] = Convert(MakeSilentWave()).value_or(TBuffer{});
    for (int tone = 1; tone <= ToneCount; ++tone)
        m_sounds[static_cast<std::size_t>(tone)] = Convert(MakeToneWave(tone)).value_or(TBuffer{});
}

std::optional<TSoundMixer::TBuffer> TSoundMixer::Convert(const QByteArray &wave) const
{
    SDL_RWops *source = SDL_RWFromConstMem(wave.constData(), static_cast<int>(wave.size()));
    if (!source)
        return std::nullopt;
    SDL_AudioSpec spec{};
    Uint8 *samples = nullptr;
    Uint32 length = 0;
    // freesrc = 1: SDL closes the memory reader whatever happens.
    if (!SDL_LoadWAV_RW(source, 1, &spec, &samples, &length))
        return std::nullopt;
    std::unique_ptr<Uint8, decltype(&SDL_FreeWAV)> owned(samples, &SDL_FreeWAV);

    // SDL_AudioCVT rather than SDL_AudioStream: the stream of SDL 2.26 loses frames when it resamples a large
    // put (a quarter of a tone's length at 11025 -> 44100 Hz), and small puts still drift by rounding.
    SDL_AudioCVT cvt{};
    const int built = SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, m_format.sample,
                                        static_cast<Uint8>(m_format.channels), m_format.frequency);
    if (built < 0)
        return std::nullopt;
    const Uint32 frameBytes = SDL_AUDIO_BITSIZE(spec.format) / 8 * spec.channels;
    const int whole = static_cast<int>(length - length % frameBytes);
    TBuffer converted(samples, samples + whole);
    if (built == 0)
        return converted;
    converted.resize(static_cast<std::size_t>(whole) * static_cast<std::size_t>(cvt.len_mult));
    cvt.buf = converted.data();
    cvt.len = whole;
    if (SDL_ConvertAudio(&cvt) != 0)
        return std::nullopt;
    converted.resize(static_cast<std::size_t>(cvt.len_cvt));
    converted.shrink_to_fit(); // the conversion needed room for len_mult times the source
    return converted;
}

const TSoundMixer::TBuffer &TSoundMixer::Sound(int sound) const
{
    static const TBuffer none;
    if (sound < 0 || sound > ToneCount)
        return none;
    return m_sounds[static_cast<std::size_t>(sound)];
}

bool TSoundMixer::Start(int sound)
{
    if (sound < 0 || sound > ToneCount)
        return false;
    m_current = &m_sounds[static_cast<std::size_t>(sound)];
    m_position = 0;
    return true;
}

TSoundMixer::TBuffer TSoundMixer::StartFile(TBuffer file)
{
    std::swap(m_file, file);
    m_current = &m_file;
    m_position = 0;
    return file;
}

void TSoundMixer::Mix(std::uint8_t *out, int len)
{
    std::size_t filled = 0;
    const auto wanted = static_cast<std::size_t>(std::max(len, 0));
    if (m_current) {
        filled = std::min(wanted, m_current->size() - m_position);
        std::memcpy(out, m_current->data() + m_position, filled);
        m_position += filled;
        if (m_position >= m_current->size()) {
            m_current = nullptr;
            m_position = 0;
        }
    }
    std::memset(out + filled, m_silence, wanted - filled);
}

TSdlSoundChannel::TSdlSoundChannel(const TAudioFormat &wanted) : m_wanted(wanted)
{
    // Names the stream in the sound server's mixer instead of SDL's generic "SDL Application".
    SDL_SetHintWithPriority(SDL_HINT_AUDIO_DEVICE_APP_NAME, "VIGIX", SDL_HINT_DEFAULT);
    // SDL would take SIGINT and SIGTERM for a quit event nobody reads: the program would ignore a logout.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        qWarning("VIGIX: no sound device found: %s", SDL_GetError());
        return;
    }
    m_audioInitialised = true;

    SDL_AudioSpec desired{};
    desired.freq = wanted.frequency;
    desired.format = wanted.sample;
    desired.channels = static_cast<Uint8>(wanted.channels);
    desired.samples = static_cast<Uint16>(wanted.bufferFrames);
    desired.callback = &TSdlSoundChannel::Callback;
    desired.userdata = this;
    SDL_AudioSpec obtained{};
    // libpulse reads the variable when the stream connects, which SDL does inside SDL_OpenAudioDevice; it is
    // removed again at once so that nothing else in the program inherits it.
    const bool setLatency = wanted.pulseLatencyMs > 0 && !qEnvironmentVariableIsSet("PULSE_LATENCY_MSEC");
    if (setLatency)
        qputenv("PULSE_LATENCY_MSEC", QByteArray::number(wanted.pulseLatencyMs));
    // Any change is allowed: SDL would otherwise put its own conversion stream, and its buffering, between
    // the callback and the device. The sounds are converted to whatever the device chose, once, below.
    m_device = SDL_OpenAudioDevice(nullptr, 0, &desired, &obtained, SDL_AUDIO_ALLOW_ANY_CHANGE);
    if (setLatency)
        qunsetenv("PULSE_LATENCY_MSEC");
    if (m_device == 0) {
        qWarning("VIGIX: no sound device found: %s", SDL_GetError());
        return;
    }
    // SDL's dummy driver calls the callback in a busy loop; at a real-time priority that would take a core.
    const char *driver = SDL_GetCurrentAudioDriver();
    m_sharpenThread = !driver || std::strcmp(driver, "dummy") != 0;
    // The device starts paused, so the callback cannot run before the mixer exists.
    m_mixer.emplace(
        TAudioFormat{obtained.freq, obtained.format, obtained.channels, obtained.samples, wanted.pulseLatencyMs});
    SDL_PauseAudioDevice(m_device, 0);
}

TSdlSoundChannel::~TSdlSoundChannel()
{
    // Closing waits for the callback to return, so the mixer is never used after it is destroyed.
    if (m_device != 0)
        SDL_CloseAudioDevice(m_device);
    if (m_audioInitialised)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void TSdlSoundChannel::Callback(void *userdata, std::uint8_t *stream, int len)
{
    auto *self = static_cast<TSdlSoundChannel *>(userdata);
    thread_local bool sharpened = false;
    if (!sharpened) {
        sharpened = true;
        if (self->m_sharpenThread)
            sharpenAudioThread();
    }
    self->m_mixer->Mix(stream, len);
}

void TSdlSoundChannel::PlaySound(int sound)
{
    if (!m_mixer)
        return;
    SDL_LockAudioDevice(m_device);
    m_mixer->Start(sound);
    SDL_UnlockAudioDevice(m_device);
}

bool TSdlSoundChannel::PlayFile(const QString &path)
{
    if (!m_mixer)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Reading and converting happen outside the lock, so the callback is never held up by the disk.
    std::optional<TSoundMixer::TBuffer> converted = m_mixer->Convert(file.readAll());
    if (!converted)
        return false;
    SDL_LockAudioDevice(m_device);
    TSoundMixer::TBuffer replaced = m_mixer->StartFile(std::move(*converted));
    SDL_UnlockAudioDevice(m_device);
    return true; // the file replaced is freed here, after the callback may use the new one
}

bool TSdlSoundChannel::HasDevice() const
{
    return m_mixer.has_value();
}

TAudioFormat TSdlSoundChannel::Format() const
{
    return m_mixer ? m_mixer->Format() : m_wanted;
}

} // namespace vigix
