#include "shell/qt_ui_services.h"

#include "dialogs/manual_thresholding_dialog.h"
#include "dialogs/setup_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStatusBar>
#include <spdlog/spdlog.h>

namespace quadrel {

void QtUiServices::status(const QString& text) {
    if (!m_statusBar) return;
    m_statusBar->showMessage(text);
    m_statusBar->repaint();
}

void QtUiServices::beginBusy(const std::string& what) {
    if (m_busy++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
    status(QString::fromStdString(what) + QStringLiteral("..."));
}

void QtUiServices::endBusy() {
    if (m_busy == 0) return;
    if (--m_busy == 0) {
        QApplication::restoreOverrideCursor();
        if (m_statusBar) m_statusBar->clearMessage();
    }
}

void QtUiServices::showMessage(MessageKind kind, const std::string& text) {
    const QString t = QString::fromStdString(text);
    // A message box must not sit under the wait cursor.
    const int busy = m_busy;
    for (int i = 0; i < busy; ++i)
        QApplication::restoreOverrideCursor();
    switch (kind) {
    case MessageKind::Information:
        spdlog::info("{}", text);
        QMessageBox::information(m_window, "Quadrel", t);
        break;
    case MessageKind::Warning:
        spdlog::warn("{}", text);
        QMessageBox::warning(m_window, "Quadrel", t);
        break;
    case MessageKind::Error:
        spdlog::error("{}", text);
        QMessageBox::critical(m_window, "Quadrel", t);
        break;
    }
    for (int i = 0; i < busy; ++i)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

std::optional<std::string> QtUiServices::chooseOpenFile(const std::string& title, const std::string& filter,
                                                        const std::string& initialDir) {
    const QString f = QString::fromStdString(filter) + ";;All Files (*)";
    const QString path =
        QFileDialog::getOpenFileName(m_window, QString::fromStdString(title), QString::fromStdString(initialDir), f);
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> QtUiServices::chooseSaveFile(const std::string& title, const std::string& filter,
                                                        const std::string& initialPath) {
    const QString path = QFileDialog::getSaveFileName(
        m_window, QString::fromStdString(title), QString::fromStdString(initialPath), QString::fromStdString(filter));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

bool QtUiServices::runManualThreshold(CQuadrelDoc& doc) { return runManualThresholdCommand(doc, m_window); }
bool QtUiServices::runClassSetup(CQuadrelDoc& doc) { return runClassSetupCommand(doc, m_window); }
bool QtUiServices::runFeaturesSetup(CQuadrelDoc& doc) { return runFeaturesSetupCommand(doc, m_window); }

} // namespace quadrel
