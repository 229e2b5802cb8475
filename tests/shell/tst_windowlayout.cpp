#include "DataFolderSetting.h"
#include "Errors.h"
#include "WindowLayout.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QScopeGuard>
#include <QSettings>
#include <QSize>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QWidget>

#include <memory>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

struct Place
{
    int width;
    int clientHeight;
    int left;
    int top;
    bool operator==(const Place &) const = default;
};

Place placeOf(const QWidget &window)
{
    return Place{window.frameGeometry().width(), window.height(), window.frameGeometry().x(),
                 window.frameGeometry().y()};
}

char *toString(const Place &place) // QCOMPARE prints places
{
    return qstrdup(QByteArray::number(place.width) + 'x' + QByteArray::number(place.clientHeight) + '@' +
                   QByteArray::number(place.left) + ',' + QByteArray::number(place.top));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

template <typename F> QString raisedInOutError(F &&f)
{
    try {
        f();
    } catch (const EInOutError &error) {
        return error.message();
    }
    return QString();
}

} // namespace

class WindowLayoutTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_folder;
    QString m_path;
    std::array<std::unique_ptr<QWidget>, 4> m_windows;

    TWindowLayout::TWindows windows()
    {
        return {m_windows[0].get(), m_windows[1].get(), m_windows[2].get(), m_windows[3].get()};
    }
    std::array<Place, 4> places() const
    {
        return {placeOf(*m_windows[0]), placeOf(*m_windows[1]), placeOf(*m_windows[2]), placeOf(*m_windows[3])};
    }

