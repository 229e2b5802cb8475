#include "Tones.h"

#include <QtEndian>

#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace vigix {

namespace {

constexpr int SampleRate = 11025;
constexpr int Channels = 2;
constexpr int Frames = 2205;
constexpr int DataBytes = Frames * Channels;
constexpr unsigned char Rest = 128;
constexpr std::array<int, ToneCount> Periods{26, 23, 20, 19, 17, 15, 14, 13};

void appendTag(QByteArray &bytes, const char *tag)
{
    bytes.append(tag, 4);
}

void appendLE32(QByteArray &bytes, quint32 value)
{
    char buffer[4];
    qToLittleEndian(value, buffer);
    bytes.append(buffer, 4);
}

void appendLE16(QByteArray &bytes, quint16 value)
{
    char buffer[2];
    qToLittleEndian(value, buffer);
    bytes.append(buffer, 2);
}

// The 44-byte header of a PCM wave of DataBytes bytes.
QByteArray waveHeader()
{
    QByteArray header;
    header.reserve(WaveFileBytes);
    appendTag(header, "RIFF");
    appendLE32(header, WaveFileBytes - 8);
    appendTag(header, "WAVE");
    appendTag(header, "fmt ");
    appendLE32(header, 16);
    appendLE16(header, 1); // PCM
    appendLE16(header, Channels);
    appendLE32(header, SampleRate);
    appendLE32(header, SampleRate * Channels); // bytes per second at 8 bits
    appendLE16(header, Channels);              // bytes per frame
    appendLE16(header, 8);
    appendTag(header, "data");
    appendLE32(header, DataBytes);
    return header;
}

} // namespace

int TonePeriod(int noiseNo)
{
    if (noiseNo < 1 || noiseNo > ToneCount)
        throw std::out_of_range("tone number outside 1..8");
    return Periods[static_cast<std::size_t>(noiseNo - 1)];
}

QByteArray MakeToneWave(int noiseNo)
{
    const int period = TonePeriod(noiseNo);
    QByteArray wave = waveHeader();
    for (int n = 0; n < Frames; ++n) {
        const double sine = std::sin(2.0 * std::numbers::pi * (n % period) / period);
        wave.append(static_cast<char>(static_cast<unsigned char>(std::lround(Rest + 127.0 * sine))));
        wave.append(static_cast<char>(Rest));
    }
    return wave;
}

QByteArray MakeSilentWave()
{
    QByteArray wave = waveHeader();
    wave.append(DataBytes, static_cast<char>(Rest));
    return wave;
}

} // namespace vigix
