#pragma once

#include "AdministrationInterfaces.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vigix {

// A device's sample layout. The sample codes are SDL's own (AUDIO_U8 and so on), spelled out here so that
// this header needs no SDL include and SDL stays a private dependency.
struct TAudioFormat
{
    static constexpr std::uint16_t U8 = 0x0008;
    static constexpr std::uint16_t S16 = 0x8010; // little-endian
    static constexpr std::uint16_t F32 = 0x8120; // little-endian

    int frequency = 44100;
    std::uint16_t sample = S16;
    int channels = 2;
    // Frames per callback. A new sound starts with the next callback, so the fewer frames, the steadier the
    // onset; 32 frames at 44.1 kHz with pulseLatencyMs 6 measured best under PulseAudio (docs/sound.md).
    int bufferFrames = 32;
    // PulseAudio's buffer for the stream in ms (PULSE_LATENCY_MSEC, unless the user has set it). SDL2 asks
    // for no more than one callback buffer, which runs dry, and the tone breaks off, whenever its thread
    // wakes a little late; below 6 ms tones broke off, above it latency and jitter only grow. 0 leaves
    // SDL's choice.
    int pulseLatencyMs = 6;
};

// The channel's sounds converted to one output format, and the one playing. It knows nothing of devices or
// threads: the SDL channel calls Mix from its callback with the device lock held, and tests call it directly.
class TSoundMixer
{
public:
    using TBuffer = std::vector<std::uint8_t>;

    // Converts the nine built-in sounds once, so that starting one later costs only a pointer swap.
    explicit TSoundMixer(const TAudioFormat &format);

    const TAudioFormat &Format() const { return m_format; }
    // A wave file (RIFF PCM, any rate and width SDL reads) converted to the output format; nothing when invalid.
    std::optional<TBuffer> Convert(const QByteArray &wave) const;
    // The built-in sound 0..8 as converted; empty for other numbers.
    const TBuffer &Sound(int sound) const;

    // Starts built-in sound 0..8 from its beginning; other numbers change nothing and return false.
    bool Start(int sound);
    // Starts a converted file and keeps it; returns the file it replaces so that the caller frees it outside
    // the device lock.
    TBuffer StartFile(TBuffer file);
    // Fills a device buffer of len bytes: the rest of the current sound, then silence.
    void Mix(std::uint8_t *out, int len);
    bool IsPlaying() const { return m_current != nullptr; }

private:
    TAudioFormat m_format;
    std::uint8_t m_silence;
    std::array<TBuffer, 9> m_sounds;
    TBuffer m_file;
    const TBuffer *m_current = nullptr;
    std::size_t m_position = 0;
};

// The program's sound channel on SDL2's audio subsystem (only SDL_INIT_AUDIO; Qt keeps the windows). A
// request takes effect at the device's next callback.
class TSdlSoundChannel : public ISoundChannel
{
public:
    // Opens the default output device close to wanted; the device may choose another rate, sample format or
    // channel count, and the sounds are then converted to what it chose. Without a device, says so once on
    // stderr and stays silent.
    explicit TSdlSoundChannel(const TAudioFormat &wanted = {});
    ~TSdlSoundChannel() override;
    TSdlSoundChannel(const TSdlSoundChannel &) = delete;
    TSdlSoundChannel &operator=(const TSdlSoundChannel &) = delete;

    void PlaySound(int sound) override;
    bool PlayFile(const QString &path) override;
    bool HasDevice() const override;
    // The format the device was opened with; the wanted one when there is no device.
    TAudioFormat Format() const;

private:
    static void Callback(void *userdata, std::uint8_t *stream, int len);

    TAudioFormat m_wanted;
    bool m_audioInitialised = false;
    std::uint32_t m_device = 0;
    std::optional<TSoundMixer> m_mixer;
    bool m_sharpenThread = false; // set before the device starts
};

} // namespace vigix
