#pragma once

#include <QByteArray>

namespace vigix {

// The nine short sounds of the stimulus window, built in code byte for byte: RIFF WAVE, PCM, 2 channels,
// 8 bits, 11025 samples per second, 2205 frames (0.2 s), 4454 bytes. The right channel is silent.
constexpr int ToneCount = 8;
constexpr int WaveFileBytes = 4454;

// Period in samples of tone 1..8 (SD440 .. SD880; the stored periods give 424.0 .. 848.1 Hz).
int TonePeriod(int noiseNo);
// Tone 1..8: a full-scale sine on the left channel, starting at phase 0.
QByteArray MakeToneWave(int noiseNo);
// SDSILENT: both channels at rest.
QByteArray MakeSilentWave();

} // namespace vigix
