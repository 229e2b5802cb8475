#include "../WriteFailureSweep.h"
#include "Errors.h"
#include "MessageBox.h"
#include "PageMap.h"
#include "Print.h"
#include "SafeFile.h"
#include "TestFile.h"
#include "TestStore.h"
#include "VigixApplication.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QMap>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

// Rounds of one kind: a response after rt ms (0: none) to a circle "T" or a cross "N".
void addRounds(TTestFile &test, int count, const QString &target, const QString &noise, int rt)
{
    for (int i = 0; i < count; ++i) {
        TRoundInfo &round = test.Rounds[++test.RoundCount];
        round.Target = target;
        round.Noise = noise;
        round.Ticks = 12;
        if (rt > 0) {
            round.RT[1] = rt;
            round.Button[1] = 1;
        }
    }
}

// A word of the PDF's text with its box in millimetres from the band's corner (10 mm from the paper's).
struct TWord
{
    QString text;
    QRectF box;
};

QList<TWord> pdfWords(const QString &pdf)
{
    QProcess tool;
    tool.start(u"pdftotext"_s, {u"-bbox"_s, pdf, u"-"_s});
    tool.waitForFinished();
    const QString html = QString::fromUtf8(tool.readAllStandardOutput());
    static const QRegularExpression word(
        uR"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"_s);
    auto mm = [](const QString &points) { return points.toDouble() * 25.4 / 72 - 10; };
    QList<TWord> words;
    for (const QRegularExpressionMatch &m : word.globalMatch(html))
        words.append(
            {m.captured(5).normalized(QString::NormalizationForm_KC),
             QRectF(QPointF(mm(m.captured(1)), mm(m.captured(2))), QPointF(mm(m.captured(3)), mm(m.captured(4))))});
    return words;
}

constexpr int Dpi = 300;

// White A4 paper at 300 dpi.
QImage paper()
{
    QImage image(qRound(210 / 25.4 * Dpi), qRound(297 / 25.4 * Dpi), QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(Dpi / 0.0254));
    image.setDotsPerMeterY(qRound(Dpi / 0.0254));
    image.fill(Qt::white);
    return image;
}

QImage paint(const TfrmPrint &print)
{
    QImage image = paper();
    QPainter painter(&image);
    print.Paint(painter);
    return image;
}

// A text set by itself in navy Noto at a size on the baseline of a field's box (given in pixels): how a field
// that fits its box is set.
QImage setAlone(const QString &text, qreal points, const QRectF &box)
{
    QImage image = paper();
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    QFont font(u"Noto Sans CJK JP"_s);
    font.setPointSizeF(points);
    font.setHintingPreference(QFont::PreferNoHinting);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 128));
    painter.drawText(QPointF(box.left(), box.top() + 220.0 / 256 * points / 72 * Dpi), text);
    return image;
}

// Whether a pixel is inked over the one under it. The same page painted twice can differ by a shade or two
// where Qt rasterises a glyph afresh.
bool inked(QRgb pixel, QRgb under)
{
    constexpr int Shades = 24;
    return qAbs(qRed(pixel) - qRed(under)) > Shades || qAbs(qGreen(pixel) - qGreen(under)) > Shades ||
           qAbs(qBlue(pixel) - qBlue(under)) > Shades;
}

// The bounds of the pixels within the area inked over the image under them.
QRect inkBounds(const QImage &image, const QImage &under, const QRect &area)
{
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(under.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            if (inked(a[x], b[x]))
                ink |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

// Whether an image is inked over the one under it anywhere outside the rectangles.
bool inkedOutside(const QImage &image, const QImage &under, const QList<QRect> &inside)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(under.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (inked(a[x], b[x]) &&
                std::none_of(inside.begin(), inside.end(), [&](const QRect &r) { return r.contains(x, y); }))
                return true;
        }
    }
    return false;
}

constexpr qreal Tolerance = 0.5;

