#include "logviewmenu.h"

#include "log/logger.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTextEdit>

#include <memory>

namespace {

// ravlo-log-<date>-<time>.txt in the documents folder, or in the home folder
// where there is none.
QString defaultSavePath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return QDir(folder).filePath(QStringLiteral("ravlo-log-%1.txt").arg(stamp));
}

} // namespace

void LogViewMenu::install(QTextEdit *view)
{
    new LogViewMenu(view);
}

LogViewMenu::LogViewMenu(QTextEdit *view)
    : QObject(view)
    , m_view(view)
{
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, &LogViewMenu::show);
}

void LogViewMenu::show(const QPoint &position)
{
    const std::unique_ptr<QMenu> menu(m_view->createStandardContextMenu());
    menu->addSeparator();
    menu->addAction(tr("Copy all"), this, &LogViewMenu::copyAll);
    menu->addAction(tr("Save log…"), this, &LogViewMenu::save);
    // A scroll area reports the position in its viewport's coordinates.
    menu->exec(m_view->viewport()->mapToGlobal(position));
}

void LogViewMenu::copyAll()
{
    QApplication::clipboard()->setText(m_view->toPlainText());
}

void LogViewMenu::save()
{
    const QString path = QFileDialog::getSaveFileName(m_view, tr("Save log"), defaultSavePath(),
                                                      tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    // The dialog has asked before replacing a file; the Logger appends.
    QFile::remove(path);
    if (!Logger::instance()->saveToFile(path))
        QMessageBox::warning(m_view, tr("Save log"),
                             tr("The log could not be saved to %1.").arg(path), QMessageBox::Ok);
}
