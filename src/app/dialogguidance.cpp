#include "dialogguidance.h"
#include "ui_dialogguidance.h"

DialogGuidance::DialogGuidance(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DialogGuidance)
{
    ui->setupUi(this);
    // The form's title is a placeholder; the task bar shows this one.
    setWindowTitle(tr("Upgrade Instructions"));
    // Keeps the dialog type but drops the native frame: the form draws its own title strip.
    setWindowFlags(windowFlags() | Qt::Window | Qt::FramelessWindowHint);
    connect(ui->guidance_close_tb, &QToolButton::clicked, this, &QDialog::reject);
}

DialogGuidance::~DialogGuidance()
{
    delete ui;
}
