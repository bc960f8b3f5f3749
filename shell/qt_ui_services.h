#pragma once

#include "document/ui_services.h"

#include <QString>

class QStatusBar;
class QWidget;

namespace quadrel {

// The document's UI services in the desktop program: the wait cursor with a status-bar text for long
// steps, message boxes, file dialogs, and the class setup, features setup and manual thresholding
// dialogs.
class QtUiServices : public UiServices {
public:
    explicit QtUiServices(QWidget* window = nullptr) : m_window(window) {}
    void setWindow(QWidget* window) { m_window = window; }
    void setStatusBar(QStatusBar* bar) { m_statusBar = bar; }

    void beginBusy(const std::string& what) override;
    void endBusy() override;
    void showMessage(MessageKind kind, const std::string& text) override;
    bool runManualThreshold(CQuadrelDoc& doc) override;
    bool runClassSetup(CQuadrelDoc& doc) override;
    bool runFeaturesSetup(CQuadrelDoc& doc) override;
    std::optional<std::string> chooseOpenFile(const std::string& title, const std::string& filter,
                                              const std::string& initialDir) override;
    std::optional<std::string> chooseSaveFile(const std::string& title, const std::string& filter,
                                              const std::string& initialPath) override;

    // Shows a text in the status bar at once (before a step that blocks the event loop).
    void status(const QString& text);

private:
    QWidget* m_window = nullptr;
    QStatusBar* m_statusBar = nullptr;
    int m_busy = 0;
};

} // namespace quadrel
