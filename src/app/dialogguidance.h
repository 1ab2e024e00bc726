#pragma once

#include <QDialog>

namespace Ui {
class DialogGuidance;
}

// The frameless help window that shows, as one picture, how to put a device
// into its DFU mode. It draws its own title strip with a close button.
class DialogGuidance : public QDialog
{
    Q_OBJECT
public:
    explicit DialogGuidance(QWidget *parent = nullptr);
    ~DialogGuidance() override;

private:
    Ui::DialogGuidance *ui;
};