private slots:
    void init()
    {
        m_path = m_folder.filePath(u"vigix.ini"_s);
        QFile::remove(m_path);
        for (auto &window : m_windows)
            window = std::make_unique<QWidget>(nullptr, Qt::Tool);
    }

    void load_withoutFile_defaults()
    {
        TWindowLayout layout(windows(), m_path);
        layout.LoadWindowLayout();
        QCOMPARE(places(), (std::array<Place, 4>{Place{445, 158, 580, 0}, Place{445, 158, 580, 184},
                                                 Place{445, 158, 580, 376}, Place{445, 158, 580, 566}}));
    }

    void load_hexadecimalBadAndMissingValues_offScreenBroughtBack()
    {
        {
            QSettings ini(m_path, QSettings::IniFormat);
            ini.setValue(u"InitPos/TableW"_s, u"0x1F4"_s); // 500
            ini.setValue(u"InitPos/TableH"_s, u"0X64"_s);  // 100
            ini.setValue(u"InitPos/TableL"_s, u"-3000"_s); // off every screen: brought onto the nearest
            ini.setValue(u"InitPos/TableT"_s, u"zwei"_s);  // not a number: default
            ini.setValue(u"InitPos/Graph2L"_s, u"12.5"_s);
            ini.setValue(u"InitPos/Graph3T"_s, u"0xZZ"_s);
        }
        TWindowLayout layout(windows(), m_path);
        layout.LoadWindowLayout();
        QCOMPARE(places()[TWindowLayout::Table], (Place{500, 100, 0, 0}));
        QCOMPARE(places()[TWindowLayout::Graph2], (Place{445, 158, 580, 376}));
        QCOMPARE(places()[TWindowLayout::Graph3], (Place{445, 158, 580, 566}));
    }

    // Two monitors side by side, the right one smaller and lower; windows 445 x 184.
    void placeOnAScreen_keepsWhatCanBeSeen_bringsBackTheRest_data()
    {
        QTest::addColumn<QPoint>("stored");
        QTest::addColumn<QPoint>("placed");
        QTest::newRow("on the left monitor") << QPoint(100, 200) << QPoint(100, 200);
        QTest::newRow("on the right monitor") << QPoint(2000, 500) << QPoint(2000, 500);
        QTest::newRow("half off the left edge") << QPoint(-400, 10) << QPoint(-400, 10);
        QTest::newRow("a grip of 32 x 16 left") << QPoint(-413, 1064) << QPoint(-413, 1064);
        QTest::newRow("31 pixels left") << QPoint(-414, 1064) << QPoint(0, 896);
        QTest::newRow("above the right monitor") << QPoint(2600, -500) << QPoint(2600, 300);
        QTest::newRow("a third monitor since unplugged") << QPoint(3500, 400) << QPoint(2755, 400);
        QTest::newRow("below both, nearer the right") << QPoint(1500, 5000) << QPoint(1920, 1196);
        QTest::newRow("far left and up") << QPoint(-9000, -9000) << QPoint(0, 0);
    }
    void placeOnAScreen_keepsWhatCanBeSeen_bringsBackTheRest()
    {
        QFETCH(QPoint, stored);
        QFETCH(QPoint, placed);
        const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 300, 1280, 1080)};
        QCOMPARE(TWindowLayout::PlaceOnAScreen(QRect(stored, QSize(445, 184)), screens), placed);
    }

    void save_thenLoad_roundTripAsDecimals()
    {
        TWindowLayout layout(windows(), m_path);
        layout.LoadWindowLayout();
        m_windows[1]->move(10, 20);
        m_windows[1]->resize(300, 99);
        layout.SaveWindowLayout();
        QSettings ini(m_path, QSettings::IniFormat);
        QCOMPARE(ini.allKeys().size(), 16);
        QCOMPARE(ini.value(u"InitPos/Graph1L"_s).toString(), u"10"_s);
        QCOMPARE(ini.value(u"InitPos/Graph1H"_s).toString(), u"99"_s);

        for (auto &window : m_windows) // a new run
            window = std::make_unique<QWidget>(nullptr, Qt::Tool);
        TWindowLayout again(windows(), m_path);
        again.LoadWindowLayout();
        QCOMPARE(places()[TWindowLayout::Graph1], (Place{300, 99, 10, 20}));
        QCOMPARE(places()[TWindowLayout::Table], (Place{445, 158, 580, 0}));
    }

    // A settings file that is there but cannot be read (a folder in its place, damaged text) never means "no folder
    // chosen", and is never written over: the examiner is told instead.
    void unreadableFile_neverMeansNoFolderChosen_andIsNotWrittenOver()
    {
        QDir().mkpath(m_path); // a folder where the file should be
        const auto removeFolder = qScopeGuard([this] { QDir().rmdir(m_path); });
        TWindowLayout layout(windows(), m_path);
        for (const QString &message :
             {raisedInOutError([&] { ChosenDataFolder(m_path); }), raisedInOutError([&] { layout.SaveWindowLayout(); }),
              raisedInOutError([&] { StoreChosenDataFolder(m_path, u"/srv/vigix"_s); })}) {
            QVERIFY2(message.contains(u"vigix.ini"_s) && message.contains(u"読めません"_s), qPrintable(message));
        }
        QVERIFY(QFileInfo(m_path).isDir());
        QVERIFY(QDir().rmdir(m_path));

        const QByteArray damaged = "[Data\nFolder=/srv/vigix\n[InitPos]\nTableL=5\n";
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size());
        file.close();
        for (const QString &message :
             {raisedInOutError([&] { ChosenDataFolder(m_path); }), raisedInOutError([&] { layout.SaveWindowLayout(); }),
              raisedInOutError([&] { StoreChosenDataFolder(m_path, u"/srv/vigix"_s); })}) {
            QVERIFY2(message.contains(u"vigix.ini"_s) && message.contains(u"読めません"_s), qPrintable(message));
        }
        QCOMPARE(contents(m_path), damaged);
    }

    // Folders whose names the INI form must quote or escape come back as chosen; the window places and keys the
    // program does not know are kept by every save, with the values QSettings reads.
    void chosenFolders_awkwardNames_roundTrip_otherKeysKept()
    {
        const QVariantMap others{
            {u"General/Key"_s, u"a section named General"_s},
            {u"topLevel"_s, u"in [General]"_s},
            {u"Other/list"_s, QStringList{u"a b"_s, u" c,d "_s, u""_s}},
            {u"Other/empty list"_s, QStringList()},
            {u"Other/bytes"_s, QByteArray("\x01\xff\x61"
                                          "0\0"
                                          "7",
                                          6)},
            {u"Other/at"_s, u"@ByteArray(not bytes)"_s},
            {u"Other/rect"_s, QRect(1, -2, 3, 4)},
            {u"Other/size"_s, QSize(5, 6)},
            {u"Other/point"_s, QPoint(-7, 8)},
            {u"Other/number"_s, 42},
            {u"Other/when"_s, QDateTime(QDate(2024, 5, 17), QTime(10, 30), QTimeZone::utc())},
            {u"Other/nested/key; =%"_s, u"鍵 \u00e9"_s},
            {u"日本語/キー"_s, u"値"_s},
        };
        {
            QSettings ini(m_path, QSettings::IniFormat);
            for (auto it = others.cbegin(); it != others.cend(); ++it)
                ini.setValue(it.key(), it.value());
        }
        // What QSettings reads from the text alone: a copy under a name of its own, since QSettings keeps what it
        // wrote or read of a file and hands that out again while the file seems unchanged.
        QTemporaryDir copies;
        int copyCount = 0;
        QSettings::Status status = QSettings::NoError;
        const auto asQSettingsReads = [&](const QString &path) {
            const QString copy = copies.filePath(QString::number(++copyCount) + u".ini"_s);
            QFile::copy(path, copy);
            QVariantMap values;
            const QSettings ini(copy, QSettings::IniFormat);
            status = ini.status();
            for (const QString &key : ini.allKeys())
                values.insert(key, ini.value(key));
            return values;
        };
        const QVariantMap expectedOthers = asQSettingsReads(m_path);
        QCOMPARE(expectedOthers.size(), others.size());

        TWindowLayout layout(windows(), m_path);
        layout.LoadWindowLayout();
        m_windows[2]->move(-30, 40);
        const QStringList folders{
            u"/srv/検査 データ/vigix"_s,
            u"/tmp/a,b;c=d"_s,
            u"/tmp/say \"cheese\""_s,
            u"/tmp/back\\slash\\"_s,
            u"/tmp/ leading and trailing "_s,
            u"/tmp/@at"_s,
            u"/tmp/tab\there/x0\\x41"_s,
            u"/tmp/%41%U0041 #;comment"_s,
            u"/tmp/😀 emoji"_s,
        };
        for (const QString &folder : folders) {
            StoreChosenDataFolder(m_path, folder);
            QCOMPARE(ChosenDataFolder(m_path), folder + u'/');
            layout.SaveWindowLayout();
            QCOMPARE(ChosenDataFolder(m_path), folder + u'/');

            QVariantMap read = asQSettingsReads(m_path);
            QCOMPARE(status, QSettings::NoError);
            QCOMPARE(read.take(u"Data/Folder"_s).toString(), folder);
            QCOMPARE(read.take(u"InitPos/Graph2L"_s).toString(), u"-30"_s);
            QCOMPARE(read.take(u"InitPos/Graph2T"_s).toString(), u"40"_s);
            for (const QString &key : read.keys()) {
                if (key.startsWith(u"InitPos/"_s))
                    read.remove(key);
            }
            QCOMPARE(read, expectedOthers);
        }
    }

    // vigix.ini on a disk with one page free, then none. QSettings emptied the file there and reported no error;
    // now the file is either written whole or left byte for byte as it was, and the reason is raised.
    void save_nearlyFullThenFullDisk_fileWholeOrUntouched()
    {
        QTemporaryDir mountPoint;
        QVERIFY(mountPoint.isValid());
        QProcess mount;
        mount.start(u"mount"_s,
                    {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=128k,nr_inodes=1000"_s, u"vigix-test"_s, mountPoint.path()});
        if (!mount.waitForFinished() || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
            QSKIP("mounting a small tmpfs is not permitted here");
        const auto unmount = qScopeGuard([&mountPoint] { QProcess::execute(u"umount"_s, {mountPoint.path()}); });

        const QString ini = mountPoint.filePath(u"config/vigix.ini"_s);
        StoreChosenDataFolder(ini, u"/srv/clinic/vigix"_s);
        TWindowLayout layout(windows(), ini);
        layout.LoadWindowLayout();
        m_windows[0]->move(7, 8);
        layout.SaveWindowLayout();

        // Fill the disk page by page, then free one page.
        int pages = 0;
        for (;; ++pages) {
            QFile filler(mountPoint.filePath(u"filler-%1"_s.arg(pages)));
            const bool written =
                filler.open(QIODevice::WriteOnly) && filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush();
            filler.close();
            if (!written) {
                filler.remove();
                break;
            }
        }
        QVERIFY(pages > 0 && pages < 40);
        QVERIFY(QFile::remove(mountPoint.filePath(u"filler-0"_s)));

        m_windows[0]->move(70, 80);
        layout.SaveWindowLayout();
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value(u"InitPos/TableL"_s).toString(), u"70"_s);
        QCOMPARE(QSettings(ini, QSettings::IniFormat).allKeys().size(), 17);
        QCOMPARE(ChosenDataFolder(ini), u"/srv/clinic/vigix/"_s);

        // The last page taken as well.
        QFile last(mountPoint.filePath(u"filler-0"_s));
        QVERIFY(last.open(QIODevice::WriteOnly) && last.write(QByteArray(4096, 'x')) == 4096 && last.flush());
        last.close();
        const QByteArray kept = contents(ini);
        QVERIFY(kept.contains("TableL=70"));

        m_windows[0]->move(700, 800);
        const QString layoutError = raisedInOutError([&] { layout.SaveWindowLayout(); });
        const QString folderError = raisedInOutError([&] { StoreChosenDataFolder(ini, u"/elsewhere"_s); });
        for (const QString &message : {layoutError, folderError})
            QVERIFY2(message.contains(u"vigix.ini"_s) && message.contains(u"空き容量"_s), qPrintable(message));
        QCOMPARE(contents(ini), kept);
        QCOMPARE(
            QDir(mountPoint.filePath(u"config"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{u"vigix.ini"_s});
        QCOMPARE(ChosenDataFolder(ini), u"/srv/clinic/vigix/"_s);
    }

    void presets_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<int>("q");
        QTest::newRow("1024 x 768") << QSize(1024, 768) << 187;
        QTest::newRow("1280 x 1024") << QSize(1280, 1024) << 251;
    }
    void presets()
    {
        QFETCH(QSize, screen);
        QFETCH(int, q);
        const int left = screen.width() - 445;
        TWindowLayout layout(windows(), m_path);
        layout.ApplyLayoutA(screen);
        // Outer heights of 190; the windows have no frame here.
        QCOMPARE(places(), (std::array<Place, 4>{Place{445, 190, left, 0}, Place{445, 190, left, 2 * q},
                                                 Place{445, 190, left, 3 * q}, Place{445, 190, left, q}}));
        layout.ApplyLayoutB(screen);
        QCOMPARE(places(),
                 (std::array<Place, 4>{Place{445, 190, left, 0}, Place{screen.width(), 120, 0, screen.height() - 145},
                                       Place{445, 190, left, 2 * q}, Place{445, 190, left, q}}));
        QVERIFY(!QFile::exists(m_path)); // a preset is stored only by the next save
    }
};

QTEST_MAIN(WindowLayoutTest)
#include "tst_windowlayout.moc"
