#include "Input.h"

#include "Age.h"
#include "Errors.h"
#include "MessageBox.h"
#include "ShiftJis.h"
#include "TestFile.h"
#include "TestStore.h"

#include <QComboBox>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace vigix {

const QString TfrmInput::StartCaption = u"検査開始"_s;
const QString TfrmInput::EditCaption = u"修　正"_s;

namespace {

constexpr int ClientWidth = 416;
constexpr int ClientHeight = 446;
constexpr int RowHeight = 21;
constexpr int CaptionX = 8;
constexpr int CaptionWidth = 72;
constexpr int FieldX = 84;

// Items that must be filled or that the program sets sit on red cells, the optional ones on yellow.
const QString RequiredCell = u"background-color: rgb(255,128,128);"_s;
const QString OptionalCell = u"background-color: rgb(255,255,128);"_s;

const QStringList DiagnosisChoices{
    u"コントロール"_s,     u"読字障害"_s,           u"書字障害"_s,
    u"計算障害"_s,         u"ＡＤＨＤ（混合型）"_s, u"ＡＤＨＤ（不注意優勢型）"_s,
    u"ＰＤＤ"_s,           u"アスペルガー症候群"_s, u"自閉症"_s,
    u"特定不能のＰＤＤ"_s, u"特定不能のＡＤＨＤ"_s, u"特定不能の学習障害"_s,
};
const QStringList MedicationChoices{u"なし"_s, u"リタリン"_s, u"カルバマゼピン"_s, u"ＳＳＲＩ"_s, u"ｌ－ｄｏｐａ"_s};
const QStringList RitalinChoices{u"なし"_s,       u"１時間以内"_s, u"１～２時間"_s,
                                 u"２～３時間"_s, u"３～４時間"_s, u"４時間以上"_s};

QStringList numberChoices(int from, int to)
{
    QStringList numbers;
    for (int n = from; n <= to; ++n)
        numbers.append(QString::number(n));
    return numbers;
}

QString currentDateTimeText()
{
    return QDateTime::currentDateTime().toString(u"yyyy/MM/dd HH:mm:ss"_s);
}

} // namespace

