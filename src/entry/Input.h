#pragma once

#include "TestInfo.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vigix {

class TTestStore;

class TTestFile;

// "被験者情報入力": the subject record of one test, for a new test, a correction or a re-test of the same child.
// Created once and reused; each use begins with one of the three preparations, which set every field.
// The start button's caption is its mode: StartCaption starts the test section, EditCaption rewrites the
// stored file with the corrected record.
class TfrmInput : public QDialog
{
    Q_OBJECT
public:
    static const QString StartCaption; // "検査開始"
    static const QString EditCaption;  // "修　正"

    // testFile: the record of the test about to run; store: where tests are numbered, read and corrected.
    TfrmInput(TTestFile &testFile, TTestStore &store, QWidget *parent = nullptr);

    // A new test: the next free number, the current date-time, every other field empty.
    void PrepareNewTest();
    // A correction: every field, number and date-time included, from the stored test. Raises the file's
    // error, or the conversion error of a stored date-time the age cannot be read from.
    void PrepareEditTest(const QString &number);
    // A new test of the same child: a new number and the current date-time, every other field stored.
    void PrepareRetest(const QString &number);
    // Years and months from the birth year and month and the test date-time; empty without a birth year or
    // month. Raises the conversion error when the test date-time has no year and month.
    void UpdateAge();

    // The record as the fields hold it, exactly as typed.
    TTestInfo EnteredInfo() const;

    // Controls, named as the tests find them.
    QLineEdit *edtKensabangou = nullptr;
    QLineEdit *edtKensanichiji = nullptr;
    QLineEdit *edtShimei1 = nullptr;
    QLineEdit *edtShimei2 = nullptr;
    QComboBox *cmbSeinengappi1 = nullptr;
    QComboBox *cmbSeinengappi2 = nullptr;
    QComboBox *cmbSeinengappi3 = nullptr;
    QComboBox *cmbSeibetsu = nullptr;
    QComboBox *cmbShindanmei = nullptr;
    QComboBox *cmbTouyaku = nullptr;
    QComboBox *cmbRitarin = nullptr;
    QLineEdit *edtKenzya = nullptr;
    QLineEdit *edtMemo = nullptr;
    QLineEdit *edtPiq = nullptr;
    QLineEdit *edtViq = nullptr;
    QLineEdit *edtFiq = nullptr;
    OneBasedArray<QLineEdit *, 18> edtADHD;
    OneBasedArray<QLineEdit *, 12> edtPDD; // edtPDD1a .. edtPDD3d
    QLabel *lblAge1 = nullptr;
    QLabel *lblAge2 = nullptr;
    QPushButton *btnStart = nullptr;
    QPushButton *btnCancel = nullptr;

signals:
    // Start mode: the record is in the test file; the test section is to start now.
    void TestStartRequested();
    // Edit mode: the stored test of this number was rewritten with the corrected record.
    void TestEdited(const QString &number);

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildFields();
    void buildChecklists();
    void buildButtons();
    void setTabOrder();
    void btnStartClick();
    void fillFrom(const TTestInfo &info);
    QString text(int field) const;
    void setText(int field, const QString &value);
    QWidget *control(int field) const;

    TTestFile &m_testFile;
    TTestStore &m_store;
};

} // namespace vigix