// Empty when the word of this text nearest the box lies inside it (widened by the tolerance) at its aligned
// edge; otherwise what is wrong. Keeps the largest deviation from an aligned edge and the largest overhang.
QString misplaced(const QList<TWord> &words, const QString &text, const QRectF &box, Qt::Alignment align, qreal &worst,
                  qreal &overhang)
{
    const TWord *found = nullptr;
    auto distance = [&](const TWord &w) { return (w.box.center() - box.center()).manhattanLength(); };
    for (const TWord &w : words) {
        if (w.text == text.normalized(QString::NormalizationForm_KC) && (!found || distance(w) < distance(*found)))
            found = &w;
    }
    if (!found)
        return text + u" is not on the page"_s;
    // pdftotext reports a text's line box from Noto's ascent and descent (1.448 em, the baseline 1.16 em down);
    // what the reader sees is the em square, 0.88 em above and 0.12 em below the baseline.
    const qreal em = found->box.height() / 1.448;
    const QRectF b(found->box.left(), found->box.top() + (1.16 - 0.88) * em, found->box.width(), em);
    const qreal edge = align == Qt::AlignLeft    ? b.left() - box.left()
                       : align == Qt::AlignRight ? b.right() - box.right()
                                                 : b.center().x() - box.center().x();
    worst = qMax(worst, qAbs(edge));
    overhang = std::max(
        {overhang, box.left() - b.left(), box.top() - b.top(), b.right() - box.right(), b.bottom() - box.bottom()});
    QString where;
    QDebug(&where) << text << b << "mm, off its edge by" << edge;
    return box.adjusted(-Tolerance, -Tolerance, Tolerance, Tolerance).contains(b) && qAbs(edge) <= Tolerance ? QString()
                                                                                                             : where;
}

} // namespace

class PrintTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_root;
    QString folder() const { return m_root.path() + u'/'; }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        TMessageBox::SetAutoAnswer(true);
    }

    void prepareReport_fillsTheSubjectAndEveryCondition()
    {
        TTestFile test;
        test.Info.Shimei1 = u"山田"_s;
        test.Info.Shimei2 = u"太郎"_s;
        test.Info.Seinengappi1 = u"1993"_s;
        test.Info.Seinengappi2 = u"12"_s;
        test.Info.Seinengappi3 = u"5"_s;
        test.Info.ADHD[18] = u"○"_s;
        test.Info.PDD[12] = u"×"_s;
        addRounds(test, 1, u"T"_s, u"N"_s, 432); // no noise: exactly one hit
        addRounds(test, 1, u"N"_s, u"N"_s, 500); // a commission
        addRounds(test, 2, u"N"_s, u"N"_s, 0);   // two correct rejections
        addRounds(test, 2, u"T"_s, u"A"_s, 0);   // tone: two omissions
        addRounds(test, 1, u"T"_s, u"A"_s, 100); // and an anticipation, so no hit at all; no triangle rounds
        test.WriteFile(folder(), u"1001"_s);

        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        print.PrepareReport(u"1001"_s);
        QCOMPARE(print.Text(u"qlblShimei"_s), u"山田 太郎"_s);
        QCOMPARE(print.Text(u"qlblSeinengappi"_s), u"1993/12/5"_s);
        QCOMPARE(print.Text(u"qlblADHD_18"_s), u"○"_s);
        QCOMPARE(print.Text(u"qlblPDD_3d"_s), u"×"_s);
        QCOMPARE(print.Text(u"qlblPDD_1a"_s), QString());

        QCOMPARE(print.Text(u"qlblN_Total"_s), u"4"_s);
        QCOMPARE(print.Text(u"qlblN_E_COM"_s), u"1"_s);
        QCOMPARE(print.Text(u"qlblN_E_COM_P"_s), u"( 25.0% )"_s);
        QCOMPARE(print.Text(u"qlblN_MEAN"_s), u"432.00"_s); // one hit: its time, and no deviation
        QCOMPARE(print.Text(u"qlblN_SD"_s), u"-"_s);
        QCOMPARE(print.Text(u"qlblA_E_OMI_P"_s), u"( 66.7% )"_s);
        QCOMPARE(print.Text(u"qlblA_E_INV_P"_s), u"( 33.3% )"_s);
        QCOMPARE(print.Text(u"qlblA_MEAN"_s), u"-"_s); // no hit
        QCOMPARE(print.Text(u"qlblA_SD"_s), u"-"_s);
        for (const QString &kind : {u"OMI"_s, u"COM"_s, u"MUL"_s, u"INV"_s}) { // no rounds
            QCOMPARE(print.Text(u"qlblV_E_%1"_s.arg(kind)), u"0"_s);
            QCOMPARE(print.Text(u"qlblV_E_%1_P"_s.arg(kind)), QString());
        }
        QCOMPARE(print.Text(u"qlblV_Total"_s), u"0"_s);
        QCOMPARE(print.Text(u"qlblT_Total"_s), u"7"_s);
        QCOMPARE(print.Text(u"qlblT_E_OMI_P"_s), u"( 28.6% )"_s);
        QCOMPARE(print.Text(u"qlblT_MEAN"_s), u"432.00"_s);
    }

    void levelBars_oneSquarePerTwoPercent_tenAndPlusAbove_data()
    {
        QTest::addColumn<int>("rounds");
        QTest::addColumn<int>("omissions");
        QTest::addColumn<QString>("bar");
        QTest::newRow("20 %") << 50 << 10 << QString(10, u'■');
        QTest::newRow("22 %") << 50 << 11 << QString(10, u'■') + u'+';
        QTest::newRow("2 %") << 50 << 1 << u"■"_s;
        QTest::newRow("1 of 51") << 51 << 1 << QString();
    }
    void levelBars_oneSquarePerTwoPercent_tenAndPlusAbove()
    {
        QFETCH(int, rounds);
        QFETCH(int, omissions);
        QFETCH(QString, bar);
        TTestFile test;
        addRounds(test, omissions, u"T"_s, u"V"_s, 0);
        addRounds(test, rounds - omissions, u"N"_s, u"A"_s, 0);
        test.WriteFile(folder(), u"1002"_s);
        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        print.PrepareReport(u"1002"_s);
        QCOMPARE(print.Text(u"qlblOMI_Level"_s), bar);
        QCOMPARE(print.Text(u"qlblCOM_Level"_s), QString());
    }

    void missingFile_raisesAndKeepsThePage_unwritablePdfRaises()
    {
        TTestFile test;
        test.Info.Shimei1 = u"前回"_s;
        addRounds(test, 3, u"T"_s, u"N"_s, 350);
        test.WriteFile(folder(), u"1003"_s);
        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        print.PrepareReport(u"1003"_s);
        QVERIFY_THROWS_EXCEPTION(EInOutError, print.PrepareReport(u"1099"_s));
        QCOMPARE(print.Text(u"qlblShimei"_s), u"前回 "_s);
        QCOMPARE(print.Text(u"qlblT_Total"_s), u"3"_s);
        QCOMPARE(print.Text(u"qlblT_MEAN"_s), u"350.00"_s);
        QVERIFY_THROWS_EXCEPTION(EInOutError, print.WritePdf(folder() + u"no such folder/report.pdf"_s));
    }

    // The PDF replaces an older report while the disk fills at every byte of the new one; the whole command
    // (painting included) at every 200th byte, since painting a page takes far longer than saving it.
    void writePdf_failingAtEveryOffset_keepsTheOldReportAndTellsWhy()
    {
        TTestFile test;
        test.Info.Shimei1 = u"山田"_s;
        addRounds(test, 40, u"T"_s, u"N"_s, 420);
        test.WriteFile(folder(), u"1006"_s);
        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        print.PrepareReport(u"1006"_s);
        const QString path = folder() + u"report.pdf"_s;
        SaveFileSafely(path, "an older report", TLinks::Follow);

        const QByteArray pdf = print.RenderPdf();
        QVERIFY(pdf.startsWith("%PDF"));
        const auto saves = testing::SweepWriteFailures(path, [&] { SaveFileSafely(path, pdf, TLinks::Follow); });
        QVERIFY2(saves.Damaged == 0, qPrintable(saves.Faults.join(u'\n')));
        const auto command = testing::SweepWriteFailures(
            path, [&] { print.WritePdf(path); }, 200);
        QVERIFY2(command.Damaged == 0, qPrintable(command.Faults.join(u'\n')));
        qInfo("PDF of %lld bytes: %lld offsets through the save, %lld through the whole command, 0 damaged",
              saves.Written.size(), saves.Offsets, command.Offsets);
        QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void writePdf_textsSitInTheirBoxes_longNameEndsInEllipsisInsideItsBox()
    {
        if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"pdftoppm"_s).isEmpty())
            QSKIP("poppler-utils are not installed");
        TTestFile test;
        test.Info.Kensabangou = u"1004"_s;
        test.Info.Shimei1 = u"寿限無寿限無五劫の擦り切れ"_s; // both names together are wider than the box
        test.Info.Shimei2 = u"海砂利水魚の水行末雲来末風来末"_s;
        test.Info.Shindanmei = u"ＡＤＨＤ"_s;
        test.Info.Memo = u"メモ欄"_s; // kept in the file, never printed
        addRounds(test, 58, u"T"_s, u"N"_s, 400);
        addRounds(test, 40, u"T"_s, u"A"_s, 500);
        addRounds(test, 26, u"T"_s, u"V"_s, 600);
        addRounds(test, 3, u"T"_s, u"N"_s, 0); // three omissions in each condition: 9 of 133 rounds, 6.8 %
        addRounds(test, 3, u"T"_s, u"A"_s, 0);
        addRounds(test, 3, u"T"_s, u"V"_s, 0);
        test.WriteFile(folder(), u"1004"_s);
        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        print.PrepareReport(u"1004"_s);
        const QString pdf = folder() + u"report.pdf"_s;
        print.WritePdf(pdf);
        const QList<TWord> words = pdfWords(pdf);

        QVERIFY(std::none_of(words.begin(), words.end(), [](const TWord &w) { return w.text == u"メモ欄"_s; }));
        const QRectF name(21.2, 58.5, 45.2, 4.2);
        struct TSample
        {
            QString text;
            QRectF box; // millimetres from the band's corner
            Qt::Alignment align;
        } const samples[] = {
            {u"検査結果レポート"_s, QRectF(1.3, 14.6, 185.5, 9.0), Qt::AlignHCenter},
            {u"："_s, QRectF(115.1, 29.4, 28.0, 4.5), Qt::AlignRight}, // "検査番号　：" ends at the box's edge
            {u"1004"_s, QRectF(144.2, 29.4, 42.6, 4.5), Qt::AlignLeft},
            {u"ノイズなし"_s, QRectF(34.4, 111.1, 26.7, 5.6), Qt::AlignHCenter},    // heading in its cell
            {u"133"_s, QRectF(117.7 + 1.3, 116.4, 9.5, 5.6), Qt::AlignRight},       // all trials, in its cell
            {u"■■■"_s, QRectF(146.8, 123.0, 37.3, 5.6), Qt::AlignLeft},             // omissions: 3 × 2 %
            {u"聴覚ノイズ"_s, QRectF(93.9 + 5.3, 215.9, 24.0, 5.0), Qt::AlignLeft}, // between its heading's rules
            {u"寿限無寿限無五劫の擦り切れ"_s, name, Qt::AlignLeft},
            {u"ＡＤＨＤ"_s, QRectF(21.2, 63.8, 45.2, 4.2), Qt::AlignLeft}, // the row under the name stays put
        };
        qreal worst = 0;
        qreal overhang = 0;
        for (const TSample &sample : samples) {
            const QString wrong = misplaced(words, sample.text, sample.box, sample.align, worst, overhang);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
        qInfo("largest deviation from an aligned edge %.3f mm, largest overhang beyond a box %.3f mm", worst, overhang);

        // The name, too long for its box even at the smallest size, is one line inside the box ending in "…"
        // (three dots once normalised): nothing of it shows in the gap down to the next row.
        QMap<int, QString> lines; // by the top, in tenths of a millimetre
        for (const TWord &w : words) {
            const qreal top = w.box.top() + (1.16 - 0.88) * w.box.height() / 1.448; // of the em square
            if (w.box.left() > name.left() - Tolerance && w.box.right() < name.right() + Tolerance &&
                top > name.top() - Tolerance && top < name.bottom())
                lines[qRound(top * 10)] += w.text;
        }
        QCOMPARE(lines.size(), 1);
        const QString shown = lines.first();
        QVERIFY2(shown.size() > 3 && shown.endsWith(u"..."_s) &&
                     (test.Info.Shimei1 + test.Info.Shimei2).startsWith(shown.chopped(3)),
                 qPrintable(shown));
        // The strip between the name's box and the next row, rendered at 300 dpi.
        auto px = [](qreal mm) { return QString::number(qRound((mm + 10) * 300 / 25.4)); };
        QProcess render;
        render.start(u"pdftoppm"_s, {u"-r"_s, u"300"_s, u"-gray"_s, u"-png"_s, u"-singlefile"_s, u"-x"_s,
                                     px(name.left()), u"-y"_s, px(name.bottom() + 0.1), u"-W"_s, u"530"_s, u"-H"_s,
                                     u"10"_s, pdf, folder() + u"strip"_s}); // 45 × 0.85 mm, down to 63.7 mm
        QVERIFY(render.waitForFinished() && render.exitCode() == 0);
        const QImage strip = QImage(folder() + u"strip.png"_s).convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(strip.size(), QSize(530, 10));
        for (int y = 0; y < strip.height(); ++y) {
            const uchar *row = strip.constScanLine(y);
            QVERIFY2(std::all_of(row, row + strip.width(), [](uchar grey) { return grey > 160; }), "ink below the box");
        }
    }

    // Subject fields too long for their boxes shrink down to 6 pt, then end in "…"; a field that fits is set as it
    // always was. Each stays one whole line inside its box, and nothing of it shows outside.
    void paint_longFieldsShrinkThenEndInEllipsis_neverCutNorOutsideTheirBoxes()
    {
        struct TField
        {
            QString name;
            QRectF mm;
            qreal points; // of the face
        } const fields[] = {{u"name"_s, QRectF(21.2, 58.5, 45.2, 4.2), 9.0},
                            {u"examiner"_s, QRectF(144.2, 40.0, 42.6, 4.5), 10.5}};
        constexpr qreal MinimumPoints = 6.0;
        constexpr qreal MinimumEm = MinimumPoints / 72 * Dpi;
        TTestFile test;
        addRounds(test, 3, u"T"_s, u"N"_s, 400);
        test.WriteFile(folder(), u"1007"_s);
        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        print.PrepareReport(u"1007"_s);
        const QImage empty = paint(print);
        QImage blank = paper();
        const TPageMap map{QPainter(&blank)};

        enum TFit { Whole, Shrunk, Cut };
        std::array<int, 2> seen{}; // the fits met, one bit each
        const QString kanji = u"寿限無五劫の擦り切れ海砂利水魚"_s;
        const QString romaji = u"Maximilianogonzalezrodriguez"_s;
        for (const auto &[pattern, length] :
             {std::pair{kanji, 4}, {kanji, 16}, {kanji, 45}, {romaji, 10}, {romaji, 32}, {romaji, 80}}) {
            const QString text = pattern.repeated(length / pattern.size() + 1).left(length);
            test.Info.Shimei1 = text;
            test.Info.Kenzya = text;
            test.WriteFile(folder(), u"1007"_s);
            print.PrepareReport(u"1007"_s);
            const QImage image = paint(print);
            QList<QRect> boxes;
            for (const TField &field : fields)
                boxes.append(map.rect(field.mm).toAlignedRect());
            QVERIFY2(!inkedOutside(image, empty, boxes), qPrintable(text + u": ink outside a box"_s));

            for (std::size_t i = 0; i < std::size(fields); ++i) {
                const QString where = fields[i].name + u": "_s + text;
                const QRectF box = map.rect(fields[i].mm);
                const QRect rows(0, boxes[i].top() - 20, image.width(), boxes[i].height() + 40);
                const QRect ink = inkBounds(image, empty, rows);
                // One whole line: a pixel clear of the box's bottom, no taller than an em.
                QVERIFY2(ink.bottom() + 2 <= box.bottom() && ink.height() <= fields[i].points / 72 * Dpi,
                         qPrintable(where));
                // Its last fifth of an em no taller than a quarter em: the line ends in the dots of "…".
                const QRect tail(QPoint(ink.right() - qRound(MinimumEm / 5), ink.top()), ink.bottomRight());
                const bool dots = inkBounds(image, empty, tail).height() <= MinimumEm / 4;

                const QImage alone = setAlone(text, fields[i].points, box);
                const QRect full = inkBounds(alone, blank, rows);
                const QRect smallest = inkBounds(setAlone(text, MinimumPoints, box), blank, rows);
                const TFit fit = full.right() < box.right() ? Whole : smallest.right() < box.right() ? Shrunk : Cut;
                seen[i] |= 1 << fit;
                if (fit == Whole) // the same size and place as the text set alone
                    QVERIFY2(inkBounds(image, alone, boxes[i]).isNull(), qPrintable(where));
                else if (fit == Shrunk)
                    QVERIFY2(ink.height() < full.height() && ink.height() >= smallest.height() - 1 && !dots,
                             qPrintable(where));
                else
                    QVERIFY2(qAbs(ink.height() - smallest.height()) <= 1 && dots, qPrintable(where));
            }
        }
        QCOMPARE(seen, (std::array{7, 7}));
    }

    void showPreview_busyUntilClosed_otherWindowsUsable_savesPdf()
    {
        TTestFile test;
        addRounds(test, 5, u"T"_s, u"A"_s, 700);
        test.WriteFile(folder(), u"1005"_s);
        TTestStore store;
        store.Open(folder());
        TfrmPrint print(store);
        print.PrepareReport(u"1005"_s);
        const QString pdf = folder() + u"saved"_s; // the dialog's answer, without suffix
        bool busy = false;
        QWidget *modal = nullptr;
        bool saveOffered = false;
        QTimer::singleShot(0, this, [&] {
            busy = print.Busy();
            modal = QApplication::activeModalWidget();
            QPrintPreviewDialog *preview = nullptr;
            for (QWidget *window : QApplication::topLevelWidgets())
                preview = preview ? preview : qobject_cast<QPrintPreviewDialog *>(window);
            if (!preview)
                return;
            QTimer::singleShot(0, this, [&] { // answers the file dialog
                if (auto *files = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                    files->selectFile(pdf);
                    static_cast<QDialog *>(files)->accept();
                }
            });
            auto *save = preview->findChild<QAction *>(u"actSavePdf"_s);
            saveOffered = save && save->text() == u"PDF保存"_s;
            if (saveOffered)
                save->trigger();
            preview->close();
        });
        print.ShowPreview(nullptr);
        QVERIFY(!print.Busy());
        QVERIFY(busy);
        QCOMPARE(modal, nullptr);
        QVERIFY(saveOffered);
        QFile saved(pdf + u".pdf"_s);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.read(5), QByteArray("%PDF-"));
        QCOMPARE(TMessageBox::ShownTexts(), QStringList());
    }
};

int main(int argc, char *argv[])
{
    TVigixApplication app(argc, argv);
    PrintTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_print.moc"
