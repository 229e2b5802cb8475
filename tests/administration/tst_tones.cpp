#include "Tones.h"

#include <QTest>
#include <QtEndian>

#include <algorithm>

using namespace vigix;

namespace {

quint32 le32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint16 le16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

int sample(const QByteArray &wave, int frame, int channel)
{
    return static_cast<unsigned char>(wave.at(44 + 2 * frame + channel));
}

void verifyHeader(const QByteArray &wave)
{
    QCOMPARE(wave.size(), 4454);
    QCOMPARE(wave.left(4), QByteArray("RIFF"));
    QCOMPARE(le32(wave, 4), quint32(4446));
    QCOMPARE(wave.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(le32(wave, 16), quint32(16));
    QCOMPARE(le16(wave, 20), quint16(1));     // PCM
    QCOMPARE(le16(wave, 22), quint16(2));     // stereo
    QCOMPARE(le32(wave, 24), quint32(11025)); // samples per second
    QCOMPARE(le32(wave, 28), quint32(22050)); // bytes per second
    QCOMPARE(le16(wave, 32), quint16(2));     // bytes per frame
    QCOMPARE(le16(wave, 34), quint16(8));     // bits per sample
    QCOMPARE(wave.mid(36, 4), QByteArray("data"));
    QCOMPARE(le32(wave, 40), quint32(4410)); // 2205 frames
}

} // namespace

class TonesTest : public QObject
{
    Q_OBJECT
private slots:
    void tone_data()
    {
        QTest::addColumn<int>("noiseNo");
        QTest::addColumn<double>("pitch");
        const double pitches[] = {424.0, 479.3, 551.3, 580.3, 648.5, 735.0, 787.5, 848.1};
        for (int t = 1; t <= ToneCount; ++t)
            QTest::addRow("tone %d", t) << t << pitches[t - 1];
    }

    void tone()
    {
        QFETCH(int, noiseNo);
        QFETCH(double, pitch);
        const QByteArray wave = MakeToneWave(noiseNo);
        verifyHeader(wave);

        const int period = TonePeriod(noiseNo);
        QCOMPARE(std::round(11025.0 / period * 10) / 10, pitch);
        int high = 0;
        int low = 255;
        for (int n = 0; n < 2205; ++n) {
            QCOMPARE(sample(wave, n, 1), 128); // right channel silent
            const int left = sample(wave, n, 0);
            high = std::max(high, left);
            low = std::min(low, left);
            if (n + period < 2205)
                QCOMPARE(sample(wave, n + period, 0), left); // a whole number of samples per period
            // A sine is antisymmetric about the rest value within its period.
            const int mirror = (period - n % period) % period;
            QCOMPARE(left + sample(wave, mirror, 0), 256);
        }
        // Starts at phase 0 and rises; full scale.
        QCOMPARE(sample(wave, 0, 0), 128);
        QVERIFY(sample(wave, 1, 0) > 128);
        QVERIFY(high >= 250 && high <= 255);
        QVERIFY(low >= 1 && low <= 6);
    }

    void silence_bothChannelsAtRest()
    {
        const QByteArray wave = MakeSilentWave();
        verifyHeader(wave);
        QVERIFY(
            std::all_of(wave.begin() + 44, wave.end(), [](char c) { return static_cast<unsigned char>(c) == 128; }));
    }
};

QTEST_GUILESS_MAIN(TonesTest)
#include "tst_tones.moc"
