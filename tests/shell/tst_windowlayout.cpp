#include "Errors.h"
#include "WindowLayout.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
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

    void save_unwritableFile_raisesTheMessage()
    {
        QFile::remove(m_path);
        QDir().mkpath(m_path); // a folder where the file should be
        TWindowLayout layout(windows(), m_path);
        try {
            layout.SaveWindowLayout();
            QFAIL("no error");
        } catch (const EInOutError &error) {
            QCOMPARE(error.message(), u"vigix.ini に書き込めません"_s);
        }
        QDir().rmdir(m_path);
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
