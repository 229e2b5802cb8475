#pragma once

#include <QDialog>

class QLabel;

namespace vigix {

// "バージョン情報": the program's name, its version, its licence and the Qt it runs on.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *parent = nullptr);

    QLabel *lblProduct = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblLicence = nullptr;
    QLabel *lblQt = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace vigix
