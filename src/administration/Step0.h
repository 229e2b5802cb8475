#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vigix {

class ISoundChannel;

// "STEP 0 - 検査の準備": the conditions for running the test, and a sound check with the first noise tone so that
// the examiner can set the volume before the sections begin. It keeps no state.
class TfrmStep0 : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmStep0(ISoundChannel &sound, QWidget *parent = nullptr);

    QPushButton *sbnSoundCheck = nullptr;
    QPushButton *sbnClose = nullptr;
    // Shown only when there is no sound device: the noise tones of the test will then be silent.
    QLabel *lblNoSound = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    ISoundChannel &m_sound;
};

} // namespace vigix
