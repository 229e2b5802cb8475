#include "Step0.h"

#include "AdministrationInterfaces.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr int ClientWidth = 383;
constexpr int ClientHeight = 509;
constexpr QRect Shadow(12, 12, 361, 457); // Shape2
constexpr QRect Sheet(8, 8, 361, 457);    // Shape1
constexpr int FontHeight = 12;
// The layout's font, "ＭＳ Ｐゴシック" at 12 pixels, puts its lines 12 pixels apart and its two-line items are 25
// high. Noto Sans CJK JP, which stands in for it, would space them 17 apart and lose the second line.
constexpr int LinePitch = 12;
constexpr double EmAscent = 0.88; // top of Noto's em square above the baseline

struct TItem
{
    const char16_t *name;
    int top;
    int height;
    const char16_t *text;
};

constexpr TItem Items[] = {
    {u"Label14", 56, 25,
     u"○　下のサウンドチェックボタンを押して、コンピュータのボリュームが適正になるように調整してください"},
    {u"Label1", 88, 25, u"○　検査を中断するときは、[Shift]キーを押しながら[Esc]キーを押してください"},
    {u"Label15", 120, 17, u"○　検査を行う前にトイレをすませてください"},
    {u"Label2", 144, 17, u"○　被検者の椅子は回転しないものを使用してください"},
    {u"Label3", 168, 25, u"○　静かな部屋で、電話などの突然の雑音が入らないことを確認してください"},
    {u"Label4", 200, 17, u"○　照明は少し暗くして、画面がよく見えるようにしてください"},
    {u"Label5", 224, 25, u"○　被検者の視野の前方には刺激になるものを置かないようにしてください"},
    {u"Label6", 256, 17, u"○　キーボードは目立たないようにしてください"},
    {u"Label7", 280, 25,
     u"○　マウスの持ち方：右利きの場合は右手で持ち親指で左クリック、左利きの場合は左手で右クリックをさせてください"},
    {u"Label11", 312, 17, u"○　コンピュータ画面と顔の距離は５０cmぐらいにしてください"},
    {u"Label10", 336, 25, u"○　検者はＣＰＴ施行中被検者の視野に入らない位置で様子を観察してください"},
    {u"Label13", 368, 25, u"○　検査が正しく行われていない場合は被検者を指導してください"},
    {u"Label12", 392, 25, u"○　被検者を励ましたりなど検査の続行に必要な範囲の会話はかまいません"},
    {u"Label9", 424, 25,
     u"○　指導をしても離席などのため一定時間（１０問くらいを目安に）検査が出来なかった場合は中止してください"},
};

// A transparent, word-wrapped label whose lines keep the layout's pitch.
class TSheetLabel : public QLabel
{
public:
    TSheetLabel(const QString &name, const QString &text, const QRect &geometry, QWidget *parent) : QLabel(text, parent)
    {
        setObjectName(name);
        setGeometry(geometry);
        setWordWrap(true);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        QTextLayout layout(text(), font());
        layout.setTextOption(option);
        // Noto's kana are all full width, where the layout's font has narrower proportional ones. An item
        // breaks where that font would break it: narrowed, by up to an eighth, to save a line, and as far as
        // needed to stay within the lines its height holds.
        const int fits = std::max(1, (height() - FontHeight) / LinePitch + 1);
        const int wanted = std::min(fits, lay(layout, width() * 1.125));
        double lineWidth = width();
        while (lay(layout, lineWidth) > wanted && lineWidth < 1.5 * width())
            lineWidth += 0.01 * width();
        QPainter painter(this);
        painter.scale(width() / lineWidth, 1.0);
        painter.setPen(palette().color(foregroundRole()));
        layout.draw(&painter, QPointF(0, 0));
    }

private:
    // Lays the text out in lines of the given width, LinePitch apart, the em square of each line at its top;
    // returns the number of lines.
    int lay(QTextLayout &layout, double lineWidth) const
    {
        const double shift = QFontMetricsF(font()).ascent() - EmAscent * font().pixelSize();
        layout.beginLayout();
        int rows = 0;
        for (;; ++rows) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(lineWidth);
            line.setPosition(QPointF(0, rows * LinePitch - shift));
        }
        layout.endLayout();
        return rows;
    }
};

} // namespace

TfrmStep0::TfrmStep0(ISoundChannel &sound, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_sound(sound)
{
    setObjectName(u"frmStep0"_s);
    setWindowTitle(u"STEP 0 - 検査の準備"_s);
    QFont gothic(u"Noto Sans CJK JP"_s);
    gothic.setPixelSize(FontHeight);
    setFont(gothic);
    setFixedSize(ClientWidth, ClientHeight);

    auto *heading = new TSheetLabel(u"Label8"_s, u"[ 検査を行うにあたって ]"_s, QRect(24, 28, 309, 17), this);
    heading->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    for (const TItem &item : Items)
        new TSheetLabel(QString::fromUtf16(item.name), QString::fromUtf16(item.text),
                        QRect(20, item.top, 337, item.height), this);

    // Between the last item and the sheet's lower edge.
    lblNoSound = new TSheetLabel(u"lblNoSound"_s, u"サウンドデバイスが見つかりません。音は出ません。"_s,
                                 QRect(20, 450, 337, 14), this);
    QPalette warning = lblNoSound->palette();
    warning.setColor(QPalette::WindowText, QColor(255, 0, 0));
    lblNoSound->setPalette(warning);
    lblNoSound->setVisible(!sound.HasDevice());

    const QStyle::StandardPixmap speaker = sound.HasDevice() ? QStyle::SP_MediaVolume : QStyle::SP_MediaVolumeMuted;
    sbnSoundCheck = new QPushButton(style()->standardIcon(speaker), u"　サウンドチェック"_s, this);
    sbnSoundCheck->setObjectName(u"sbnSoundCheck"_s);
    sbnSoundCheck->setIconSize(QSize(16, 16));
    sbnSoundCheck->setGeometry(8, 476, 241, 25);
    sbnClose = new QPushButton(u"閉じる"_s, this);
    sbnClose->setObjectName(u"sbnClose"_s);
    sbnClose->setGeometry(260, 476, 109, 25);
    // Like the speed buttons they stand for, they take no focus, so Enter presses neither.
    for (QPushButton *button : {sbnSoundCheck, sbnClose}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::NoFocus);
    }
    // A second press starts the tone again from its beginning: the one channel cuts the sound still playing.
    connect(sbnSoundCheck, &QPushButton::clicked, this, [this] { m_sound.PlaySound(1); });
    connect(sbnClose, &QPushButton::clicked, this, &QDialog::close);
}

void TfrmStep0::showEvent(QShowEvent *event)
{
    setFixedHeight(ClientHeight);
    // Centred on the desktop, not over the main window.
    if (const QScreen *desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TfrmStep0::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(Shadow, Qt::black);
    painter.fillRect(Sheet, Qt::white);
    painter.setPen(Qt::black);
    painter.drawRect(Sheet.adjusted(0, 0, -1, -1));
}

} // namespace vigix
