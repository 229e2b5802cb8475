#include "AdministrationFakes.h"
#include "Step0.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace vigix;
using namespace vigix::testing;
using namespace Qt::StringLiterals;

namespace {

class NoDevice : public FakeSound
{
public:
    bool HasDevice() const override { return false; }
};

} // namespace

class Step0Test : public QObject
{
    Q_OBJECT
private slots:
    void sheet_textsAndGeometry()
    {
        FakeSound sound;
        TfrmStep0 step0(sound);
        QCOMPARE(step0.windowTitle(), u"STEP 0 - 検査の準備"_s);
        QCOMPARE(step0.minimumSize(), QSize(383, 509));
        QCOMPARE(step0.maximumSize(), QSize(383, 509));

        const auto label = [&step0](const char *name) { return step0.findChild<QLabel *>(QString::fromLatin1(name)); };
        QCOMPARE(label("Label8")->geometry(), QRect(24, 28, 309, 17));
        QCOMPARE(label("Label8")->text(), u"[ 検査を行うにあたって ]"_s);
        // The fourteen items, top to bottom: name, top, height.
        const QList<std::tuple<const char *, int, int>> items{
            {"Label14", 56, 25},  {"Label1", 88, 25},   {"Label15", 120, 17}, {"Label2", 144, 17}, {"Label3", 168, 25},
            {"Label4", 200, 17},  {"Label5", 224, 25},  {"Label6", 256, 17},  {"Label7", 280, 25}, {"Label11", 312, 17},
            {"Label10", 336, 25}, {"Label13", 368, 25}, {"Label12", 392, 25}, {"Label9", 424, 25}};
        for (const auto &[name, top, height] : items) {
            QVERIFY2(label(name), name);
            QCOMPARE(label(name)->geometry(), QRect(20, top, 337, height));
            QVERIFY(label(name)->text().startsWith(u"○　"_s));
        }
        QCOMPARE(label("Label1")->text(),
                 u"○　検査を中断するときは、[Shift]キーを押しながら[Esc]キーを押してください"_s);
        QCOMPARE(label("Label11")->text(), u"○　コンピュータ画面と顔の距離は５０cmぐらいにしてください"_s);
        QCOMPARE(
            label("Label9")->text(),
            u"○　指導をしても離席などのため一定時間（１０問くらいを目安に）検査が出来なかった場合は中止してください"_s);
        QCOMPARE(step0.sbnSoundCheck->text(), u"　サウンドチェック"_s);
        QCOMPARE(step0.sbnSoundCheck->geometry(), QRect(8, 476, 241, 25));
        QVERIFY(!step0.sbnSoundCheck->icon().isNull());
        QCOMPARE(step0.sbnClose->text(), u"閉じる"_s);
        QCOMPARE(step0.sbnClose->geometry(), QRect(260, 476, 109, 25));

        // The sheet with its shadow to the lower right.
        const QImage image = step0.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(image.pixel(8, 300), qRgb(0, 0, 0));       // outline
        QCOMPARE(image.pixel(12, 51), qRgb(255, 255, 255)); // sheet between heading and first item
        QCOMPARE(image.pixel(370, 300), qRgb(0, 0, 0));     // shadow right of the sheet
        QCOMPARE(image.pixel(200, 467), qRgb(0, 0, 0));     // shadow below it
    }

    void soundCheck_playsTheFirstToneOnEveryPress_closeCloses()
    {
        FakeSound sound;
        TfrmStep0 step0(sound);
        step0.show();
        QVERIFY(step0.lblNoSound->isHidden());
        QTest::mouseClick(step0.sbnSoundCheck, Qt::LeftButton);
        QTest::mouseClick(step0.sbnSoundCheck, Qt::LeftButton);
        QCOMPARE(sound.played, (QStringList{u"S1"_s, u"S1"_s}));
        QTest::mouseClick(step0.sbnClose, Qt::LeftButton);
        QVERIFY(!step0.isVisible());
        step0.show();
        QCOMPARE(step0.height(), 509);

        // Without a sound device the sheet says that the tones will be silent.
        NoDevice silent;
        TfrmStep0 warned(silent);
        warned.show();
        QVERIFY(warned.lblNoSound->isVisible());
        QCOMPARE(warned.lblNoSound->text(), u"サウンドデバイスが見つかりません。音は出ません。"_s);
        QVERIFY(warned.rect().contains(warned.lblNoSound->geometry()));
    }
};

QTEST_MAIN(Step0Test)
#include "tst_step0.moc"