TfrmInput::TfrmInput(TTestFile &testFile, TTestStore &store, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_testFile(testFile), m_store(store)
{
    setObjectName(u"frmInput"_s);
    setWindowTitle(u"被験者情報入力"_s);
    setFixedSize(ClientWidth, ClientHeight);
    buildFields();
    buildChecklists();
    buildButtons();
    setTabOrder();
}

void TfrmInput::buildFields()
{
    auto caption = [this](const QString &text, int x, int y, int width, const QString &cell, int height = RowHeight) {
        auto *label = new QLabel(text, this);
        label->setGeometry(x, y, width, height);
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(cell + u" border: 1px solid rgb(128,128,128);"_s);
        return label;
    };
    auto plain = [this](const QString &text, int x, int y, int width) {
        auto *label = new QLabel(text, this);
        label->setGeometry(x, y, width, RowHeight);
        return label;
    };
    // Input method: names are typed in kana; numbers, dates and checklist marks with the input method off.
    auto edit = [this](const QString &name, int x, int y, int width, bool latin) {
        auto *box = new QLineEdit(this);
        box->setObjectName(name);
        box->setGeometry(x, y, width, RowHeight);
        if (latin)
            box->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
        return box;
    };
    auto choice = [this](const QString &name, int x, int y, int width, const QStringList &items, bool latin) {
        auto *box = new QComboBox(this);
        box->setObjectName(name);
        box->setGeometry(x, y, width, RowHeight);
        box->setEditable(true);
        // The list offers values; what is typed is kept as typed: no completion, and the list never grows.
        box->setCompleter(nullptr);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->addItem(QString());
        box->addItems(items);
        box->setMaxVisibleItems(16);
        if (latin)
            box->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
        return box;
    };

    caption(u"検査番号"_s, CaptionX, 8, CaptionWidth, RequiredCell);
    edtKensabangou = edit(u"edtKensabangou"_s, FieldX, 8, 64, true);
    caption(u"検査日時"_s, 160, 8, CaptionWidth, RequiredCell);
    edtKensanichiji = edit(u"edtKensanichiji"_s, 236, 8, 172, true);
    edtKensabangou->setEnabled(false);
    edtKensanichiji->setEnabled(false);

    caption(u"氏　　名"_s, CaptionX, 36, CaptionWidth, RequiredCell);
    edtShimei1 = edit(u"edtShimei1"_s, FieldX, 36, 104, false);
    edtShimei2 = edit(u"edtShimei2"_s, 192, 36, 104, false);
    caption(u"性 別"_s, 304, 36, 44, RequiredCell);
    cmbSeibetsu = choice(u"cmbSeibetsu"_s, 352, 36, 56, {u"男"_s, u"女"_s}, false);

    caption(u"生年月日"_s, CaptionX, 64, CaptionWidth, RequiredCell);
    // From 1980, as the form always offered, to this year, so that every child tested today can be picked.
    cmbSeinengappi1 = choice(u"cmbSeinengappi1"_s, FieldX, 64, 62,
                             numberChoices(1980, std::max(2000, QDate::currentDate().year())), true);
    plain(u"年"_s, 148, 64, 14);
    cmbSeinengappi2 = choice(u"cmbSeinengappi2"_s, 164, 64, 46, numberChoices(1, 12), true);
    plain(u"月"_s, 212, 64, 14);
    cmbSeinengappi3 = choice(u"cmbSeinengappi3"_s, 228, 64, 46, numberChoices(1, 31), true);
    plain(u"日"_s, 276, 64, 14);
    lblAge1 = plain(QString(), 300, 64, 28);
    lblAge1->setObjectName(u"lblAge1"_s);
    lblAge1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    plain(u"歳"_s, 330, 64, 14);
    lblAge2 = plain(QString(), 346, 64, 24);
    lblAge2->setObjectName(u"lblAge2"_s);
    lblAge2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    plain(u"ヶ月"_s, 372, 64, 30);

    caption(u"診 断 名"_s, CaptionX, 92, CaptionWidth, OptionalCell);
    cmbShindanmei = choice(u"cmbShindanmei"_s, FieldX, 92, 220, DiagnosisChoices, false);

    caption(u"投　　薬"_s, CaptionX, 124, CaptionWidth, OptionalCell);
    cmbTouyaku = choice(u"cmbTouyaku"_s, FieldX, 124, 120, MedicationChoices, false);
    caption(u"テスト時の\nリタリン服用"_s, 212, 118, 80, OptionalCell, 33);
    cmbRitarin = choice(u"cmbRitarin"_s, 296, 124, 112, RitalinChoices, false);

    caption(u"WISC-III"_s, CaptionX, 158, CaptionWidth, OptionalCell);
    plain(u"PIQ"_s, FieldX + 4, 158, 26);
    edtPiq = edit(u"edtPiq"_s, 114, 158, 50, true);
    plain(u"VIQ"_s, 176, 158, 26);
    edtViq = edit(u"edtViq"_s, 204, 158, 50, true);
    plain(u"FIQ"_s, 266, 158, 26);
    edtFiq = edit(u"edtFiq"_s, 294, 158, 50, true);

    caption(u"検　　者"_s, CaptionX, 354, CaptionWidth, OptionalCell);
    edtKenzya = edit(u"edtKenzya"_s, FieldX, 354, 324, false);
    caption(u"メ　　モ"_s, CaptionX, 380, CaptionWidth, OptionalCell);
    edtMemo = edit(u"edtMemo"_s, FieldX, 380, 324, false);

    connect(cmbSeinengappi1, &QComboBox::currentTextChanged, this, [this] { UpdateAge(); });
    connect(cmbSeinengappi2, &QComboBox::currentTextChanged, this, [this] { UpdateAge(); });
}

void TfrmInput::buildChecklists()
{
    auto heading = [this](const QString &text, int y) {
        auto *label = new QLabel(text, this);
        label->setGeometry(CaptionX, y, 400, 18);
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(OptionalCell + u" border: 1px solid rgb(128,128,128);"_s);
    };
    constexpr int Step = 66;
    auto item = [this](const QString &label, const QString &name, int column, int y) {
        auto *text = new QLabel(label, this);
        text->setGeometry(CaptionX + column * Step, y, 24, RowHeight);
        text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto *box = new QLineEdit(this);
        box->setObjectName(name);
        box->setGeometry(CaptionX + column * Step + 27, y, 36, RowHeight);
        box->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
        return box;
    };

    heading(u"ADHD チェックリスト"_s, 188);
    for (int n = 1; n <= 18; ++n)
        edtADHD[n] = item(u"%1."_s.arg(n), u"edtADHD%1"_s.arg(n), (n - 1) % 6, 208 + (n - 1) / 6 * 23);
    heading(u"PDD Criteria"_s, 280);
    for (int n = 1; n <= 12; ++n) {
        const QString criterion = TTestInfo::PddCriterion(n);
        edtPDD[n] = item(criterion, u"edtPDD"_s + QString(criterion).remove(u'-'), (n - 1) % 6, 300 + (n - 1) / 6 * 23);
    }
}

void TfrmInput::buildButtons()
{
    btnStart = new QPushButton(StartCaption, this);
    btnStart->setObjectName(u"btnStart"_s);
    btnStart->setGeometry(CaptionX, 412, 300, 28);
    btnCancel = new QPushButton(u"ｷｬﾝｾﾙ"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s);
    btnCancel->setGeometry(316, 412, 92, 28);
    // Neither button answers to Enter (nor Esc, see keyPressEvent); cancel is no Tab stop.
    for (QPushButton *button : {btnStart, btnCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    btnCancel->setFocusPolicy(Qt::ClickFocus);
    connect(btnStart, &QPushButton::clicked, this, &TfrmInput::btnStartClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmInput::setTabOrder()
{
    QList<QWidget *> order{edtShimei1,    edtShimei2, cmbSeibetsu, cmbSeinengappi1, cmbSeinengappi2, cmbSeinengappi3,
                           cmbShindanmei, cmbTouyaku, cmbRitarin,  edtPiq,          edtViq,          edtFiq};
    for (int n = 1; n <= 18; ++n)
        order.append(edtADHD[n]);
    for (int n = 1; n <= 12; ++n)
        order.append(edtPDD[n]);
    order.append({edtKenzya, edtMemo, btnStart});
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

QWidget *TfrmInput::control(int field) const
{
    static_assert(TTestInfo::FieldCount == 16 + 18 + 12);
    if (field > 16 + 18)
        return edtPDD[field - 16 - 18];
    if (field > 16)
        return edtADHD[field - 16];
    const std::array<QWidget *, 16> named{
        edtKensabangou,  edtKensanichiji, edtShimei1,    edtShimei2, cmbSeinengappi1, cmbSeinengappi2,
        cmbSeinengappi3, cmbSeibetsu,     cmbShindanmei, cmbTouyaku, cmbRitarin,      edtKenzya,
        edtMemo,         edtPiq,          edtViq,        edtFiq,
    };
    return named[static_cast<std::size_t>(field - 1)];
}

QString TfrmInput::text(int field) const
{
    QWidget *widget = control(field);
    if (auto *box = qobject_cast<QComboBox *>(widget))
        return box->currentText();
    return static_cast<QLineEdit *>(widget)->text();
}

void TfrmInput::setText(int field, const QString &value)
{
    QWidget *widget = control(field);
    if (auto *box = qobject_cast<QComboBox *>(widget)) {
        // A value of the list selects it; any other value is shown as typed. Either way the text is the value.
        const int index = box->findText(value, Qt::MatchExactly);
        box->setCurrentIndex(index);
        if (index < 0)
            box->setEditText(value);
    } else {
        static_cast<QLineEdit *>(widget)->setText(value);
    }
}

TTestInfo TfrmInput::EnteredInfo() const
{
    TTestInfo info;
    for (int i = 1; i <= TTestInfo::FieldCount; ++i)
        info.Field(i) = text(i);
    return info;
}

void TfrmInput::fillFrom(const TTestInfo &info)
{
    // The age follows once, at the end, from the whole record.
    const QSignalBlocker yearBlocker(cmbSeinengappi1);
    const QSignalBlocker monthBlocker(cmbSeinengappi2);
    for (int i = 1; i <= TTestInfo::FieldCount; ++i)
        setText(i, info.Field(i));
}

void TfrmInput::PrepareNewTest()
{
    TTestInfo info;
    info.Kensabangou = QString::number(m_store.NextTestNumber());
    info.Kensanichiji = currentDateTimeText();
    fillFrom(info);
    UpdateAge();
}

void TfrmInput::PrepareEditTest(const QString &number)
{
    TTestFile scratch;
    m_store.ReadInfo(scratch, number);
    fillFrom(scratch.Info);
    UpdateAge();
}

void TfrmInput::PrepareRetest(const QString &number)
{
    TTestFile scratch;
    m_store.ReadInfo(scratch, number);
    TTestInfo info = scratch.Info;
    info.Kensabangou = QString::number(m_store.NextTestNumber());
    info.Kensanichiji = currentDateTimeText();
    fillFrom(info);
    UpdateAge();
}

void TfrmInput::UpdateAge()
{
    const std::optional<TAge> age =
        AgeAtTest(cmbSeinengappi1->currentText(), cmbSeinengappi2->currentText(), edtKensanichiji->text());
    lblAge1->setText(age ? QString::number(age->Years) : QString());
    lblAge2->setText(age ? QString::number(age->Months) : QString());
}

void TfrmInput::btnStartClick()
{
    const TTestInfo info = EnteredInfo();
    if (info.Shimei1.isEmpty() || info.Shimei2.isEmpty() || info.Seinengappi1.isEmpty() ||
        info.Seinengappi2.isEmpty() || info.Seinengappi3.isEmpty() || info.Seibetsu.isEmpty()) {
        TMessageBox::Warning(this, u"[氏名] [生年月日] [性別] は必ず入力しなくてはいけません。"_s);
        return;
    }
    // Refused here, with everything as typed: a test must not run for fifteen minutes and then fail to save.
    if (const std::optional<TTestInfo::TUnstorable> bad = info.FirstUnstorableField()) {
        TMessageBox::Warning(this, u"「%1」に使えない文字 %2 があります。\n"
                                   u"この文字は検査ファイルに保存できません。別の文字に直してください。"_s.arg(
                                       TTestInfo::FieldLabel(bad->field), DescribeCharacter(bad->character)));
        control(bad->field)->setFocus();
        return;
    }

    if (btnStart->text() == EditCaption) {
        // Read again, then rewrite: the rounds stay those stored. If the file has gone, its error is told and
        // the window stays open with the corrections.
        const bool written = TMessageBox::Run(this, [&] {
            TTestFile scratch;
            m_store.ReadTest(scratch, info.Kensabangou);
            scratch.Info = info;
            m_store.ReplaceTest(scratch, info.Kensabangou);
        });
        if (!written)
            return;
        accept();
        emit TestEdited(info.Kensabangou);
        return;
    }
    // A folder that cannot take the test (read-only, offline, full) is told now, not after the child's fifteen
    // minutes; the window stays open with what was entered.
    if (!TMessageBox::Run(this, [this] { m_store.CheckWritable(); }))
        return;
    m_testFile.Info = info;
    accept();
    emit TestStartRequested();
}

void TfrmInput::showEvent(QShowEvent *event)
{
    // Centred on the desktop, not over the main window.
    if (const QScreen *desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TfrmInput::keyPressEvent(QKeyEvent *event)
{
    // Neither Enter nor Esc closes the window: a stray key must not start a test or drop what was typed.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

} // namespace vigix
