#include "SdlSoundChannel.h"
#include "Tones.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <cstring>

using namespace vigix;
using namespace Qt::StringLiterals;

namespace {

// 8-bit stereo at 11025 Hz is the sounds' own format, so a mixer or device in it passes their bytes unchanged
// and a test can look for them byte for byte.
const TAudioFormat NativeFormat{11025, TAudioFormat::U8, 2, 64};

QByteArray toneData(int tone)
{
    return MakeToneWave(tone).mid(44);
}

QByteArray mix(TSoundMixer &mixer, int len)
{
    QByteArray out(len, '\x55'); // neither silence nor a tone's first byte, so an unwritten byte shows
    mixer.Mix(reinterpret_cast<std::uint8_t *>(out.data()), len);
    return out;
}

// Mean distance between upward zero crossings of the first channel of 16-bit or float frames.
double leftPeriod(const TSoundMixer::TBuffer &buffer, const TAudioFormat &format)
{
    const int frameBytes = format.sample == TAudioFormat::F32 ? 8 : 4;
    const auto left = [&](std::size_t frame) {
        const std::uint8_t *at = buffer.data() + frame * std::size_t(frameBytes);
        if (format.sample == TAudioFormat::F32) {
            float value;
            std::memcpy(&value, at, sizeof value);
            return double(value);
        }
        std::int16_t value;
        std::memcpy(&value, at, sizeof value);
        return double(value);
    };
    const std::size_t frames = buffer.size() / std::size_t(frameBytes);
    std::size_t first = 0, last = 0;
    int crossings = 0;
    for (std::size_t f = 1; f < frames; ++f) {
        if (left(f - 1) < 0 && left(f) >= 0) {
            if (crossings++ == 0)
                first = f;
            last = f;
        }
    }
    return crossings > 1 ? double(last - first) / (crossings - 1) : 0.0;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class SoundChannelTest : public QObject
{
    Q_OBJECT
private slots:
    void mixer_tone_playsItsBytesThenSilence()
    {
        TSoundMixer mixer(NativeFormat);
        QVERIFY(mixer.Start(1));
        const QByteArray out = mix(mixer, 4410 + 100);
        QCOMPARE(out.left(4410), toneData(1));
        QCOMPARE(out.mid(4410), QByteArray(100, '\x80'));
        QVERIFY(!mixer.IsPlaying());
    }

    void mixer_nothingStarted_fillsSilence()
    {
        TSoundMixer mixer(NativeFormat);
        QCOMPARE(mix(mixer, 256), QByteArray(256, '\x80'));
        TSoundMixer signedMixer(TAudioFormat{44100, TAudioFormat::S16, 2, 128});
        QCOMPARE(mix(signedMixer, 256), QByteArray(256, '\0'));
    }

    void mixer_newSound_cutsTheOneAndStartsFromItsBeginning()
    {
        TSoundMixer mixer(NativeFormat);
        mixer.Start(1);
        QCOMPARE(mix(mixer, 1000), toneData(1).left(1000));
        mixer.Start(2);
        QCOMPARE(mix(mixer, 1000), toneData(2).left(1000));
        mixer.Start(2);
        QCOMPARE(mix(mixer, 4410), toneData(2));
    }

    void mixer_silentSound_silencesAtOnce()
    {
        TSoundMixer mixer(NativeFormat);
        mixer.Start(5);
        mix(mixer, 300);
        QVERIFY(mixer.Start(ISoundChannel::Silence));
        QCOMPARE(mix(mixer, 4410 + 10), QByteArray(4420, '\x80'));
    }

    void mixer_numberOutOfRange_changesNothing()
    {
        TSoundMixer mixer(NativeFormat);
        mixer.Start(6);
        QCOMPARE(mix(mixer, 100), toneData(6).left(100));
        QVERIFY(!mixer.Start(9));
        QVERIFY(!mixer.Start(-1));
        QCOMPARE(mix(mixer, 100), toneData(6).mid(100, 100));
    }

    void mixer_file_replacesSoundAndInvalidBytesAreRefused()
    {
        TSoundMixer mixer(NativeFormat);
        QVERIFY(!mixer.Convert(QByteArray("RIFF but not a wave")).has_value());
        QVERIFY(!mixer.Convert(MakeToneWave(3).left(30)).has_value());

        mixer.Start(1);
        mix(mixer, 10);
        std::optional<TSoundMixer::TBuffer> file = mixer.Convert(MakeToneWave(7));
        QVERIFY(file.has_value());
        QVERIFY(mixer.StartFile(std::move(*file)).empty());
        QCOMPARE(mix(mixer, 4410), toneData(7));
    }

    void mixer_deviceFormat_keepsPitchAndLength_data()
    {
        QTest::addColumn<int>("frequency");
        QTest::addColumn<int>("sample");
        QTest::addRow("S16 44100") << 44100 << int(TAudioFormat::S16);
        QTest::addRow("F32 48000") << 48000 << int(TAudioFormat::F32);
    }

    void mixer_deviceFormat_keepsPitchAndLength()
    {
        QFETCH(int, frequency);
        QFETCH(int, sample);
        const TAudioFormat format{frequency, std::uint16_t(sample), 2, 128};
        TSoundMixer mixer(format);
        const int frameBytes = sample == TAudioFormat::F32 ? 8 : 4;
        const double expectedFrames = 2205.0 * frequency / 11025;
        for (int tone : {1, 8}) {
            const TSoundMixer::TBuffer &sound = mixer.Sound(tone);
            QVERIFY2(std::abs(double(sound.size()) / frameBytes - expectedFrames) <= 4,
                     qPrintable(QString::number(double(sound.size()) / frameBytes)));
            const double expectedPeriod = double(TonePeriod(tone)) * frequency / 11025;
            QVERIFY2(std::abs(leftPeriod(sound, format) - expectedPeriod) < 0.1,
                     qPrintable(u"period %1, expected %2"_s.arg(leftPeriod(sound, format)).arg(expectedPeriod)));
        }
    }

    void device_noDriver_staysSilentAndSaysSoOnce()
    {
        qputenv("SDL_AUDIODRIVER", "vigix-no-such-driver");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^VIGIX: no sound device found: \\S"_s));
        TSdlSoundChannel channel;
        QVERIFY(!channel.HasDevice());
        channel.PlaySound(1);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"tone.wav"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(MakeToneWave(1)) == WaveFileBytes);
        file.close();
        QVERIFY(!channel.PlayFile(path));
    }

    // The channel opens, and leaves the termination signals to the program: a logout must end it.
    void device_dummyDriver_opensWithoutTakingSignals()
    {
        qputenv("SDL_AUDIODRIVER", "dummy");
        // SDL takes a signal only while nobody has: the test runner's own handlers are set aside meanwhile.
        struct sigaction runnerTerm
        {
        }, runnerInt{}, fallback{};
        fallback.sa_handler = SIG_DFL;
        ::sigaction(SIGTERM, &fallback, &runnerTerm);
        ::sigaction(SIGINT, &fallback, &runnerInt);
        const auto restore = qScopeGuard([&] {
            ::sigaction(SIGTERM, &runnerTerm, nullptr);
            ::sigaction(SIGINT, &runnerInt, nullptr);
        });
        const auto untouched = [] {
            bool bothDefault = true;
            for (const int signal : {SIGTERM, SIGINT}) {
                struct sigaction action
                {
                };
                ::sigaction(signal, nullptr, &action);
                bothDefault = bothDefault && action.sa_handler == SIG_DFL;
            }
            return bothDefault;
        };
        TSdlSoundChannel channel;
        QVERIFY(channel.HasDevice());
        QVERIFY(channel.Format().bufferFrames > 0);
        channel.PlaySound(2);
        QVERIFY(untouched());
    }

    // The disk driver writes what the callback produces to a file, at the pace of the buffer length.
    void device_file_reachesTheOutput()
    {
        QTemporaryDir dir;
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(dir.filePath(u"out.raw"_s)));
        const QString wavePath = dir.filePath(u"narr_1.wav"_s);
        QFile wave(wavePath);
        QVERIFY(wave.open(QIODevice::WriteOnly) && wave.write(MakeToneWave(3)) == WaveFileBytes);
        wave.close();

        TSdlSoundChannel channel(NativeFormat);
        QVERIFY(channel.HasDevice());
        QCOMPARE(channel.Format().sample, TAudioFormat::U8);
        QVERIFY(channel.PlayFile(wavePath));
        QTRY_VERIFY(readAll(dir.filePath(u"out.raw"_s)).contains(toneData(3)));
    }

    void device_missingOrInvalidFile_leavesTheSoundPlaying()
    {
        QTemporaryDir dir;
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(dir.filePath(u"out.raw"_s)));
        const QString textPath = dir.filePath(u"narr_2.wav"_s);
        QFile text(textPath);
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a wave file") > 0);
        text.close();

        TSdlSoundChannel channel(NativeFormat);
        channel.PlaySound(4);
        QVERIFY(!channel.PlayFile(dir.filePath(u"narr_9.wav"_s)));
        QVERIFY(!channel.PlayFile(textPath));
        QTRY_VERIFY(readAll(dir.filePath(u"out.raw"_s)).contains(toneData(4)));
    }
};

QTEST_GUILESS_MAIN(SoundChannelTest)
#include "tst_soundchannel.moc"
